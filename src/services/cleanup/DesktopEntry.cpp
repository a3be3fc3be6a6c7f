#include "services/cleanup/DesktopEntry.h"

#include "services/health/CappedText.h"

namespace tarnwick {

namespace {

QString unescaped(const QString& value) {
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out.append(c);
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case u's': out.append(QLatin1Char(' ')); break;
        case u'n': out.append(QLatin1Char('\n')); break;
        case u't': out.append(QLatin1Char('\t')); break;
        case u'r': out.append(QLatin1Char('\r')); break;
        case u'\\': out.append(QLatin1Char('\\')); break;
        default:
            // Not a key file escape: kept for the Exec= rules to read.
            out.append(c);
            out.append(next);
            break;
        }
    }
    return out;
}

}  // namespace

std::optional<QHash<QString, QString>> DesktopEntry::group(const QString& text, const QString& groupName) {
    const QString header = QLatin1Char('[') + groupName + QLatin1Char(']');
    std::optional<QHash<QString, QString>> keys;
    bool inside = false;
    for (QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (inside) break;  // the group ended
            inside = !keys && line == header;
            if (inside) keys.emplace();
            continue;
        }
        if (!inside) continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0) continue;
        const QString key = line.left(equals).trimmed().toString();
        if (key.contains(QLatin1Char('[')) || keys->contains(key)) continue;
        keys->insert(key, unescaped(line.mid(equals + 1).trimmed().toString()));
    }
    return keys;
}

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
    const std::optional<QHash<QString, QString>> keys = group(*text, QStringLiteral("Desktop Entry"));
    if (!keys) return std::nullopt;
    DesktopEntry entry;
    entry.path = path;
    entry.name = keys->value(QStringLiteral("Name"));
    entry.appImageVersion = keys->value(QStringLiteral("X-AppImage-Version"));
    if (const std::optional<QStringList> words = execWords(keys->value(QStringLiteral("Exec")))) {
        // "env NAME=value program": the program comes after the assignments.
        qsizetype first = 0;
        if (!words->isEmpty() && words->first() == QLatin1String("env")) {
            first = 1;
            while (first < words->size() && words->at(first).contains(QLatin1Char('='))) ++first;
        }
        if (first < words->size()) entry.program = words->at(first);
    }
    if (entry.program.isEmpty()) entry.program = keys->value(QStringLiteral("TryExec"));
    return entry;
}

}  // namespace tarnwick
