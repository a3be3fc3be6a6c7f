#include "models/InsightsBuilder.h"

#include "models/ScanNode.h"
#include "platform/Environment.h"
#include "platform/PathCodec.h"
#include "support/Saturating.h"
#include "support/PathRules.h"

#include <algorithm>
#include <array>
#include <utility>

namespace tarnwick {

namespace {

enum KnownKind { images, video, audio, archives, documents, source, apps, other, knownKindCount };

constexpr std::array<const char16_t*, knownKindCount> kKnownKindNames = {
    u"images", u"video", u"audio", u"archives", u"documents", u"source", u"apps", u"other"};

QString knownKindName(int kind) {
    return QString::fromRawData(reinterpret_cast<const QChar*>(kKnownKindNames[kind]),
                                static_cast<qsizetype>(std::char_traits<char16_t>::length(kKnownKindNames[kind])));
}

struct ExtensionKind {
    std::string_view extension;
    int kind;
};

// The table of extensions, plus each kind's own name: a file whose extension
// happens to spell a kind name ("x.images") counts under that kind, as the
// totals are kept by kind name.
constexpr auto kExtensionKinds = [] {
    std::array<ExtensionKind, 65> table = {{
        {"jpg", images}, {"jpeg", images}, {"png", images}, {"gif", images}, {"heic", images},
        {"webp", images}, {"tif", images}, {"tiff", images}, {"bmp", images},
        {"mp4", video}, {"mov", video}, {"m4v", video}, {"avi", video}, {"mkv", video}, {"webm", video},
        {"mp3", audio}, {"wav", audio}, {"aac", audio}, {"m4a", audio}, {"flac", audio}, {"aiff", audio},
        {"zip", archives}, {"dmg", archives}, {"pkg", archives}, {"gz", archives}, {"tar", archives},
        {"7z", archives}, {"rar", archives}, {"xz", archives},
        {"pdf", documents}, {"doc", documents}, {"docx", documents}, {"xls", documents},
        {"xlsx", documents}, {"ppt", documents}, {"pptx", documents}, {"txt", documents},
        {"rtf", documents}, {"pages", documents}, {"numbers", documents}, {"key", documents},
        {"swift", source}, {"m", source}, {"h", source}, {"hpp", source}, {"cpp", source},
        {"c", source}, {"js", source}, {"ts", source}, {"tsx", source}, {"jsx", source},
        {"py", source}, {"go", source}, {"rs", source}, {"java", source}, {"kt", source},
        {"app", apps},
        {"images", images}, {"video", video}, {"audio", audio}, {"archives", archives},
        {"documents", documents}, {"source", source}, {"apps", apps}, {"other", other},
    }};
    std::ranges::sort(table, {}, &ExtensionKind::extension);
    return table;
}();

// The kind of a lowercased extension, or -1 when it is a kind of its own.
int knownKindOf(std::string_view lowerExtension) {
    if (lowerExtension.empty()) return other;
    const auto it = std::ranges::lower_bound(kExtensionKinds, lowerExtension, {}, &ExtensionKind::extension);
    return it != kExtensionKinds.end() && it->extension == lowerExtension ? it->kind : -1;
}

// The extension of a UTF-8 file name by the same rule as PathRules::pathExtension:
// the text after the last period, none when the name starts or ends with it.
std::string_view extensionOf(std::string_view name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) return {};
    return name.substr(dot + 1);
}

constexpr qint64 kDistantPastMs = -62135769600000;  // FileRecord::distantPast()

// Heap orders: "a stands before b" in the finished list. The heap's top is the
// record that stands last, the first to leave a full list.
template <typename E>
bool largerFirst(const E& a, const E& b) {
    return a.key > b.key || (a.key == b.key && a.position < b.position);
}
template <typename E>
bool olderFirst(const E& a, const E& b) {
    return a.key < b.key || (a.key == b.key && a.position < b.position);
}

QString joined(const QString& folder, const QString& name) {
    if (folder.isEmpty()) return name;
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

}  // namespace

QString InsightsBuilder::normalizeExtension(const QString& name) {
    const QString extension = PathRules::pathExtension(name).toLower();
    const int kind = knownKindOf(PathCodec::encode(extension).toStdString());
    return kind >= 0 ? knownKindName(kind) : extension;
}

int InsightsBuilder::slotOf(std::string_view lowerExtension) {
    const int known = knownKindOf(lowerExtension);
    if (known >= 0) {
        int& slot = knownSlots_[known];
        if (slot < 0) {
            slot = static_cast<int>(kinds_.size());
            kinds_.push_back(Kind{knownKindName(known), known, {}});
        }
        return slot;
    }
    auto it = otherSlots_.find(lowerExtension);
    if (it == otherSlots_.end()) {
        it = otherSlots_.emplace(std::string(lowerExtension), static_cast<int>(kinds_.size())).first;
        kinds_.push_back(Kind{PathCodec::decode(lowerExtension), -1, std::string(lowerExtension)});
    }
    return it->second;
}

int InsightsBuilder::slotOf(const Kind& kind) {
    // A named kind's own name is in the table of extensions.
    if (kind.known >= 0) return slotOf(std::string_view(PathCodec::encode(kind.name).toStdString()));
    return slotOf(std::string_view(kind.key));
}

int InsightsBuilder::countKind(std::string_view nameBytes, qint64 size) {
    const std::string_view extension = extensionOf(nameBytes);
    char buffer[64];
    std::string_view lower;
    std::string fallback;
    const bool ascii = std::ranges::all_of(extension, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii && extension.size() <= sizeof buffer) {
        for (size_t i = 0; i < extension.size(); ++i) {
            const char c = extension[i];
            buffer[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        }
        lower = std::string_view(buffer, extension.size());
    } else {
        // Bytes that are not UTF-8 stay escaped through the lowercasing.
        fallback = PathCodec::encode(PathCodec::decode(extension).toLower()).toStdString();
        lower = fallback;
    }
    const int slot = slotOf(lower);
    Kind& kind = kinds_[slot];
    kind.bytes = Saturating::add(kind.bytes, size);
    kind.count += 1;
    return slot;
}

void InsightsBuilder::admit(const FileRecord& record, const WalkPosition& position, qint64 modifiedMs,
                            bool toLargest, bool toOldest) {
    auto push = [](std::vector<Entry>& heap, qint64 cap, Entry item, auto before) {
        if (heap.size() >= static_cast<quint64>(cap)) {
            std::pop_heap(heap.begin(), heap.end(), before);
            heap.back() = std::move(item);
        } else {
            heap.push_back(std::move(item));
        }
        std::push_heap(heap.begin(), heap.end(), before);
    };
    if (toLargest) push(largest_, largestCap, Entry{record, record.size, position}, largerFirst<Entry>);
    if (toOldest) push(oldest_, oldestCap, Entry{record, modifiedMs, position}, olderFirst<Entry>);
}

template <typename MakeText, typename MakePosition>
void InsightsBuilder::place(int kindSlot, qint64 size, qint64 modifiedMs, MakeText makeText,
                            MakePosition makePosition) {
    std::optional<WalkPosition> position;
    auto positionOf = [&]() -> const WalkPosition& {
        if (!position) position = makePosition();
        return *position;
    };
    // A full list takes a newcomer only when it beats the record standing
    // last; on an exact tie the one earlier in the walk stands first.
    auto admits = [&](const std::vector<Entry>& heap, qint64 cap, qint64 key, bool larger) {
        if (heap.size() < static_cast<quint64>(cap)) return true;
        const Entry& last = heap.front();
        if (key != last.key) return larger ? key > last.key : key < last.key;
        return positionOf() < last.position;
    };
    const bool toLargest = size >= largestMin && largestCap > 0 && admits(largest_, largestCap, size, true);
    bool toOldest = size >= oldestMinSize && oldestCap > 0 && admits(oldest_, oldestCap, modifiedMs, false);
    if (toOldest) {
        const qint64 nowMs = nowMSecs ? *nowMSecs : Environment::current().now().toMSecsSinceEpoch();
        toOldest = (static_cast<double>(nowMs) - static_cast<double>(modifiedMs)) / 1000.0 >= oldestMinAge;
    }
    if (!toLargest && !toOldest) return;

    auto [name, path] = makeText();
    const FileRecord record{ScanNode::makeId(), std::move(name), std::move(path), size,
                            QDateTime::fromMSecsSinceEpoch(modifiedMs, Qt::UTC), kinds_[kindSlot].name};
    admit(record, positionOf(), modifiedMs, toLargest, toOldest);
}

void InsightsBuilder::consider(const QString& name, const QString& path, qint64 size,
                               std::optional<QDateTime> modified) {
    if (size < 1) return;
    ++fileCount_;
    totalFileBytes_ = Saturating::add(totalFileBytes_, size);
    const QByteArray extension = PathCodec::encode(PathRules::pathExtension(name).toLower());
    const int slot = slotOf(std::string_view(extension.constData(), static_cast<size_t>(extension.size())));
    Kind& kind = kinds_[slot];
    kind.bytes = Saturating::add(kind.bytes, size);
    kind.count += 1;
    const qint64 modifiedMs = modified && modified->isValid() ? modified->toMSecsSinceEpoch() : kDistantPastMs;
    const quint64 order = offered_++;
    place(slot, size, modifiedMs, [&] { return std::pair{name, path}; }, [order] { return WalkPosition{order}; });
}

void InsightsBuilder::consider(std::string_view nameBytes, const QString& folderPath, qint64 size,
                               std::optional<qint64> modifiedMSecsSinceEpoch) {
    struct InFolder final : FileOrigin {
        const QString& folder;
        quint64 order;
        InFolder(const QString& folder, quint64 order) : folder(folder), order(order) {}
        QString folderPath() const override { return folder; }
        WalkPosition walkPosition() const override { return {order}; }
    };
    if (size < 1) return;
    consider(nameBytes, size, modifiedMSecsSinceEpoch, InFolder(folderPath, offered_++));
}

void InsightsBuilder::consider(std::string_view nameBytes, qint64 size, std::optional<qint64> modifiedMSecsSinceEpoch,
                               const FileOrigin& origin) {
    if (size < 1) return;
    ++fileCount_;
    totalFileBytes_ = Saturating::add(totalFileBytes_, size);
    const int slot = countKind(nameBytes, size);
    place(
        slot, size, modifiedMSecsSinceEpoch.value_or(kDistantPastMs),
        [&] {
            QString name = PathCodec::decode(nameBytes);
            QString path = joined(origin.folderPath(), name);
            return std::pair{std::move(name), std::move(path)};
        },
        [&] { return origin.walkPosition(); });
}

void InsightsBuilder::merge(const InsightsBuilder& other) {
    fileCount_ += other.fileCount_;
    totalFileBytes_ = Saturating::add(totalFileBytes_, other.totalFileBytes_);
    for (const Kind& theirs : other.kinds_) {
        Kind& ours = kinds_[slotOf(theirs)];
        ours.bytes = Saturating::add(ours.bytes, theirs.bytes);
        ours.count += theirs.count;
    }
    auto merged = [](std::vector<Entry>& heap, qint64 cap, const std::vector<Entry>& from, auto before) {
        for (const Entry& entry : from) {
            if (heap.size() >= static_cast<quint64>(cap)) {
                if (!before(entry, heap.front())) continue;
                std::pop_heap(heap.begin(), heap.end(), before);
                heap.back() = entry;
            } else {
                heap.push_back(entry);
            }
            std::push_heap(heap.begin(), heap.end(), before);
        }
    };
    if (largestCap > 0) merged(largest_, largestCap, other.largest_, largerFirst<Entry>);
    if (oldestCap > 0) merged(oldest_, oldestCap, other.oldest_, olderFirst<Entry>);
    offered_ = std::max(offered_, other.offered_);
}

ScanInsights InsightsBuilder::finalize() const {
    ScanInsights insights;
    auto finished = [](std::vector<Entry> entries, auto before) {
        std::sort(entries.begin(), entries.end(), before);
        QList<FileRecord> list;
        list.reserve(static_cast<qsizetype>(entries.size()));
        for (Entry& entry : entries) list.append(std::move(entry.record));
        return list;
    };
    insights.largest = finished(largest_, largerFirst<Entry>);
    insights.oldest = finished(oldest_, olderFirst<Entry>);

    std::vector<TypeBucket> buckets;
    buckets.reserve(kinds_.size());
    for (const Kind& kind : kinds_) buckets.push_back(TypeBucket{kind.name, kind.bytes, kind.count});
    std::sort(buckets.begin(), buckets.end(), [](const TypeBucket& a, const TypeBucket& b) {
        return a.size > b.size || (a.size == b.size && a.name < b.name);
    });
    if (buckets.size() > kMaxTypes) buckets.resize(kMaxTypes);
    insights.types = QList<TypeBucket>(buckets.begin(), buckets.end());
    insights.fileCount = fileCount_;
    insights.totalFileBytes = totalFileBytes_;
    return insights;
}

}  // namespace tarnwick
