#include "services/cleanup/AppImageFile.h"

#include "platform/FileEntry.h"
#include "platform/FileReader.h"
#include "platform/FolderListing.h"
#include "services/cleanup/DesktopEntry.h"
#include "support/PathRules.h"

#include <QHash>
#include <QRegularExpression>

#include <algorithm>

namespace tarnwick {

namespace {

constexpr qsizetype kLongestName = 200;

bool hasAppImageName(const QString& name) {
    return name.size() > 9 && name.endsWith(QLatin1String(".appimage"), Qt::CaseInsensitive);
}

// An ELF file whose header carries "AI" and the AppImage type (1 or 2) at byte 8.
bool carriesMark(const FileEntry& entry) {
    if ((entry.permissions & 0111) == 0 || entry.logicalSize < 12) return false;
    std::optional<FileReader> reader = FileReader::open(entry.path);
    if (!reader) return false;
    const QByteArray head = reader->read(12);
    return head.size() == 12 && head.startsWith("\x7f" "ELF") && head.at(8) == 'A' && head.at(9) == 'I' &&
           (head.at(10) == 1 || head.at(10) == 2);
}

bool isSeparator(QChar c) {
    return c == QLatin1Char('-') || c == QLatin1Char('_') || c == QLatin1Char(' ');
}

// The version parts: runs of digits and runs of letters; everything else separates.
QStringList versionParts(const QString& version) {
    QStringList parts;
    QString part;
    int kind = 0;  // 1 digits, 2 letters
    for (const QChar c : version) {
        const int now = c.isDigit() ? 1 : c.isLetter() ? 2 : 0;
        if (now != kind && !part.isEmpty()) {
            parts.append(part);
            part.clear();
        }
        kind = now;
        if (now != 0) part.append(c);
    }
    if (!part.isEmpty()) parts.append(part);
    return parts;
}

int compareNumbers(QString a, QString b) {
    while (a.size() > 1 && a.startsWith(QLatin1Char('0'))) a.remove(0, 1);
    while (b.size() > 1 && b.startsWith(QLatin1Char('0'))) b.remove(0, 1);
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

// The desktop entries of the folder that start a program given by its absolute path.
QHash<QString, QList<DesktopEntry>> entriesByProgram(const QString& folder, const std::stop_token& stop) {
    QHash<QString, QList<DesktopEntry>> byProgram;
    const auto listing = FolderListing::list(folder, FolderListing::Hidden::skip);
    if (!listing) return byProgram;
    const qsizetype looked = std::min(listing->size(), AppImageFile::kEntriesLooked);
    for (qsizetype i = 0; i < looked && !stop.stop_requested(); ++i) {
        const FileEntry& file = listing->at(i);
        if (!file.isRegularFile() || PathRules::pathExtension(file.name) != QLatin1String("desktop")) continue;
        std::optional<DesktopEntry> entry = DesktopEntry::read(file.path);
        if (!entry || !entry->program.startsWith(QLatin1Char('/'))) continue;
        byProgram[PathRules::standardizingPath(entry->program)].append(std::move(*entry));
    }
    return byProgram;
}

}  // namespace

AppImageFile::FileName AppImageFile::parseFileName(const QString& fileName) {
    QString stem = fileName;
    if (hasAppImageName(stem)) stem.chop(9);
    // Machine names are no part of the name or the version.
    static const QRegularExpression machine(
        QStringLiteral("[-_ .](x86[-_]64|amd64|x64|aarch64|arm64|armhf|armv7l|i[3-6]86|x86)(?=$|[-_ .])"),
        QRegularExpression::CaseInsensitiveOption);
    stem.remove(machine);
    static const QRegularExpression versionLike(QStringLiteral("^[vV]?[0-9][0-9A-Za-z.+~]*$"));

    FileName parsed;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= stem.size(); ++i) {
        if (i < stem.size() && !isSeparator(stem.at(i))) continue;
        const QString word = stem.mid(start, i - start);
        if (start > 0 && !stem.left(start - 1).trimmed().isEmpty() && versionLike.match(word).hasMatch()) {
            parsed.name = stem.left(start - 1);
            parsed.version = word.startsWith(QLatin1Char('v'), Qt::CaseInsensitive) ? word.mid(1) : word;
            break;
        }
        start = i + 1;
    }
    if (parsed.version.isEmpty()) parsed.name = stem;
    parsed.name = parsed.name.trimmed();
    if (parsed.name.isEmpty()) parsed.name = fileName;
    return parsed;
}

int AppImageFile::compareVersions(const QString& a, const QString& b) {
    const QStringList left = versionParts(a);
    const QStringList right = versionParts(b);
    for (qsizetype i = 0; i < std::max(left.size(), right.size()); ++i) {
        // A version that ends here is older than one going on with a number
        // ("2.0" before "2.0.1") and newer than one going on with letters
        // ("2.0-beta" before "2.0").
        if (i >= left.size()) return right.at(i).at(0).isDigit() ? -1 : 1;
        if (i >= right.size()) return left.at(i).at(0).isDigit() ? 1 : -1;
        const bool leftNumber = left.at(i).at(0).isDigit();
        const bool rightNumber = right.at(i).at(0).isDigit();
        if (leftNumber != rightNumber) return leftNumber ? 1 : -1;
        const int order = leftNumber ? compareNumbers(left.at(i), right.at(i))
                                     : left.at(i).compare(right.at(i), Qt::CaseInsensitive);
        if (order != 0) return order < 0 ? -1 : 1;
    }
    return 0;
}

QList<AppImageFile> AppImageFile::list(const QList<Folder>& folders, const QString& entriesFolder,
                                       const std::stop_token& stop) {
    QList<AppImageFile> found;
    QHash<QString, QList<DesktopEntry>> entries;
    bool entriesRead = false;
    for (const Folder& folder : folders) {
        const auto listing = FolderListing::list(folder.path, FolderListing::Hidden::skip);
        if (!listing) continue;
        const qsizetype looked = std::min(listing->size(), kEntriesLooked);
        for (qsizetype i = 0; i < looked; ++i) {
            if (stop.stop_requested()) return found;
            const FileEntry& file = listing->at(i);
            if (!file.isRegularFile()) continue;
            if (!hasAppImageName(file.name) && !(folder.lookInside && carriesMark(file))) continue;
            if (!entriesRead) {
                entries = entriesByProgram(entriesFolder, stop);
                entriesRead = true;
            }
            const FileName parsed = parseFileName(file.name);
            AppImageFile app;
            app.baseName = parsed.name;
            app.name = parsed.name;
            app.version = parsed.version.isEmpty() ? QStringLiteral("?") : parsed.version;
            app.path = file.path;
            app.modifiedMSecs = file.modifiedMSecs;
            for (const DesktopEntry& entry : entries.value(PathRules::standardizingPath(file.path))) {
                app.desktopEntries.append(entry.path);
                const QString name = entry.name.simplified();
                if (app.name == parsed.name && !name.isEmpty() && name.size() <= kLongestName) app.name = name;
                if (parsed.version.isEmpty() && app.version == QLatin1String("?") && !entry.appImageVersion.isEmpty() &&
                    entry.appImageVersion.size() <= 64) {
                    app.version = entry.appImageVersion.simplified();
                }
            }
            found.append(std::move(app));
        }
    }
    return found;
}

}  // namespace tarnwick
