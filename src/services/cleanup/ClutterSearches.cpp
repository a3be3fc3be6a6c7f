#include "services/cleanup/ClutterSearches.h"

#include "platform/FileEntry.h"
#include "platform/FileIdentity.h"
#include "platform/FolderWalk.h"
#include "platform/WalkBoundary.h"
#include "services/cleanup/DuplicateFinder.h"
#include "services/cleanup/ImageFingerprint.h"
#include "services/cleanup/WholeFolders.h"
#include "support/DateStyleFormatter.h"
#include "support/PathRules.h"
#include "support/Saturating.h"

#include <QSet>

#include <algorithm>
#include <functional>
#include <limits>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace tarnwick::ClutterService {

namespace {

using Kind = ClutterItem::Kind;
using Step = FolderWalk::Step;

constexpr qint64 kDayMSecs = 86400LL * 1000;

constexpr int kSizeOfEntries = 12000;
// Said of a folder larger than its measuring budget: it moves whole, and holds more.
const QString kMeasuredInPart = QStringLiteral(" \u00B7 measured in part");

constexpr qint64 kTrashMinimum = 100000;

constexpr qint64 kDownloadAgeDays = 30;
constexpr qint64 kDownloadMinimum = 2000000;

constexpr qint64 kScreenshotAgeDays = 14;
constexpr qint64 kScreenshotMinimum = 20000;

constexpr qint64 kMailMinimum = 1000000;

constexpr int kDuplicateEntriesPerFolder = 8000;
constexpr qint64 kDuplicateMinimum = 2000000;
constexpr size_t kDuplicatesReadPerSize = 10;
constexpr qsizetype kDuplicateItems = 40;

constexpr int kImageEntriesPerFolder = 4000;
constexpr size_t kImagesHeld = 120;
constexpr qint64 kImageAbove = 120000;   // bytes, exclusive
constexpr qint64 kImageBelow = 12000000; // bytes, exclusive
constexpr qsizetype kImageItems = 25;

constexpr int kLargeEntriesPerFolder = 10000;
constexpr qint64 kLargeMinimum = 100000000;
constexpr qint64 kLargeAgeDays = 180;
constexpr qsizetype kLargeItems = 40;

ClutterItem makeItem(const QString& title, const QString& path, const QString& detail, qint64 size, Kind kind,
                     bool selected = false) {
    ClutterItem item;
    item.title = title;
    item.path = path;
    item.detail = detail;
    item.size = size;
    item.kind = kind;
    item.isSelected = selected;
    item.isSafeDefault = selected;
    item.seen = FileIdentity::of(path);
    return item;
}

// A program (an AppImage, or any file with an execute bit) may be in daily
// use from where it was downloaded: never pre-selected.
bool isProgram(const FileEntry& entry) {
    if (PathRules::pathExtension(entry.name).toLower() == QLatin1String("appimage")) return true;
    return entry.isRegularFile() && (entry.permissions & 0111) != 0;
}

// The record of a trashed file: "<trash>/info/<name>.trashinfo" beside the
// "<trash>/files" folder that holds it. Empty for a trash of another layout.
QString trashRecordOf(const QString& trashFiles, const QString& name) {
    if (PathRules::lastPathComponent(trashFiles) != QLatin1String("files")) return QString();
    const QString trash = PathRules::deletingLastPathComponent(trashFiles);
    return trash + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo");
}

QString tilde(const QString& path) {
    return PathRules::abbreviatingWithTilde(path);
}

// Entries modified before this time are older than the given number of days.
qint64 cutoff(const JunkContext& context, qint64 days) {
    return context.now.toMSecsSinceEpoch() - days * kDayMSecs;
}

QString dateOf(const FileEntry& entry) {
    return DateStyleFormatter::abbreviatedDate(entry.modified().toLocalTime().date());
}

// Installers and archives, and this platform's package files.
const QSet<QString>& installerExtensions() {
    static const QSet<QString> extensions = {
        QStringLiteral("dmg"), QStringLiteral("pkg"), QStringLiteral("zip"), QStringLiteral("iso"),
        QStringLiteral("tar"), QStringLiteral("gz"),  QStringLiteral("7z"),  QStringLiteral("rar"),
        QStringLiteral("xz"),  QStringLiteral("ipa"), QStringLiteral("deb"), QStringLiteral("rpm"),
        QStringLiteral("appimage"),
    };
    return extensions;
}

const QSet<QString>& imageExtensions() {
    static const QSet<QString> extensions = {
        QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("png"), QStringLiteral("webp"),
    };
    return extensions;
}

bool isScreenshotName(const QString& name) {
    const QString lowered = name.toLower();
    return lowered.startsWith(QLatin1String("screen shot")) || lowered.contains(QLatin1String("screenshot"));
}

// How a search takes up the entries of its folders.
struct Gather {
    bool below = true;    // false: each folder's own entries only
    bool hidden = false;  // entries named ".*" too
    // Every entry met counts, whatever it is and whether it is taken or not.
    int entriesPerFolder = std::numeric_limits<int>::max();
    // The folder is the Trash, itself one of the folders that move whole:
    // it is looked into all the same, and each entry of it is taken whole,
    // whatever it is.
    bool wholeEntries = false;
};

// The one way the searches take up entries, so that none of them offers
// what lies in a folder that moves whole (WholeFolders), nor keeps a copy
// there: each folder in turn, none that is or lies in such a folder, none
// entered below, and no mount point taken or entered. take sees the other
// entries in walk order; its stop ends the whole gathering.
void gather(const QStringList& folders, const JunkContext& context, const Gather& how,
            const std::function<Step(const FileEntry& entry)>& take) {
    const WholeFolders& whole = context.wholeFolders;
    bool ended = false;
    for (const QString& named : folders) {
        if (ended || context.stopped()) return;
        const QString folder = PathRules::standardizingPath(named);
        if (folder.isEmpty() || (!how.wholeEntries && whole.covers(folder))) continue;
        const WalkBoundary mounts = whole.boundaryOf(folder);
        FolderWalk::Options options;
        options.includeHidden = how.hidden;
        int looked = 0;
        FolderWalk::run(
            folder, options,
            [&](const FileEntry& entry, int) {
                if (looked >= how.entriesPerFolder) return Step::stop;
                ++looked;
                if (mounts.isMountPointBelow(entry.path)) return Step::skipDescendants;
                if (!how.wholeEntries && whole.isWholeFolder(entry)) return Step::skipDescendants;
                const Step step = take(entry);
                if (step == Step::stop) ended = true;
                return step == Step::proceed && !how.below ? Step::skipDescendants : step;
            },
            context.stop);
    }
}

}  // namespace

qint64 sizeOf(const QString& path, const std::stop_token& stop, bool* measuredInPart) {
    if (measuredInPart) *measuredInPart = false;
    const std::optional<FileEntry> place = FileEntry::at(path);
    if (!place) return 0;
    if (!place->isDirectory()) return place->allocatedSize > 0 ? place->allocatedSize : place->logicalSize;
    Saturating::Total total;
    int looked = 0;
    FolderWalk::Options options;
    options.includeHidden = true;
    FolderWalk::run(
        path, options,
        [&](const FileEntry& entry, int) {
            if (looked >= kSizeOfEntries) {
                if (measuredInPart) *measuredInPart = true;
                return Step::stop;
            }
            ++looked;
            if (entry.device != place->device) return Step::skipDescendants;  // a mount point
            if (entry.isRegularFile()) total.add(entry.logicalSize);
            return Step::proceed;
        },
        stop);
    return total.value();
}

QList<ClutterItem> trashItems(const QString& trash, const JunkContext& context) {
    QList<ClutterItem> items;
    const QString detail = tilde(trash);
    Gather how;
    how.below = false;
    how.hidden = true;
    how.wholeEntries = true;
    gather({trash}, context, how, [&](const FileEntry& entry) {
        if (context.stopped()) return Step::stop;
        bool partly = false;
        const qint64 size = sizeOf(entry.path, context.stop, &partly);
        if (size <= kTrashMinimum) return Step::proceed;
        ClutterItem item = makeItem(entry.name, entry.path, partly ? detail + kMeasuredInPart : detail, size,
                                    Kind::trash, true);
        const QString record = trashRecordOf(trash, entry.name);
        if (!record.isEmpty()) {
            item.companionPaths.append(record);
            if (const std::optional<FileIdentity> seen = FileIdentity::of(record)) item.companionsSeen.insert(record, *seen);
        }
        items.append(std::move(item));
        return Step::proceed;
    });
    return items;
}

QList<ClutterItem> oldDownloads(const QString& folder, const JunkContext& context) {
    QList<ClutterItem> items;
    const qint64 before = cutoff(context, kDownloadAgeDays);
    Gather how;
    how.below = false;
    gather({folder}, context, how, [&](const FileEntry& entry) {
        if (!installerExtensions().contains(PathRules::pathExtension(entry.name).toLower())) return Step::proceed;
        if (entry.modifiedMSecs >= before) return Step::proceed;
        const std::optional<qint64> size = entry.totalAllocatedSize() ? entry.totalAllocatedSize() : entry.fileSize();
        if (!size || *size <= kDownloadMinimum) return Step::proceed;
        items.append(makeItem(entry.name, entry.path, QStringLiteral("Not touched since ") + dateOf(entry), *size,
                              Kind::downloads, !isProgram(entry)));
        return Step::proceed;
    });
    return items;
}

QList<ClutterItem> screenshots(const QStringList& folders, const JunkContext& context) {
    QList<ClutterItem> items;
    const qint64 before = cutoff(context, kScreenshotAgeDays);
    Gather how;
    how.below = false;
    gather(folders, context, how, [&](const FileEntry& entry) {
        if (!isScreenshotName(entry.name) || entry.modifiedMSecs >= before) return Step::proceed;
        const std::optional<qint64> size = entry.fileSize();
        if (!size || *size <= kScreenshotMinimum) return Step::proceed;
        const QString detail = tilde(PathRules::deletingLastPathComponent(entry.path));
        items.append(makeItem(entry.name, entry.path, detail, *size, Kind::screenshots));
        return Step::proceed;
    });
    return items;
}

QList<ClutterItem> mailDownloads(const QString& folder, const JunkContext& context) {
    if (!FileEntry::at(folder)) return {};
    // The folder itself is the finding: gathered as the others are, it is none
    // inside a folder that moves whole, nor a mount point.
    const WholeFolders& whole = context.wholeFolders;
    if (whole.covers(folder) || whole.boundaryOf(folder).rootIsMountPoint()) return {};
    bool partly = false;
    const qint64 size = sizeOf(folder, context.stop, &partly);
    if (size <= kMailMinimum) return {};
    const QString detail = QStringLiteral("~/Library/Containers/com.apple.mail/\u2026/Mail Downloads");
    return {makeItem(QStringLiteral("Mail Downloads"), folder, partly ? detail + kMeasuredInPart : detail, size,
                     Kind::mailDownloads)};
}

QList<ClutterItem> duplicates(const QStringList& folders, const JunkContext& context) {
    QList<ClutterItem> items;
    DuplicateFinder finder;
    Gather how;
    how.entriesPerFolder = kDuplicateEntriesPerFolder;
    gather(folders, context, how, [&](const FileEntry& entry) {
        // A sparse (or compressed) file frees no more than it takes on disk.
        const qint64 size = std::min(entry.logicalSize, entry.allocatedSize);
        if (entry.isRegularFile() && size >= kDuplicateMinimum) finder.add(entry, size);
        return Step::proceed;
    });
    DuplicateFinder::Options options;
    options.readPerSize = kDuplicatesReadPerSize;
    options.goOn = [&] { return items.size() < kDuplicateItems; };
    finder.find(
        options,
        [&](const DuplicateFinder::Group& group) {
            // A copy is offered only with the file that stays, as it is now.
            const std::optional<FileIdentity> kept = FileIdentity::of(group.kept->path);
            if (!kept) return;
            const QString detail = QStringLiteral("Duplicate of ") + tilde(group.kept->path);
            for (const DuplicateFinder::Candidate* copy : group.copies) {
                ClutterItem item = makeItem(copy->name, copy->path, detail, copy->size, Kind::duplicates);
                item.keptCopy = NamedCopy{group.kept->path, *kept};
                items.append(std::move(item));
            }
        },
        context.stop);
    return items;
}

namespace {

struct Img {
    QString path;
    QString name;
    qint64 size = 0;
    ImageFingerprint print;
};

// The pictures below the folders in walk order, each hashed, until 120 are
// held. Candidates are hashed in batches of as many as are still missing,
// so the pictures held are the first ones that decode, as if hashed one by
// one, while each batch is decoded in parallel.
std::vector<Img> collectImages(const QStringList& folders, const JunkContext& context) {
    std::vector<Img> images;
    std::vector<FileEntry> pending;
    std::set<std::pair<quint64, quint64>> files;  // a picture under two names is one picture
    auto hashPending = [&] {
        QStringList paths;
        for (const FileEntry& entry : pending) paths.append(entry.path);
        const auto prints = ImageFingerprint::ofFiles(paths, kImageBelow, context.stop);
        for (size_t i = 0; i < pending.size() && images.size() < kImagesHeld; ++i) {
            if (prints[i]) images.push_back(Img{pending[i].path, pending[i].name, pending[i].logicalSize, *prints[i]});
        }
        pending.clear();
    };
    Gather how;
    how.entriesPerFolder = kImageEntriesPerFolder;
    gather(folders, context, how, [&](const FileEntry& entry) {
        if (!entry.isRegularFile() || entry.logicalSize <= kImageAbove || entry.logicalSize >= kImageBelow) {
            return Step::proceed;
        }
        if (!imageExtensions().contains(PathRules::pathExtension(entry.name).toLower())) return Step::proceed;
        if (!files.insert({entry.device, entry.inode}).second) return Step::proceed;
        pending.push_back(entry);
        if (pending.size() + images.size() >= kImagesHeld) {
            hashPending();
            if (images.size() >= kImagesHeld) return Step::stop;
        }
        return Step::proceed;
    });
    hashPending();
    return images;
}

}  // namespace

QList<ClutterItem> similarImages(const QStringList& folders, const JunkContext& context) {
    QList<ClutterItem> items;
    const std::vector<Img> images = collectImages(folders, context);
    std::vector<ImageFingerprint> prints;
    for (const Img& image : images) prints.push_back(image.print);
    const std::vector<bool> similar = ImageFingerprint::similarPairs(prints, context.stop);
    std::vector<bool> used(images.size(), false);
    for (size_t i = 0; i < images.size(); ++i) {
        if (used[i]) continue;
        // Later pictures are compared with this one only, never with each other.
        std::vector<size_t> group{i};
        for (size_t j = i + 1; j < images.size(); ++j) {
            if (!used[j] && similar[i * images.size() + j]) group.push_back(j);
        }
        if (group.size() < 2) continue;
        // The best picture stays: a whole one, of the most pixels, then the
        // most bytes. A damaged picture is never the best (its header's
        // pixels are not all there), but may go as a copy of a whole one.
        std::stable_sort(group.begin(), group.end(), [&](size_t a, size_t b) {
            const ImageFingerprint& printA = images[a].print;
            const ImageFingerprint& printB = images[b].print;
            if (printA.damaged != printB.damaged) return printB.damaged;
            const qint64 pixelsA = printA.pixels();
            const qint64 pixelsB = printB.pixels();
            return pixelsA != pixelsB ? pixelsA > pixelsB : images[a].size > images[b].size;
        });
        if (images[group.front()].print.damaged) continue;  // no whole picture among them to keep
        const Img& kept = images[group.front()];
        used[group.front()] = true;
        const std::optional<FileIdentity> keptSeen = FileIdentity::of(kept.path);
        const QString detail = QStringLiteral("Similar to ") + tilde(kept.path);
        for (size_t k = 1; k < group.size(); ++k) {
            const Img& other = images[group[k]];
            used[group[k]] = true;
            if (!keptSeen) continue;  // the picture that stays is gone: none of them is offered
            ClutterItem item = makeItem(other.name, other.path, detail, other.size, Kind::similarImages);
            item.keptCopy = NamedCopy{kept.path, *keptSeen};
            items.append(std::move(item));
            if (items.size() >= kImageItems) return items;
        }
    }
    return items;
}

QList<ClutterItem> largeOld(const QStringList& folders, const JunkContext& context) {
    QList<ClutterItem> items;
    QSet<QString> found;  // folders may lie inside one another
    const qint64 before = cutoff(context, kLargeAgeDays);
    Gather how;
    how.entriesPerFolder = kLargeEntriesPerFolder;
    gather(folders, context, how, [&](const FileEntry& entry) {
        if (!entry.isRegularFile() || entry.logicalSize < kLargeMinimum || entry.modifiedMSecs >= before) {
            return Step::proceed;
        }
        if (found.contains(entry.path)) return Step::proceed;
        found.insert(entry.path);
        items.append(makeItem(entry.name, entry.path, QStringLiteral("Last modified ") + dateOf(entry),
                              entry.logicalSize, Kind::largeOld));
        return items.size() >= kLargeItems ? Step::stop : Step::proceed;
    });
    return items;
}

}  // namespace tarnwick::ClutterService
