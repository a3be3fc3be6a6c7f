#include "services/health/ProtectionService.h"

#include "platform/ExtendedAttributes.h"
#include "platform/FileEntry.h"
#include "platform/FileReader.h"
#include "platform/FolderListing.h"
#include "services/health/BrowserProfiles.h"
#include "services/shared/DesktopEntryFile.h"
#include "support/PathRules.h"

#include <QSet>

#include <algorithm>

namespace tarnwick::ProtectionService {

namespace {

using Kind = ProtectionFinding::Kind;
using Severity = ProtectionFinding::Severity;
using Place = Locations::Place;

// Names of the desktop's own entries and of this program's own, under its
// present and earlier identifiers.
const QStringList& ownPrefixes() {
    static const QStringList prefixes = {QStringLiteral("com.apple."), QStringLiteral("com.merrowfield4.tarnwick"),
                                         QStringLiteral("com.tarnwick"), QStringLiteral("com.taldovane")};
    return prefixes;
}

// In this order; the first that occurs names the finding. Four end in a space.
const QStringList& suspiciousTokens() {
    static const QStringList tokens = {
        QStringLiteral("curl "),      QStringLiteral("wget "),      QStringLiteral("base64"),
        QStringLiteral("/tmp/"),      QStringLiteral("osascript"),  QStringLiteral("python -c"),
        QStringLiteral("ruby -e"),    QStringLiteral("npx "),       QStringLiteral("eval "),
    };
    return tokens;
}

ProtectionFinding finding(const QString& title, const QString& path, const QString& detail, Kind kind,
                          Severity severity, bool selected) {
    ProtectionFinding result;
    result.title = title;
    result.path = path;
    result.detail = detail;
    result.kind = kind;
    result.severity = severity;
    result.isSelected = selected;
    return result;
}

QString withoutExtension(const QString& name) {
    const QString extension = PathRules::pathExtension(name);
    return extension.isEmpty() ? name : name.left(name.size() - extension.size() - 1);
}

}  // namespace

QList<ProtectionFinding> suspiciousAgents(const Locations& locations, const std::stop_token& stop) {
    struct Folder {
        Place place;
        const char* extension;
    };
    static const Folder folders[] = {
        {Place::userAutostart, "desktop"},
        {Place::userUnits, "service"},
        {Place::systemAutostart, "desktop"},
        {Place::systemUserUnits, "service"},
    };
    QList<ProtectionFinding> findings;
    QSet<std::pair<quint64, quint64>> judged;  // one file reached under two names is judged once
    for (const Folder& folder : folders) {
        std::optional<QList<FileEntry>> entries =
            FolderListing::list(locations.path(folder.place), FolderListing::Hidden::skip);
        if (!entries) continue;
        // Files before links, so a file that also has an alias is named by itself.
        std::stable_partition(entries->begin(), entries->end(),
                              [](const FileEntry& entry) { return !entry.isSymbolicLink(); });
        for (const FileEntry& entry : *entries) {
            if (stop.stop_requested()) return findings;
            if (PathRules::pathExtension(entry.name) != QLatin1String(folder.extension)) continue;
            const QString name = withoutExtension(entry.name);
            const bool own = std::any_of(ownPrefixes().begin(), ownPrefixes().end(),
                                         [&](const QString& prefix) { return name.startsWith(prefix); });
            if (own || !(entry.isRegularFile() || entry.isSymbolicLink())) continue;
            // The whole text as it stands, never parsed: what a desktop file
            // or unit would run. A link is judged by its target.
            const DesktopEntryFile read = DesktopEntryFile::read(entry.path);
            auto flag = [&](const QString& detail) {
                findings.append(finding(name, entry.path, detail, Kind::suspiciousAgent, Severity::high, false));
            };
            switch (read.status()) {
            case DesktopEntryFile::Status::gone:
            case DesktopEntryFile::Status::notAFile:  // a mask, or a link to something that starts nothing
                continue;
            case DesktopEntryFile::Status::unreadable:
                flag(QStringLiteral("Could not be read \u2014 review what it starts"));
                continue;
            case DesktopEntryFile::Status::tooLarge:
                flag(QStringLiteral("Too large to read whole \u2014 review what it starts"));
                continue;
            case DesktopEntryFile::Status::ok:
                break;
            }
            if (judged.contains({read.device(), read.inode()})) continue;
            judged.insert({read.device(), read.inode()});
            for (const QString& token : suspiciousTokens()) {
                if (!read.text().contains(token, Qt::CaseInsensitive)) continue;
                flag(QStringLiteral("Entry references \u201C") + token.trimmed() + QStringLiteral("\u201D"));
                break;
            }
        }
    }
    return findings;
}

QList<ProtectionFinding> adwarePaths(const Environment& environment) {
    struct Row {
        const char* path;
        bool system;     // below the root rather than the home folder
        bool nameMatch;  // the launch-agent name rule
    };
    static const Row rows[] = {
        {"Library/Application Support/MacKeeper", false, false},
        {"Library/Application Support/Advanced Mac Cleaner", false, false},
        {"Library/Application Support/MyCleanPC", false, false},
        {"/Applications/MacKeeper.app", true, false},
        {"/Applications/Advanced Mac Cleaner.app", true, false},
        {"Library/LaunchAgents/com.mackeeper", false, true},
    };
    QList<ProtectionFinding> findings;
    for (const Row& row : rows) {
        const QString named = QString::fromUtf8(row.path);
        const QString path = row.system ? environment.systemPath(named) : environment.homePath(named);
        if (row.nameMatch) {
            // The first name in the agents folder that mentions the product, hidden ones included.
            const QString parent = PathRules::deletingLastPathComponent(path);
            const std::optional<QList<FileEntry>> entries = FolderListing::list(parent, FolderListing::Hidden::include);
            if (!entries) continue;
            for (const FileEntry& entry : *entries) {
                if (!entry.name.toLower().contains(QLatin1String("mackeeper"))) continue;
                findings.append(finding(entry.name, entry.path, QStringLiteral("Matches known PUA naming"),
                                        Kind::adwarePath, Severity::high, true));
                break;
            }
            continue;
        }
        if (!FileEntry::at(path)) continue;
        findings.append(finding(PathRules::lastPathComponent(path), path, QStringLiteral("Known adware / PUA location"),
                                Kind::adwarePath, Severity::high, true));
    }
    return findings;
}

QList<ProtectionFinding> quarantinedDownloads(const QString& folder, const QDateTime& now, const std::stop_token& stop) {
    static const QStringList extensions = {
        QStringLiteral("dmg"), QStringLiteral("pkg"), QStringLiteral("app"),      QStringLiteral("zip"),
        QStringLiteral("deb"), QStringLiteral("rpm"), QStringLiteral("appimage"), QStringLiteral("run"),
    };
    QList<ProtectionFinding> findings;
    const std::optional<QList<FileEntry>> entries = FolderListing::list(folder, FolderListing::Hidden::skip);
    if (!entries) return findings;
    const qint64 cutoff = now.toMSecsSinceEpoch() - kRecentSeconds * 1000;
    for (qsizetype i = 0; i < entries->size() && i < kQuarantineEntries; ++i) {
        if (stop.stop_requested()) break;
        const FileEntry& entry = entries->at(i);
        if (entry.modifiedMSecs <= cutoff) continue;
        if (!extensions.contains(PathRules::pathExtension(entry.name).toLower())) continue;
        // No attribute, an empty one, or a file system without user
        // attributes: nothing marks it as downloaded.
        const std::optional<QByteArray> origin =
            ExtendedAttributes::value(entry.path, QString::fromLatin1(kOriginAttribute));
        if (!origin || origin->isEmpty()) continue;
        findings.append(finding(entry.name, entry.path, QStringLiteral("Still quarantined \u2014 review before opening"),
                                Kind::quarantined, Severity::medium, false));
    }
    return findings;
}

QList<ProtectionFinding> browserExtensions(const Locations& locations) {
    QList<ProtectionFinding> findings;
    for (const BrowserProfiles::Chromium& browser : BrowserProfiles::chromiumFamily(locations)) {
        const std::optional<QList<FileEntry>> entries =
            FolderListing::list(browser.userDataFolder + QStringLiteral("/Default/Extensions"),
                                FolderListing::Hidden::skip);
        if (!entries) continue;
        for (qsizetype i = 0; i < entries->size() && i < kExtensionsPerBrowser; ++i) {
            const FileEntry& entry = entries->at(i);
            findings.append(finding(entry.name, entry.path,
                                    QStringLiteral("Browser extension \u2014 review permissions in the browser"),
                                    Kind::browserExtension, Severity::low, false));
        }
    }
    return findings;
}

QList<ProtectionFinding> unsignedIn(const QString& folder, qsizetype limit, const std::stop_token& stop) {
    static const QStringList extensions = {QString(), QStringLiteral("sh"), QStringLiteral("command"),
                                           QStringLiteral("tool")};
    QList<ProtectionFinding> findings;
    const std::optional<QList<FileEntry>> entries = FolderListing::list(folder, FolderListing::Hidden::skip);
    if (!entries) return findings;
    for (const FileEntry& entry : *entries) {
        if (findings.size() >= limit || stop.stop_requested()) break;
        if (!extensions.contains(PathRules::pathExtension(entry.name).toLower())) continue;
        // Only files: a folder carries execute bits to be entered, not run.
        if (!entry.isRegularFile() || (entry.permissions & 0111) == 0) continue;
        std::optional<FileReader> reader = FileReader::open(entry.path);
        if (!reader) continue;
        const QByteArray head = reader->read(4);
        if (!head.startsWith("\x7f" "ELF") && !head.startsWith("#!")) continue;
        findings.append(finding(entry.name, entry.path, QStringLiteral("Runnable program \u2014 check where it came from before running it"),
                                Kind::unsignedExec, Severity::medium, false));
    }
    return findings;
}

QList<ProtectionFinding> scan(const Progress& progress, std::stop_token stop) {
    const Environment& environment = Environment::current();
    const Locations locations(environment);
    const QString downloads = locations.path(Place::downloads);
    const QDateTime now = environment.now();
    const std::function<QList<ProtectionFinding>()> stages[] = {
        [&] { return suspiciousAgents(locations, stop); },
        [&] { return adwarePaths(environment); },
        [&] { return quarantinedDownloads(downloads, now, stop); },
        [&] { return browserExtensions(locations); },
        [&] { return unsignedIn(downloads, kUnsignedLimit, stop); },
    };
    static const char* const labels[] = {
        "Scanning startup entries\u2026", "Checking adware locations\u2026", "Reviewing quarantined downloads\u2026",
        "Checking browser extensions\u2026", "Scanning unsigned executables\u2026",
    };
    QList<ProtectionFinding> findings;
    for (size_t i = 0; i < std::size(stages); ++i) {
        if (stop.stop_requested()) break;
        if (progress) progress(QString::fromUtf8(labels[i]));
        findings.append(stages[i]());
    }
    std::stable_sort(findings.begin(), findings.end(), [](const ProtectionFinding& a, const ProtectionFinding& b) {
        return a.severity > b.severity;
    });
    return findings;
}

}  // namespace tarnwick::ProtectionService
