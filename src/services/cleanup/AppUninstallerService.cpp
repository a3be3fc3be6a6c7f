#include "services/cleanup/AppUninstallerService.h"

#include "platform/Environment.h"
#include "platform/FileEntry.h"
#include "platform/FolderListing.h"
#include "platform/FolderWalk.h"
#include "platform/Locations.h"
#include "services/cleanup/AppBundle.h"
#include "services/cleanup/AppMatchKeys.h"
#include "services/store/MemoryBudget.h"
#include "support/AppIdentity.h"
#include "support/PathRules.h"
#include "support/Saturating.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <vector>

namespace tarnwick::AppUninstallerService {

namespace {

// The Library folders searched for leftovers, in this order.
constexpr const char* kLibraryFolders[] = {
    "~/Library/Application Support", "~/Library/Caches",     "~/Library/Logs",
    "~/Library/Preferences",         "~/Library/Containers", "~/Library/Group Containers",
    "~/Library/Saved Application State",
};

// One entry of a Library folder and the applications whose keys claim it.
struct LibraryEntry {
    QString name;
    QString path;
    std::vector<qsizetype> claimedBy;
};

qint64 bytesOf(const FileEntry& entry) {
    return entry.allocatedSize >= 1 ? entry.allocatedSize : std::max<qint64>(entry.logicalSize, 0);
}

void report(const Progress& progress, const QString& label) {
    if (progress) progress(label);
}

// What the program keeps for itself is never anybody's leftover.
class OwnFolders {
public:
    OwnFolders() : folders_{AppIdentity::supportDirectory(), AppIdentity::legacySupportDirectory()} {}

    bool contains(const QString& name, const QString& path) const {
        const QString lowered = name.toLower();
        if (lowered.contains(QLatin1String("tarnwick")) || lowered.contains(QLatin1String("taldovane"))) return true;
        return std::any_of(folders_.begin(), folders_.end(), [&](const QString& own) {
            return PathRules::isSameOrBelow(path, own) || PathRules::isSameOrBelow(own, path);
        });
    }

private:
    QStringList folders_;
};

bool isSystemEntry(const QString& name) {
    return name.toLower().startsWith(QLatin1String("com.apple"));
}

// Every application's index whose keys claim the name.
std::vector<qsizetype> claimants(const QString& name, const std::vector<AppMatchKeys>& keys) {
    std::vector<qsizetype> found;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (keys[i].claims(name)) found.push_back(qsizetype(i));
    }
    return found;
}

// The first 500 entries of each Library folder, in folder order, with their claimants.
std::vector<LibraryEntry> libraryEntries(const Environment& environment, const std::vector<AppMatchKeys>& keys,
                                         const std::stop_token& stop) {
    std::vector<LibraryEntry> entries;
    for (const char* folder : kLibraryFolders) {
        if (stop.stop_requested()) break;
        const auto listing = FolderListing::list(environment.homePath(QString::fromUtf8(folder)),
                                                 FolderListing::Hidden::skip);
        if (!listing) continue;
        const qsizetype looked = std::min(listing->size(), kLibraryEntriesLooked);
        for (qsizetype i = 0; i < looked; ++i) {
            const FileEntry& entry = listing->at(i);
            entries.push_back({entry.name, entry.path, claimants(entry.name, keys)});
        }
    }
    return entries;
}

// Another listed application has the same name (in any case) or the same identifier.
std::vector<bool> sharedCopies(const QList<AppBundle>& bundles) {
    QHash<QString, int> names;
    QHash<QString, int> identifiers;
    for (const AppBundle& bundle : bundles) {
        ++names[bundle.name.toLower()];
        if (bundle.bundleId) ++identifiers[*bundle.bundleId];
    }
    std::vector<bool> shared;
    for (const AppBundle& bundle : bundles) {
        shared.push_back(names.value(bundle.name.toLower()) > 1 ||
                         (bundle.bundleId && identifiers.value(*bundle.bundleId) > 1));
    }
    return shared;
}

QList<InstalledApp::Leftover> findLeftovers(qsizetype index, const AppBundle& bundle,
                                            const std::vector<LibraryEntry>& library,
                                            const std::vector<AppMatchKeys>& keys, const OwnFolders& own,
                                            const Environment& environment, const std::stop_token& stop) {
    QStringList candidates;
    auto claimedByOthers = [index](const std::vector<qsizetype>& claimed) {
        return std::any_of(claimed.begin(), claimed.end(), [index](qsizetype other) { return other != index; });
    };
    for (const LibraryEntry& entry : library) {
        const bool mine = std::find(entry.claimedBy.begin(), entry.claimedBy.end(), index) != entry.claimedBy.end();
        if (!mine || claimedByOthers(entry.claimedBy) || isSystemEntry(entry.name)) continue;
        if (!own.contains(entry.name, entry.path)) candidates.append(entry.path);
    }
    if (bundle.bundleId) {
        // The preferences file named after the identifier, wherever it is in
        // the listing; also for the system's own applications.
        const QString name = *bundle.bundleId + QStringLiteral(".plist");
        const QString path = environment.homePath(QStringLiteral("~/Library/Preferences/") + name);
        if (FileEntry::at(path) && !claimedByOthers(claimants(name, keys)) && !own.contains(name, path)) {
            candidates.append(path);
        }
    }
    candidates.removeDuplicates();

    QList<InstalledApp::Leftover> leftovers;
    for (const QString& path : std::as_const(candidates)) {
        if (stop.stop_requested()) break;
        const qint64 size = shallowSize(path, kLeftoverSteps, stop);
        if (size < 1) continue;
        InstalledApp::Leftover leftover;
        leftover.path = path;
        leftover.size = size;
        leftovers.append(leftover);
    }
    std::stable_sort(leftovers.begin(), leftovers.end(),
                     [](const InstalledApp::Leftover& a, const InstalledApp::Leftover& b) { return a.size > b.size; });
    return leftovers;
}

}  // namespace

qint64 shallowSize(const QString& path, int maxSteps, const std::stop_token& stop) {
    const std::optional<FileEntry> place = FileEntry::at(path);
    if (!place) return 0;
    if (!place->isDirectory()) return bytesOf(*place);
    Saturating::Total total;
    int steps = 0;
    FolderWalk::Options options;
    options.includeHidden = true;
    options.enterPackages = false;
    FolderWalk::run(
        path, options,
        [&](const FileEntry& entry, int) {
            if (steps >= maxSteps) return FolderWalk::Step::stop;
            ++steps;
            if (entry.isRegularFile()) total.add(bytesOf(entry));
            return FolderWalk::Step::proceed;
        },
        stop);
    return total.value();
}

QStringList resetPaths(const InstalledApp& app) {
    QStringList paths;
    for (const InstalledApp::Leftover& leftover : app.leftovers) paths.append(leftover.path);
    return paths;
}

QList<InstalledApp> scan(const Progress& progress, std::stop_token stop) {
    report(progress, QStringLiteral("Listing applications\u2026"));
    const Environment& environment = Environment::current();
    const Locations locations(environment);
    // Every ".app" entry claims its data; the real bundles are listed.
    const QList<AppBundle> bundles = AppBundle::list(AppBundle::applicationFolders(locations), stop);
    std::vector<AppMatchKeys> keys;
    keys.reserve(size_t(bundles.size()));
    for (const AppBundle& bundle : bundles) keys.emplace_back(bundle.name, bundle.bundleId);
    const std::vector<LibraryEntry> library = libraryEntries(environment, keys, stop);
    const std::vector<bool> shared = sharedCopies(bundles);
    const OwnFolders own;

    QList<InstalledApp> apps;
    for (qsizetype i = 0; i < bundles.size(); ++i) {
        if (stop.stop_requested()) break;
        const AppBundle& bundle = bundles[i];
        if (!bundle.isFolder || bundle.isThisProgram()) continue;
        report(progress, QStringLiteral("Inspecting ") + bundle.name + QStringLiteral("\u2026"));
        InstalledApp app;
        app.name = bundle.name;
        app.path = bundle.path;
        app.bundleId = bundle.bundleId;
        app.size = shallowSize(bundle.path, kBundleSteps, stop);
        if (!shared[size_t(i)]) app.leftovers = findLeftovers(i, bundle, library, keys, own, environment, stop);
        apps.append(std::move(app));
    }

    // Ranked by everything an application leaves, before its leftovers are cut.
    apps = MemoryBudget::trimApps(apps);
    for (InstalledApp& app : apps) {
        if (app.leftovers.size() > kLeftoversKept) app.leftovers.resize(kLeftoversKept);
    }
    return apps;
}

}  // namespace tarnwick::AppUninstallerService
