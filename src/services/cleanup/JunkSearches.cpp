#include "services/cleanup/JunkSearches.h"

#include "platform/FileEntry.h"
#include "platform/FileIdentity.h"
#include "platform/FolderListing.h"
#include "platform/FolderWalk.h"
#include "services/cleanup/AppBundle.h"
#include "services/cleanup/AppMatchKeys.h"
#include "services/cleanup/DuplicateFinder.h"
#include "services/cleanup/FlatpakApp.h"
#include "services/cleanup/JunkMeasure.h"
#include "support/DateStyleFormatter.h"
#include "support/PathRules.h"
#include "support/ReverseDnsName.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace tarnwick::CleanupService {

namespace {

using Step = FolderWalk::Step;

constexpr qint64 kIncompleteMinimum = 100000;
constexpr int kIncompleteBudget = 2000;
constexpr qint64 kStillWritingMSecs = 3600 * 1000;

constexpr int kApplicationsLooked = 40;
constexpr int kEntriesPerApplication = 4000;
constexpr int kLanguagesPerApplication = 8;
constexpr int kLanguageBudget = 800;
constexpr qint64 kLanguageMinimum = 1500000;

constexpr int kNamedEntriesPerRoot = 8000;
constexpr int kNamedBudget = 12000;
constexpr qint64 kNamedMinimum = 5000000;

constexpr int kLeftoverEntriesPerRoot = 400;
constexpr int kLeftoverBudget = 8000;
constexpr qint64 kLeftoverMinimum = 20000000;
constexpr int kLeftoverLimit = 30;
constexpr qsizetype kShortestContainedName = 4;

constexpr qint64 kInstallerAgeSeconds = 2592000;
constexpr qint64 kInstallerMinimum = 5000000;

constexpr int kDuplicateEntriesPerRoot = 12000;
constexpr qint64 kDuplicateMinimum = 2000000;
constexpr size_t kHashedPerGroup = 12;

QString tilde(const QString& path) {
    return PathRules::abbreviatingWithTilde(path);
}

JunkFinding makeFinding(const QString& title, const QString& path, const QString& detail, CleanupCategory category,
                        bool safe, JunkMeasure measure) {
    JunkFinding finding;
    finding.item.title = title;
    finding.item.path = path;
    finding.item.detail = detail;
    finding.item.size = measure.size;
    finding.item.category = category;
    finding.item.isSelected = safe;
    finding.item.isSafeDefault = safe;
    finding.item.seen = measure.seen;
    finding.isFolder = measure.isFolder;
    finding.measuredInPart = measure.truncated;
    finding.holdsMount = measure.holdsMount;
    finding.isMountPoint = measure.isMountPoint;
    finding.parts = std::move(measure.parts);
    return finding;
}

// The measure of a place found by a search, with the scan's mount table.
JunkMeasure measureOf(const QString& path, int budget, const JunkContext& context) {
    JunkMeasure::Options options;
    options.mounts = &context.mounts;
    return JunkMeasure::of(path, budget, context.stop, options);
}

JunkFinding fileFinding(const QString& title, const QString& path, const QString& detail, CleanupCategory category,
                        bool safe, qint64 size) {
    JunkMeasure measure;
    measure.exists = true;
    measure.size = size;
    measure.seen = FileIdentity::of(path);
    return makeFinding(title, path, detail, category, safe, std::move(measure));
}

// A program (an AppImage, or any file with an execute bit) may be in daily
// use from where it was downloaded: never pre-selected.
bool isProgram(const FileEntry& entry) {
    if (PathRules::pathExtension(entry.name).toLower() == QLatin1String("appimage")) return true;
    return entry.isRegularFile() && (entry.permissions & 0111) != 0;
}

const QSet<QString>& englishNames() {
    static const QSet<QString> names = {
        QStringLiteral("en"),       QStringLiteral("en-gb"),      QStringLiteral("en_gb"),
        QStringLiteral("english"),  QStringLiteral("base"),       QStringLiteral("en.lproj"),
        QStringLiteral("base.lproj"), QStringLiteral("english.lproj"),
    };
    return names;
}

const QStringList& protectedWords() {
    static const QStringList words = {
        QStringLiteral("com.apple"),  QStringLiteral("apple"),         QStringLiteral("icloud"),
        QStringLiteral("mobile"),     QStringLiteral("addressbook"),   QStringLiteral("mail"),
        QStringLiteral("messages"),   QStringLiteral("callhistory"),   QStringLiteral("knowledge"),
        QStringLiteral("syncedpreferences"), QStringLiteral("tarnwick"), QStringLiteral("taldovane"),
        QStringLiteral("crashreporter"), QStringLiteral("diagnostics"), QStringLiteral("caches"),
    };
    return words;
}

// The Part's nine kinds and this platform's package files.
const QSet<QString>& installerExtensions() {
    static const QSet<QString> extensions = {
        QStringLiteral("dmg"), QStringLiteral("pkg"), QStringLiteral("zip"), QStringLiteral("iso"),
        QStringLiteral("tar"), QStringLiteral("gz"),  QStringLiteral("7z"),  QStringLiteral("rar"),
        QStringLiteral("xz"),  QStringLiteral("deb"), QStringLiteral("rpm"), QStringLiteral("appimage"),
    };
    return extensions;
}

const QStringList& incompleteSuffixes() {
    static const QStringList suffixes = {
        QStringLiteral(".download"), QStringLiteral(".crdownload"), QStringLiteral(".part"),
        QStringLiteral(".partial"),  QStringLiteral(".tmp"),
    };
    return suffixes;
}

}  // namespace

qint64 directorySize(const QString& path, int maxSteps, const std::stop_token& stop) {
    return JunkMeasure::of(path, maxSteps, stop).size;
}

std::vector<JunkFinding> incompleteDownloads(const QString& downloads, const JunkContext& context) {
    std::vector<JunkFinding> findings;
    const auto listing = FolderListing::list(downloads, FolderListing::Hidden::skip);
    if (!listing) return findings;
    const qint64 stillWriting = context.now.toMSecsSinceEpoch() - kStillWritingMSecs;
    for (const FileEntry& entry : *listing) {
        if (context.stopped()) break;
        const QString lowered = entry.name.toLower();
        const bool qualifies = std::any_of(incompleteSuffixes().begin(), incompleteSuffixes().end(),
                                           [&](const QString& suffix) { return lowered.endsWith(suffix); });
        if (!qualifies) continue;
        JunkMeasure measure = measureOf(entry.path, kIncompleteBudget, context);
        if (measure.size <= kIncompleteMinimum) continue;
        if (measure.newestModifiedMSecs >= stillWriting) continue;
        findings.push_back(makeFinding(entry.name, entry.path, QStringLiteral("Incomplete download"),
                                       CleanupCategory::temp, true, std::move(measure)));
    }
    return findings;
}

std::vector<JunkFinding> unusedLanguages(const QString& applications, const JunkContext& context) {
    std::vector<JunkFinding> findings;
    const auto listing = FolderListing::list(applications, FolderListing::Hidden::skip);
    if (!listing) return findings;
    const qsizetype looked = std::min<qsizetype>(listing->size(), kApplicationsLooked);
    for (qsizetype i = 0; i < looked && !context.stopped(); ++i) {
        const FileEntry& app = listing->at(i);
        if (PathRules::pathExtension(app.name) != QLatin1String("app")) continue;
        const QString appName = PathRules::deletingPathExtension(app.name);
        int seen = 0;
        int made = 0;
        FolderWalk::Options options;
        options.readValues = false;
        FolderWalk::run(
            app.path, options,
            [&](const FileEntry& entry, int) {
                if (seen >= kEntriesPerApplication || made >= kLanguagesPerApplication) return Step::stop;
                ++seen;
                if (PathRules::pathExtension(entry.name) != QLatin1String("lproj")) return Step::proceed;
                const QString bundle = PathRules::deletingPathExtension(entry.name);
                const QString language = bundle.toLower();
                if (englishNames().contains(language) || language.startsWith(QLatin1String("en"))) {
                    return Step::proceed;
                }
                JunkMeasure measure = measureOf(entry.path, kLanguageBudget, context);
                if (measure.size > kLanguageMinimum) {
                    findings.push_back(makeFinding(appName + QStringLiteral(" · ") + bundle, entry.path,
                                                   tilde(entry.path), CleanupCategory::languages, false,
                                                   std::move(measure)));
                    ++made;
                }
                return Step::proceed;
            },
            context.stop);
    }
    return findings;
}

std::vector<JunkFinding> findNamedDirectories(const QString& name, const QStringList& roots,
                                              CleanupCategory category, int limit, const JunkContext& context) {
    std::vector<JunkFinding> findings;
    QSet<QString> found;  // roots may overlap; a folder is found once
    const QString nested = QLatin1Char('/') + name + QLatin1Char('/');
    for (const QString& root : roots) {
        if (context.stopped()) break;
        if (!FileEntry::at(root)) continue;
        int used = 0;
        FolderWalk::Options options;
        options.readValues = false;
        FolderWalk::run(
            root, options,
            [&](const FileEntry& entry, int) {
                if (static_cast<int>(findings.size()) >= limit || used >= kNamedEntriesPerRoot) return Step::stop;
                ++used;
                if (context.isOwnFolder(entry)) return Step::skipDescendants;
                if (entry.name != name) return Step::proceed;
                const QString parent = PathRules::deletingLastPathComponent(entry.path);
                if (parent.contains(nested)) return Step::proceed;
                if (found.contains(entry.path)) return Step::skipDescendants;
                JunkMeasure measure = measureOf(entry.path, kNamedBudget, context);
                if (measure.size <= kNamedMinimum) return Step::proceed;
                found.insert(entry.path);
                findings.push_back(
                    makeFinding(name, entry.path, tilde(parent), category, false, std::move(measure)));
                return Step::skipDescendants;
            },
            context.stop);
    }
    return findings;
}

bool isClaimedByInstalledApp(const QString& entryName, const QSet<QString>& installedNames,
                             const QSet<QString>& installedIdentifiers) {
    for (const QString& identifier : installedIdentifiers) {
        if (AppMatchKeys::hasIdentifierPrefix(entryName, identifier)) return true;
    }
    const QString key = entryName.toLower();
    const QStringList parts = key.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    const QString token = parts.isEmpty() ? key : parts.last();
    for (const QString& installed : installedNames) {
        if (installed.isEmpty()) continue;
        if (key == installed || token == installed) return true;
        if (installed.size() >= kShortestContainedName && key.contains(installed)) return true;
        if (token.size() >= kShortestContainedName && installed.contains(token)) return true;
    }
    return false;
}

std::vector<JunkFinding> findAppLeftovers(const JunkContext& context) {
    std::vector<JunkFinding> findings;
    QSet<QString> installed;
    QSet<QString> identifiers;
    for (const AppBundle& bundle : AppBundle::list(AppBundle::applicationFolders(context.locations), context.stop)) {
        installed.insert(bundle.name.toLower());
        if (bundle.bundleId) identifiers.insert(*bundle.bundleId);
    }
    const Locations::Place roots[] = {
        Locations::Place::libraryApplicationSupport,
        Locations::Place::libraryCaches,
        Locations::Place::libraryContainers,
        Locations::Place::libraryGroupContainers,
    };
    for (Locations::Place root : roots) {
        const auto listing = FolderListing::list(context.locations.path(root), FolderListing::Hidden::skip);
        if (!listing) continue;
        const qsizetype looked = std::min<qsizetype>(listing->size(), kLeftoverEntriesPerRoot);
        for (qsizetype i = 0; i < looked; ++i) {
            if (context.stopped()) return findings;
            const FileEntry& entry = listing->at(i);
            const QString key = entry.name.toLower();
            const bool guarded = std::any_of(protectedWords().begin(), protectedWords().end(),
                                             [&](const QString& word) { return key.contains(word); });
            if (guarded || isClaimedByInstalledApp(entry.name, installed, identifiers)) continue;
            JunkMeasure measure = measureOf(entry.path, kLeftoverBudget, context);
            if (measure.size <= kLeftoverMinimum) continue;
            findings.push_back(makeFinding(entry.name, entry.path,
                                           QStringLiteral("No matching app installed · ") + tilde(entry.path),
                                           CleanupCategory::leftovers, false, std::move(measure)));
            if (static_cast<int>(findings.size()) >= kLeftoverLimit) return findings;
        }
    }
    return findings;
}

std::vector<JunkFinding> findRemovedFlatpakData(const JunkContext& context) {
    std::vector<JunkFinding> findings;
    const auto listing =
        FolderListing::list(context.locations.path(Locations::Place::flatpakAppData), FolderListing::Hidden::skip);
    if (!listing || listing->isEmpty()) return findings;
    const std::optional<QSet<QString>> installed = FlatpakApp::installedIds(context.locations, context.stop);
    if (!installed) return findings;
    const qsizetype looked = std::min<qsizetype>(listing->size(), kLeftoverEntriesPerRoot);
    for (qsizetype i = 0; i < looked; ++i) {
        if (context.stopped()) break;
        const FileEntry& entry = listing->at(i);
        if (!entry.isDirectory() || !ReverseDnsName::isValid(entry.name) || installed->contains(entry.name)) continue;
        JunkMeasure measure = measureOf(entry.path, kLeftoverBudget, context);
        if (measure.size <= kLeftoverMinimum) continue;
        findings.push_back(makeFinding(entry.name, entry.path,
                                       QStringLiteral("No installed Flatpak app · ") + tilde(entry.path),
                                       CleanupCategory::leftovers, false, std::move(measure)));
        if (static_cast<int>(findings.size()) >= kLeftoverLimit) break;
    }
    return findings;
}

std::vector<JunkFinding> oldDownloadInstallers(const QString& downloads, const JunkContext& context) {
    std::vector<JunkFinding> findings;
    const auto listing = FolderListing::list(downloads, FolderListing::Hidden::skip);
    if (!listing) return findings;
    const qint64 cutoff = context.now.toMSecsSinceEpoch() - kInstallerAgeSeconds * 1000;
    for (const FileEntry& entry : *listing) {
        if (!installerExtensions().contains(PathRules::pathExtension(entry.name).toLower())) continue;
        if (entry.modifiedMSecs >= cutoff) continue;
        const std::optional<qint64> size =
            entry.totalAllocatedSize() ? entry.totalAllocatedSize() : entry.fileSize();
        if (!size || *size <= kInstallerMinimum) continue;
        const QString date = DateStyleFormatter::abbreviatedDate(entry.modified().toLocalTime().date());
        findings.push_back(fileFinding(entry.name, entry.path, QStringLiteral("Not modified since ") + date,
                                       CleanupCategory::downloads, !isProgram(entry), *size));
    }
    return findings;
}

std::vector<JunkFinding> findDuplicates(const QStringList& roots, int limitGroups, const JunkContext& context) {
    std::vector<JunkFinding> findings;
    DuplicateFinder finder;
    for (const QString& root : roots) {
        if (context.stopped()) break;
        if (context.isOwn(root)) continue;
        int looked = 0;
        FolderWalk::run(
            root, FolderWalk::Options{},
            [&](const FileEntry& entry, int) {
                if (looked >= kDuplicateEntriesPerRoot) return Step::stop;
                ++looked;
                if (context.isOwnFolder(entry)) return Step::skipDescendants;
                if (!entry.isRegularFile()) return Step::proceed;
                // The space on disk: a sparse file's holes take none.
                if (entry.allocatedSize >= kDuplicateMinimum) finder.add(entry, entry.allocatedSize);
                return Step::proceed;
            },
            context.stop);
    }

    // Largest sizes first: when the cap is reached, the largest copies are the ones reported.
    const size_t cap = static_cast<size_t>(std::max(0, limitGroups)) * 3;
    DuplicateFinder::Options options;
    options.readPerSize = kHashedPerGroup;
    options.goOn = [&] { return findings.size() < cap; };
    finder.find(
        options,
        [&](const DuplicateFinder::Group& group) {
            // A copy is offered only with the file that stays, as it is now.
            const std::optional<FileIdentity> kept = FileIdentity::of(group.kept->path);
            if (!kept) return;
            for (const DuplicateFinder::Candidate* copy : group.copies) {
                JunkFinding finding = fileFinding(copy->name, copy->path,
                                                  QStringLiteral("Duplicate of ") + tilde(group.kept->path),
                                                  CleanupCategory::duplicates, false, copy->size);
                finding.item.keptCopy = NamedCopy{group.kept->path, *kept};
                findings.push_back(std::move(finding));
            }
        },
        context.stop);
    return findings;
}

}  // namespace tarnwick::CleanupService
