#include "services/health/PrivacyService.h"

#include "platform/Environment.h"
#include "platform/FileEntry.h"
#include "platform/FileIdentity.h"
#include "platform/FolderWalk.h"
#include "services/cleanup/JunkContext.h"
#include "services/cleanup/JunkMeasure.h"
#include "services/health/BrowserProfiles.h"
#include "support/PathRules.h"
#include "support/Saturating.h"

#include <algorithm>

namespace tarnwick::PrivacyService {

namespace {

using Place = Locations::Place;

enum class Measure { file, database, folder };

// One place, in the order the scan visits them.
struct Row {
    const char* label;  // reported before the row; null for none
    QString title;
    QString path;
    Measure measure;
    bool selected;
    BrowserUse owner{};
};

// The rows of this home folder, in scan order.
QList<Row> rows(const Locations& locations) {
    QList<Row> table;
    table.append(Row{"Scanning recent items\u2026", QStringLiteral("Recent files"), locations.path(Place::recentlyUsed),
                     Measure::file, true});
    const char* browserLabel = "Scanning browser residue\u2026";
    for (const BrowserProfiles::Chromium& browser : BrowserProfiles::chromiumFamily(locations)) {
        const QString profile = browser.userDataFolder + QStringLiteral("/Default");
        // The cookies moved into Network/ in later versions; an older
        // profile keeps them beside the history.
        QString cookies = profile + QStringLiteral("/Network/Cookies");
        if (!FileEntry::at(cookies)) cookies = profile + QStringLiteral("/Cookies");
        const BrowserUse owner = BrowserProfiles::use(browser);
        table.append(Row{browserLabel, browser.name + QStringLiteral(" History"), profile + QStringLiteral("/History"),
                         Measure::database, false, owner});
        table.append(Row{nullptr, browser.name + QStringLiteral(" Cookies"), cookies, Measure::database, false, owner});
        browserLabel = nullptr;
    }
    // Firefox keeps its history and its bookmarks in one database
    // (places.sqlite): moving it would take the bookmarks too, so it is not offered.
    for (const QString& profile : BrowserProfiles::firefoxProfiles(locations)) {
        const BrowserUse owner = BrowserProfiles::firefoxUse(profile);
        table.append(Row{nullptr, QStringLiteral("Firefox Cookies"), profile + QStringLiteral("/cookies.sqlite"),
                         Measure::database, false, owner});
    }
    table.append(Row{nullptr, QStringLiteral("Chrome caches"), locations.path(Place::chromeCache), Measure::folder, true});
    table.append(
        Row{nullptr, QStringLiteral("Chromium caches"), locations.path(Place::chromiumCache), Measure::folder, true});
    table.append(Row{nullptr, QStringLiteral("Firefox caches"), locations.path(Place::mozillaCache), Measure::folder, true});
    table.append(Row{"Scanning thumbnail cache\u2026", QStringLiteral("Thumbnail cache"),
                     locations.path(Place::thumbnails), Measure::folder, false});
    return table;
}

// The path's own size: a file's length, nothing for a folder or when nothing is there.
qint64 ownSize(const QString& path) {
    const std::optional<FileEntry> entry = FileEntry::at(path);
    return entry ? entry->fileSize().value_or(0) : 0;
}

// What the scan saw of the item at path, when something is there.
void see(QHash<QString, FileIdentity>& seen, const QString& path) {
    if (const std::optional<FileIdentity> identity = FileIdentity::of(path)) seen.insert(path, *identity);
}

std::optional<PrivacyItem> measure(const Row& row, const JunkContext& context) {
    if (row.path.isEmpty()) return std::nullopt;
    const std::optional<FileEntry> entry = FileEntry::at(row.path);
    if (!entry) return std::nullopt;
    PrivacyItem item;
    item.title = row.title;
    item.path = row.path;
    item.detail = PathRules::abbreviatingWithTilde(row.path);
    item.isSelected = row.selected;
    item.seen = FileIdentity::of(row.path);
    switch (row.measure) {
    case Measure::file:
        item.size = ownSize(row.path);
        break;
    case Measure::database: {
        if (entry->isDirectory()) return std::nullopt;
        Saturating::Total total;
        total.add(ownSize(row.path));
        item.companionPaths = companionsOf(row.path);
        for (const QString& companion : std::as_const(item.companionPaths)) {
            total.add(ownSize(companion));
            see(item.companionsSeen, companion);
        }
        item.size = total.value();
        item.owner = row.owner;
        break;
    }
    case Measure::folder: {
        if (!entry->isDirectory()) {
            item.size = ownSize(row.path);
            break;
        }
        // A cache folder stays; of its entries, those in use, changed within
        // the hour or the program's own stay too, and out of the size.
        JunkMeasure folder = JunkMeasure::of(row.path, kFolderEntryLimit, context.stop, true);
        folder.keepUnmovable(context.inUseSinceMSecs());
        for (JunkFinding::Part& part : folder.parts) {
            if (context.isOwn(part.path) || context.holdsOwn(part.path)) part.kept = true;
        }
        item.scope = JunkMeasure::contentsScope(folder.parts);
        item.size = JunkMeasure::movableBytes(folder.parts);
        if (folder.truncated) item.detail += QStringLiteral(" \u00B7 measured in part");
        break;
    }
    }
    if (item.size < 1) return std::nullopt;
    return item;
}

// True when one path is the other or lies inside it.
bool overlaps(const QString& a, const QString& b) {
    return PathRules::isSameOrBelow(a, b) || PathRules::isSameOrBelow(b, a);
}

}  // namespace

QStringList companionsOf(const QString& databasePath) {
    return {databasePath + QStringLiteral("-journal"), databasePath + QStringLiteral("-wal"),
            databasePath + QStringLiteral("-shm")};
}

qint64 dirSize(const QString& path, const std::stop_token& stop) {
    const std::optional<FileEntry> entry = FileEntry::at(path);
    if (!entry) return 0;
    if (!entry->isDirectory()) return entry->fileSize().value_or(0);
    Saturating::Total total;
    int counted = 0;
    FolderWalk::Options options;
    options.includeHidden = true;
    options.enterPackages = true;
    FolderWalk::run(
        path, options,
        [&](const FileEntry& found, int) {
            if (counted == kFolderEntryLimit) return FolderWalk::Step::stop;
            ++counted;
            if (found.device != entry->device) return FolderWalk::Step::skipDescendants;  // a mount point
            if (found.isRegularFile()) total.add(found.logicalSize);
            return FolderWalk::Step::proceed;
        },
        stop);
    return total.value();
}

QList<PrivacyItem> scan(const Progress& progress, std::stop_token stop) {
    const JunkContext context(Environment::current(), std::move(stop));
    QList<PrivacyItem> items;
    QStringList taken;  // every place measured, with its companions
    for (const Row& row : rows(context.locations)) {
        if (context.stopped()) break;
        if (row.label && progress) progress(QString::fromUtf8(row.label));
        std::optional<PrivacyItem> item = measure(row, context);
        if (!item) continue;
        // A place inside another one, or holding one (an XDG folder set to
        // another's place), would count and move the same bytes twice: the
        // first one in table order stays.
        QStringList paths{item->path};
        paths.append(item->companionPaths);
        for (QString& path : paths) path = PathRules::standardizingPath(path);
        const bool nested = std::any_of(paths.begin(), paths.end(), [&](const QString& path) {
            return std::any_of(taken.begin(), taken.end(), [&](const QString& t) { return overlaps(path, t); });
        });
        if (nested) continue;
        taken.append(paths);
        items.append(std::move(*item));
    }
    items.removeIf([](const PrivacyItem& item) { return item.size < kMinimumBytes; });
    std::stable_sort(items.begin(), items.end(),
                     [](const PrivacyItem& a, const PrivacyItem& b) { return a.size > b.size; });
    return items;
}

}  // namespace tarnwick::PrivacyService
