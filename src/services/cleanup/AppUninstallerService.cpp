#include "services/cleanup/AppUninstallerService.h"

#include "platform/Environment.h"
#include "platform/FileEntry.h"
#include "platform/FolderListing.h"
#include "platform/FolderWalk.h"
#include "platform/Locations.h"
#include "services/cleanup/AppBundle.h"
#include "services/cleanup/AppImageFile.h"
#include "services/cleanup/AppMatchKeys.h"
#include "services/cleanup/DesktopEntry.h"
#include "services/cleanup/FlatpakApp.h"
#include "services/store/MemoryBudget.h"
#include "support/AppIdentity.h"
#include "support/PathRules.h"
#include "support/ReverseDnsName.h"
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

using Place = Locations::Place;

// The XDG base folders searched for leftovers after the Library folders.
constexpr Place kDataFolders[] = {Place::configFolder, Place::dataFolder, Place::stateFolder, Place::userCaches};

constexpr qsizetype kProgramEntriesRead = 3000;

// Entries of the XDG base folders that the desktop and every program share,
// whatever an application's name says: never anybody's leftover.
const QSet<QString>& sharedEntries() {
    static const QSet<QString> names = {
        QStringLiteral("applications"),   QStringLiteral("autostart"),      QStringLiteral("backgrounds"),
        QStringLiteral("dconf"),          QStringLiteral("desktop-directories"), QStringLiteral("environment.d"),
        QStringLiteral("flatpak"),        QStringLiteral("fontconfig"),     QStringLiteral("fonts"),
        QStringLiteral("gtk-2.0"),        QStringLiteral("gtk-3.0"),        QStringLiteral("gtk-4.0"),
        QStringLiteral("gvfs-metadata"),  QStringLiteral("icons"),          QStringLiteral("keyrings"),
        QStringLiteral("menus"),          QStringLiteral("mime"),           QStringLiteral("mimeapps.list"),
        QStringLiteral("pipewire"),       QStringLiteral("pulse"),          QStringLiteral("recently-used.xbel"),
        QStringLiteral("sounds"),         QStringLiteral("systemd"),        QStringLiteral("themes"),
        QStringLiteral("thumbnails"),     QStringLiteral("trash"),          QStringLiteral("user-dirs.dirs"),
        QStringLiteral("user-dirs.locale"), QStringLiteral("wireplumber"),  QStringLiteral("xdg-desktop-portal"),
    };
    return names;
}

// An application as listed, before it is measured. Names that are not
// listed themselves (a link or a file named ".app", the program itself)
// still claim their data.
struct Candidate {
    InstalledApp::Kind kind = InstalledApp::Kind::bundle;
    QString name;
    QString path;
    std::optional<QString> id;
    QStringList desktopEntries;
    bool listed = true;
};

bool isThisProgram(const QString& name) {
    const QString lowered = name.toLower();
    return lowered == QLatin1String("tarnwick") || lowered == QLatin1String("taldovane");
}

std::vector<Candidate> listCandidates(const Locations& locations, const std::stop_token& stop) {
    std::vector<Candidate> candidates;
    for (const AppBundle& bundle : AppBundle::list(AppBundle::applicationFolders(locations), stop)) {
        candidates.push_back({InstalledApp::Kind::bundle, bundle.name, bundle.path, bundle.bundleId, {},
                              bundle.isFolder && !bundle.isThisProgram()});
    }
    for (const FlatpakApp& app : FlatpakApp::installed(locations, stop)) {
        candidates.push_back({app.isSystem ? InstalledApp::Kind::systemFlatpak : InstalledApp::Kind::flatpak,
                              app.name, app.path, app.id, {}, !isThisProgram(app.name)});
    }
    const QList<AppImageFile::Folder> folders = {
        {locations.path(Place::userApplications)},
        {locations.path(Place::appImages)},
        {locations.path(Place::userPrograms)},
        {locations.path(Place::downloads), false},
    };
    for (const AppImageFile& app : AppImageFile::list(folders, locations.path(Place::desktopEntries), stop)) {
        candidates.push_back({InstalledApp::Kind::appImage, app.name, app.path, std::nullopt, app.desktopEntries,
                              !isThisProgram(app.name) && !isThisProgram(app.baseName)});
    }
    return candidates;
}

// The programs the system's package manager (or the user, by hand) put in
// the menu: each claims the data named after the program its desktop entry
// starts, and, for an entry named as a reverse domain name, after that name.
// The entries that start a listed AppImage are that app's own.
std::vector<AppMatchKeys> programKeys(const Locations& locations, const std::vector<Candidate>& candidates,
                                      const std::stop_token& stop) {
    QSet<QString> ownEntries;
    for (const Candidate& candidate : candidates) {
        for (const QString& entry : candidate.desktopEntries) ownEntries.insert(entry);
    }
    QStringList folders = locations.paths(Place::systemDesktopEntries);
    folders.append(locations.path(Place::desktopEntries));
    std::vector<AppMatchKeys> keys;
    qsizetype read = 0;
    for (const QString& folder : std::as_const(folders)) {
        const auto listing = FolderListing::list(folder, FolderListing::Hidden::skip);
        if (!listing) continue;
        for (const FileEntry& file : *listing) {
            if (stop.stop_requested() || read >= kProgramEntriesRead) return keys;
            if (!file.isRegularFile() || !file.name.endsWith(QLatin1String(".desktop"))) continue;
            if (ownEntries.contains(file.path)) continue;
            ++read;
            const std::optional<DesktopEntry> entry = DesktopEntry::read(file.path);
            if (!entry || entry->program.isEmpty()) continue;
            const QString fileId = file.name.chopped(8);
            std::optional<QString> identifier;
            if (ReverseDnsName::isValid(fileId)) identifier = fileId;
            keys.emplace_back(PathRules::lastPathComponent(entry->program), identifier);
        }
    }
    return keys;
}

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

// The first 500 entries of each Library folder, then of each XDG base
// folder (less the shared ones), in folder order, with their claimants.
std::vector<LibraryEntry> libraryEntries(const Locations& locations, const std::vector<AppMatchKeys>& keys,
                                         const std::stop_token& stop) {
    QStringList folders;
    for (const char* folder : kLibraryFolders) folders.append(locations.home() + QString::fromUtf8(folder).mid(1));
    const qsizetype libraryCount = folders.size();
    for (Place place : kDataFolders) {
        // A base folder set to the home folder or above it holds far more
        // than programs' data: none of its entries is anybody's leftover.
        const QString folder = locations.path(place);
        if (!PathRules::isSameOrBelow(locations.home(), folder)) folders.append(folder);
    }
    std::vector<LibraryEntry> entries;
    for (qsizetype f = 0; f < folders.size(); ++f) {
        if (stop.stop_requested()) break;
        const auto listing = FolderListing::list(folders[f], FolderListing::Hidden::skip);
        if (!listing) continue;
        const qsizetype looked = std::min(listing->size(), kLibraryEntriesLooked);
        for (qsizetype i = 0; i < looked; ++i) {
            const FileEntry& entry = listing->at(i);
            if (f >= libraryCount && sharedEntries().contains(entry.name.toLower())) continue;
            entries.push_back({entry.name, entry.path, claimants(entry.name, keys)});
        }
    }
    return entries;
}

// Another listed application has the same name (in any case) or the same identifier.
std::vector<bool> sharedCopies(const std::vector<Candidate>& candidates) {
    QHash<QString, int> names;
    QHash<QString, int> identifiers;
    for (const Candidate& candidate : candidates) {
        ++names[candidate.name.toLower()];
        if (candidate.id) ++identifiers[*candidate.id];
    }
    std::vector<bool> shared;
    for (const Candidate& candidate : candidates) {
        shared.push_back(names.value(candidate.name.toLower()) > 1 ||
                         (candidate.id && identifiers.value(*candidate.id) > 1));
    }
    return shared;
}

// A Flatpak app keeps its data in ~/.var/app/<id>, named exactly after it,
// unless another listed Flatpak app has the same id (the same app in two
// installations) and so shares it.
std::optional<QString> flatpakData(qsizetype index, const std::vector<Candidate>& candidates,
                                   const Locations& locations) {
    const Candidate& app = candidates[size_t(index)];
    if (app.kind != InstalledApp::Kind::flatpak && app.kind != InstalledApp::Kind::systemFlatpak) return std::nullopt;
    if (!app.id || !ReverseDnsName::isValid(*app.id)) return std::nullopt;
    for (qsizetype i = 0; i < qsizetype(candidates.size()); ++i) {
        const Candidate& other = candidates[size_t(i)];
        if (i != index && other.id == app.id && other.kind != InstalledApp::Kind::bundle &&
            other.kind != InstalledApp::Kind::appImage) {
            return std::nullopt;
        }
    }
    const QString path = locations.path(Place::flatpakAppData) + QLatin1Char('/') + *app.id;
    const std::optional<FileEntry> entry = FileEntry::at(path);
    if (!entry || !entry->isDirectory()) return std::nullopt;
    return path;
}

QList<InstalledApp::Leftover> findLeftovers(qsizetype index, const Candidate& bundle,
                                            const std::vector<LibraryEntry>& library,
                                            const std::vector<AppMatchKeys>& keys, const OwnFolders& own,
                                            const Environment& environment, const std::stop_token& stop,
                                            bool searchByKeys, const std::optional<QString>& dataFolder) {
    QStringList candidates;
    if (dataFolder) candidates.append(*dataFolder);
    auto claimedByOthers = [index](const std::vector<qsizetype>& claimed) {
        return std::any_of(claimed.begin(), claimed.end(), [index](qsizetype other) { return other != index; });
    };
    for (const LibraryEntry& entry : library) {
        if (!searchByKeys) break;
        const bool mine = std::find(entry.claimedBy.begin(), entry.claimedBy.end(), index) != entry.claimedBy.end();
        if (!mine || claimedByOthers(entry.claimedBy) || isSystemEntry(entry.name)) continue;
        if (!own.contains(entry.name, entry.path)) candidates.append(entry.path);
    }
    if (searchByKeys && bundle.kind == InstalledApp::Kind::bundle && bundle.id) {
        // The preferences file named after the identifier, wherever it is in
        // the listing; also for the system's own applications.
        const QString name = *bundle.id + QStringLiteral(".plist");
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
    // Every application claims its data; the real ones are listed.
    const std::vector<Candidate> candidates = listCandidates(locations, stop);
    std::vector<AppMatchKeys> keys;
    keys.reserve(candidates.size());
    for (const Candidate& candidate : candidates) keys.emplace_back(candidate.name, candidate.id);
    for (AppMatchKeys& program : programKeys(locations, candidates, stop)) keys.push_back(std::move(program));
    const std::vector<LibraryEntry> library = libraryEntries(locations, keys, stop);
    const std::vector<bool> shared = sharedCopies(candidates);
    const OwnFolders own;

    QList<InstalledApp> apps;
    for (qsizetype i = 0; i < qsizetype(candidates.size()); ++i) {
        if (stop.stop_requested()) break;
        const Candidate& candidate = candidates[size_t(i)];
        if (!candidate.listed) continue;
        report(progress, QStringLiteral("Inspecting ") + candidate.name + QStringLiteral("\u2026"));
        InstalledApp app;
        app.name = candidate.name;
        app.path = candidate.path;
        app.bundleId = candidate.id;
        app.kind = candidate.kind;
        app.desktopEntries = candidate.desktopEntries;
        app.size = shallowSize(candidate.path, kBundleSteps, stop);
        app.leftovers = findLeftovers(i, candidate, library, keys, own, environment, stop, !shared[size_t(i)],
                                      flatpakData(i, candidates, locations));
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
