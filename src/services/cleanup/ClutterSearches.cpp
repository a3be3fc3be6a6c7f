#include "services/cleanup/ClutterSearches.h"

#include "platform/FileEntry.h"
#include "platform/FolderListing.h"
#include "platform/FolderWalk.h"
#include "services/cleanup/DuplicateFinder.h"
#include "services/cleanup/ImageFingerprint.h"
#include "support/DateStyleFormatter.h"
#include "support/PathRules.h"
#include "support/Saturating.h"

#include <QSet>

#include <algorithm>
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
    return item;
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

}  // namespace

qint64 sizeOf(const QString& path, const std::stop_token& stop) {
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
            if (looked >= kSizeOfEntries) return Step::stop;
            ++looked;
            if (entry.isRegularFile()) total.add(entry.logicalSize);
            return Step::proceed;
        },
        stop);
    return total.value();
}

QList<ClutterItem> trashItems(const QString& trash, const JunkContext& context) {
    QList<ClutterItem> items;
    const auto listing = FolderListing::list(trash, FolderListing::Hidden::include);
    if (!listing) return items;
    const QString detail = tilde(trash);
    for (const FileEntry& entry : *listing) {
        if (context.stopped()) break;
        const qint64 size = sizeOf(entry.path, context.stop);
        if (size > kTrashMinimum) items.append(makeItem(entry.name, entry.path, detail, size, Kind::trash, true));
    }
    return items;
}

QList<ClutterItem> oldDownloads(const QString& folder, const JunkContext& context) {
    QList<ClutterItem> items;
    const auto listing = FolderListing::list(folder, FolderListing::Hidden::skip);
    if (!listing) return items;
    const qint64 before = cutoff(context, kDownloadAgeDays);
    for (const FileEntry& entry : *listing) {
        if (!installerExtensions().contains(PathRules::pathExtension(entry.name).toLower())) continue;
        if (entry.modifiedMSecs >= before) continue;
        const std::optional<qint64> size = entry.totalAllocatedSize() ? entry.totalAllocatedSize() : entry.fileSize();
        if (!size || *size <= kDownloadMinimum) continue;
        items.append(makeItem(entry.name, entry.path, QStringLiteral("Not touched since ") + dateOf(entry), *size,
                              Kind::downloads, true));
    }
    return items;
}

QList<ClutterItem> screenshots(const QStringList& folders, const JunkContext& context) {
    QList<ClutterItem> items;
    const qint64 before = cutoff(context, kScreenshotAgeDays);
    for (const QString& folder : folders) {
        const auto listing = FolderListing::list(folder, FolderListing::Hidden::skip);
        if (!listing) continue;
        const QString detail = tilde(folder);
        for (const FileEntry& entry : *listing) {
            if (!isScreenshotName(entry.name) || entry.modifiedMSecs >= before) continue;
            const std::optional<qint64> size = entry.fileSize();
            if (!size || *size <= kScreenshotMinimum) continue;
            items.append(makeItem(entry.name, entry.path, detail, *size, Kind::screenshots));
        }
    }
    return items;
}

QList<ClutterItem> mailDownloads(const QString& folder, const JunkContext& context) {
    if (!FileEntry::at(folder)) return {};
    const qint64 size = sizeOf(folder, context.stop);
    if (size <= kMailMinimum) return {};
    return {makeItem(QStringLiteral("Mail Downloads"), folder,
                     QStringLiteral("~/Library/Containers/com.apple.mail/\u2026/Mail Downloads"), size,
                     Kind::mailDownloads)};
}

QList<ClutterItem> duplicates(const QStringList& folders, const JunkContext& context) {
    QList<ClutterItem> items;
    DuplicateFinder finder;
    for (const QString& folder : folders) {
        if (context.stopped()) break;
        int looked = 0;
        FolderWalk::run(
            folder, FolderWalk::Options{},
            [&](const FileEntry& entry, int) {
                if (looked >= kDuplicateEntriesPerFolder) return Step::stop;
                ++looked;
                // A sparse (or compressed) file frees no more than it takes on disk.
                const qint64 size = std::min(entry.logicalSize, entry.allocatedSize);
                if (entry.isRegularFile() && size >= kDuplicateMinimum) finder.add(entry, size);
                return Step::proceed;
            },
            context.stop);
    }
    DuplicateFinder::Options options;
    options.readPerSize = kDuplicatesReadPerSize;
    options.goOn = [&] { return items.size() < kDuplicateItems; };
    finder.find(
        options,
        [&](const DuplicateFinder::Group& group) {
            const QString detail = QStringLiteral("Duplicate of ") + tilde(group.kept->path);
            for (const DuplicateFinder::Candidate* copy : group.copies) {
                items.append(makeItem(copy->name, copy->path, detail, copy->size, Kind::duplicates));
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
    for (const QString& folder : folders) {
        if (images.size() >= kImagesHeld || context.stopped()) break;
        int looked = 0;
        FolderWalk::run(
            folder, FolderWalk::Options{},
            [&](const FileEntry& entry, int) {
                if (looked >= kImageEntriesPerFolder) return Step::stop;
                ++looked;
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
            },
            context.stop);
        hashPending();
    }
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
        std::stable_sort(group.begin(), group.end(),
                         [&](size_t a, size_t b) { return images[a].size > images[b].size; });
        const Img& kept = images[group.front()];
        used[group.front()] = true;
        const QString detail = QStringLiteral("Similar to ") + tilde(kept.path);
        for (size_t k = 1; k < group.size(); ++k) {
            const Img& other = images[group[k]];
            used[group[k]] = true;
            items.append(makeItem(other.name, other.path, detail, other.size, Kind::similarImages));
            if (items.size() >= kImageItems) return items;
        }
    }
    return items;
}

QList<ClutterItem> largeOld(const QStringList& folders, const JunkContext& context) {
    QList<ClutterItem> items;
    QSet<QString> found;  // folders may lie inside one another
    const qint64 before = cutoff(context, kLargeAgeDays);
    for (const QString& folder : folders) {
        if (items.size() >= kLargeItems || context.stopped()) break;
        int looked = 0;
        FolderWalk::run(
            folder, FolderWalk::Options{},
            [&](const FileEntry& entry, int) {
                if (looked >= kLargeEntriesPerFolder || items.size() >= kLargeItems) return Step::stop;
                ++looked;
                if (!entry.isRegularFile() || entry.logicalSize < kLargeMinimum || entry.modifiedMSecs >= before) {
                    return Step::proceed;
                }
                if (found.contains(entry.path)) return Step::proceed;
                found.insert(entry.path);
                items.append(makeItem(entry.name, entry.path, QStringLiteral("Last modified ") + dateOf(entry),
                                      entry.logicalSize, Kind::largeOld));
                return Step::proceed;
            },
            context.stop);
    }
    return items;
}

}  // namespace tarnwick::ClutterService
