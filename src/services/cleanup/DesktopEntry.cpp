#include "services/cleanup/DesktopEntry.h"

#include "services/shared/CappedText.h"
#include "services/shared/DesktopEntryFile.h"

namespace tarnwick {

std::optional<QStringList> DesktopEntry::execWords(const QString& exec) {
    QStringList words;
    QString word;
    bool inWord = false;
    bool quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                quoted = false;
            } else if (c == QLatin1Char('\\') && i + 1 < exec.size() &&
                       QStringLiteral("\"`$\\").contains(exec.at(i + 1))) {
                word.append(exec.at(++i));
            } else {
                word.append(c);
            }
            continue;
        }
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            if (inWord) words.append(word);
            word.clear();
            inWord = false;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
            inWord = true;
        } else {
            word.append(c);
            inWord = true;
        }
    }
    if (quoted) return std::nullopt;
    if (inWord) words.append(word);
    return words;
}

std::optional<DesktopEntry> DesktopEntry::read(const QString& path) {
    const std::optional<QString> text = CappedText::read(path, kReadLimit);
    if (!text) return std::nullopt;
    const DesktopEntryFile file = DesktopEntryFile::parse(*text);
    if (!file.hasGroup(QStringLiteral("Desktop Entry"))) return std::nullopt;
    const auto string = [&](const char* key) { return file.entryString(QLatin1String(key)).value_or(QString()); };
    DesktopEntry entry;
    entry.path = path;
    entry.name = string("Name");
    entry.appImageVersion = string("X-AppImage-Version");
    if (const std::optional<QStringList> words = execWords(string("Exec"))) {
        // "env NAME=value program": the program comes after the assignments.
        qsizetype first = 0;
        if (!words->isEmpty() && words->first() == QLatin1String("env")) {
            first = 1;
            while (first < words->size() && words->at(first).contains(QLatin1Char('='))) ++first;
        }
        if (first < words->size()) entry.program = words->at(first);
    }
    if (entry.program.isEmpty()) entry.program = string("TryExec");
    return entry;
}

}  // namespace tarnwick
