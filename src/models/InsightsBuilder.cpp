#include "models/InsightsBuilder.h"

#include "platform/Environment.h"
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

}  // namespace

QString InsightsBuilder::normalizeExtension(const QString& name) {
    const QString extension = PathRules::pathExtension(name).toLower();
    const int kind = knownKindOf(extension.toUtf8().toStdString());
    return kind >= 0 ? knownKindName(kind) : extension;
}

int InsightsBuilder::countKind(std::string_view lowerExtension, qint64 size) {
    int slot;
    const int known = knownKindOf(lowerExtension);
    if (known >= 0) {
        slot = knownSlots_[known];
        if (slot < 0) {
            slot = knownSlots_[known] = static_cast<int>(kinds_.size());
            kinds_.push_back(Kind{knownKindName(known)});
        }
    } else {
        auto it = otherSlots_.find(lowerExtension);
        if (it == otherSlots_.end()) {
            it = otherSlots_.emplace(std::string(lowerExtension), static_cast<int>(kinds_.size())).first;
            kinds_.push_back(Kind{QString::fromUtf8(lowerExtension.data(), static_cast<qsizetype>(lowerExtension.size()))});
        }
        slot = it->second;
    }
    Kind& kind = kinds_[slot];
    kind.bytes += size;
    kind.count += 1;
    return slot;
}

namespace {

// Heap orders: "a stands before b" in the finished list. The heap's top is the
// record that stands last, the first to leave a full list.
bool largerFirst(const auto& a, const auto& b) {
    return a.key > b.key || (a.key == b.key && a.order < b.order);
}
bool olderFirst(const auto& a, const auto& b) {
    return a.key < b.key || (a.key == b.key && a.order < b.order);
}

}  // namespace

template <typename MakeText>
void InsightsBuilder::place(int kindSlot, qint64 size, qint64 modifiedMs, MakeText makeText) {
    const quint64 order = offered_++;
    // A full list takes a newcomer only when it beats the record standing last;
    // on a tie the record offered earlier stays.
    const bool toLargest = size >= largestMin && largestCap > 0 &&
                           (largest_.size() < static_cast<quint64>(largestCap) || size > largest_.front().key);
    bool toOldest = size >= oldestMinSize && oldestCap > 0 &&
                    (oldest_.size() < static_cast<quint64>(oldestCap) || modifiedMs < oldest_.front().key);
    if (toOldest) {
        const qint64 nowMs = Environment::current().now().toMSecsSinceEpoch();
        toOldest = static_cast<double>(nowMs - modifiedMs) / 1000.0 >= oldestMinAge;
    }
    if (!toLargest && !toOldest) return;

    auto [name, path] = makeText();
    FileRecord record{QUuid::createUuid(), std::move(name), std::move(path), size,
                      QDateTime::fromMSecsSinceEpoch(modifiedMs, Qt::UTC), kinds_[kindSlot].name};
    auto push = [](std::vector<Entry>& heap, qint64 cap, Entry entry, auto before) {
        if (heap.size() >= static_cast<quint64>(cap)) {
            std::pop_heap(heap.begin(), heap.end(), before);
            heap.back() = std::move(entry);
        } else {
            heap.push_back(std::move(entry));
        }
        std::push_heap(heap.begin(), heap.end(), before);
    };
    if (toLargest && toOldest) {
        push(largest_, largestCap, Entry{record, size, order}, largerFirst<Entry, Entry>);
        push(oldest_, oldestCap, Entry{std::move(record), modifiedMs, order}, olderFirst<Entry, Entry>);
    } else if (toLargest) {
        push(largest_, largestCap, Entry{std::move(record), size, order}, largerFirst<Entry, Entry>);
    } else {
        push(oldest_, oldestCap, Entry{std::move(record), modifiedMs, order}, olderFirst<Entry, Entry>);
    }
}

void InsightsBuilder::consider(const QString& name, const QString& path, qint64 size,
                               std::optional<QDateTime> modified) {
    if (size < 1) return;
    ++fileCount_;
    totalFileBytes_ += size;
    const QByteArray extension = PathRules::pathExtension(name).toLower().toUtf8();
    const int slot = countKind(std::string_view(extension.constData(), static_cast<size_t>(extension.size())), size);
    const qint64 modifiedMs = modified && modified->isValid() ? modified->toMSecsSinceEpoch() : kDistantPastMs;
    place(slot, size, modifiedMs, [&] { return std::pair{name, path}; });
}

void InsightsBuilder::consider(std::string_view nameUtf8, const QString& folderPath, qint64 size,
                               std::optional<qint64> modifiedMSecsSinceEpoch) {
    if (size < 1) return;
    ++fileCount_;
    totalFileBytes_ += size;

    const std::string_view extension = extensionOf(nameUtf8);
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
        fallback = QString::fromUtf8(extension.data(), static_cast<qsizetype>(extension.size()))
                       .toLower()
                       .toUtf8()
                       .toStdString();
        lower = fallback;
    }
    const int slot = countKind(lower, size);
    place(slot, size, modifiedMSecsSinceEpoch.value_or(kDistantPastMs), [&] {
        const QString name = QString::fromUtf8(nameUtf8.data(), static_cast<qsizetype>(nameUtf8.size()));
        QString path = folderPath;
        if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
        path += name;
        return std::pair{name, path};
    });
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
    insights.largest = finished(largest_, largerFirst<Entry, Entry>);
    insights.oldest = finished(oldest_, olderFirst<Entry, Entry>);

    std::vector<TypeBucket> buckets;
    buckets.reserve(kinds_.size());
    for (const Kind& kind : kinds_) buckets.push_back(TypeBucket{kind.name, kind.bytes, kind.count});
    std::stable_sort(buckets.begin(), buckets.end(),
                     [](const TypeBucket& a, const TypeBucket& b) { return a.size > b.size; });
    if (buckets.size() > kMaxTypes) buckets.resize(kMaxTypes);
    insights.types = QList<TypeBucket>(buckets.begin(), buckets.end());
    insights.fileCount = fileCount_;
    insights.totalFileBytes = totalFileBytes_;
    return insights;
}

}  // namespace tarnwick
