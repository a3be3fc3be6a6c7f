#include "models/SafeBinEntry.h"

#include "support/JsonCoding.h"

#include <cmath>
#include <limits>

namespace tarnwick {

namespace {

const QString* stringField(const FlatJson::Object& object, const char* key) {
    const FlatJson::Value* value = FlatJson::find(object, QLatin1StringView(key));
    return value && value->type == FlatJson::Value::Type::string ? &value->string : nullptr;
}

// The id in upper-case text with hyphens, as JsonCoding::uuidText() writes it,
// without the detour through a QString.
void appendUuid(QByteArray& out, const QUuid& id) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const QByteArray bytes = id.toRfc4122();
    char text[36];
    int at = 0;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text[at++] = '-';
        const auto byte = static_cast<unsigned char>(bytes[i]);
        text[at++] = kHex[byte >> 4];
        text[at++] = kHex[byte & 0xF];
    }
    out.append(text, sizeof text);
}

int hexDigit(char16_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The 36-character hyphenated form, either case (what JsonCoding::uuidFromText
// takes), read without building a QUuid from text.
char16_t unitAt(QStringView text, qsizetype i) { return text[i].unicode(); }
char16_t unitAt(QByteArrayView text, qsizetype i) { return static_cast<unsigned char>(text[i]); }

template <typename Text>
std::optional<QUuid> parseUuid(Text text) {
    if (text.size() != 36) return std::nullopt;
    char bytes[16];
    int at = 0;
    for (qsizetype i = 0; i < 36;) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (unitAt(text, i) != u'-') return std::nullopt;
            ++i;
            continue;
        }
        const int high = hexDigit(unitAt(text, i));
        const int low = hexDigit(unitAt(text, i + 1));
        if (high < 0 || low < 0) return std::nullopt;
        bytes[at++] = char(high << 4 | low);
        i += 2;
    }
    return QUuid::fromRfc4122(QByteArrayView(bytes, 16));
}

void appendRemains(QByteArray& out, const std::optional<SafeBinEntry::Remains>& remains) {
    if (!remains) return;
    out.append(",\"remainsDevice\":");
    FlatJson::appendInteger(out, qint64(remains->device));
    out.append(",\"remainsInode\":");
    FlatJson::appendInteger(out, qint64(remains->inode));
}

// The optional remains keys: both there as non-negative integers, or neither.
bool readRemains(const FlatJson::Object& object, std::optional<SafeBinEntry::Remains>& remains) {
    const FlatJson::Value* device = FlatJson::find(object, QLatin1StringView("remainsDevice"));
    const FlatJson::Value* inode = FlatJson::find(object, QLatin1StringView("remainsInode"));
    if (!device && !inode) return true;
    if (!device || !inode || !device->integer || !inode->integer || *device->integer < 0 || *inode->integer < 0) {
        return false;
    }
    remains = SafeBinEntry::Remains{quint64(*device->integer), quint64(*inode->integer)};
    return true;
}

bool isString(const FlatJson::Value* value) { return value && value->type == FlatJson::Value::Type::string; }

// The "members" array: every member with its three keys typed. With members
// null only checks (for a skimming reader, whose strings are not decoded).
bool readMembers(const FlatJson::Value& value, bool skim, std::vector<SafeBinEntry::Member>* members) {
    if (value.type != FlatJson::Value::Type::nested || !value.raw.startsWith('[')) return false;
    FlatJson::Reader reader(value.raw);
    reader.setSkimming(skim);
    if (!reader.beginArray()) return false;
    FlatJson::Object object;
    while (reader.nextObject(object)) {
        const FlatJson::Value* originalPath = FlatJson::find(object, QLatin1StringView("originalPath"));
        const FlatJson::Value* storedName = FlatJson::find(object, QLatin1StringView("storedName"));
        const FlatJson::Value* size = FlatJson::find(object, QLatin1StringView("size"));
        if (!isString(originalPath) || !isString(storedName) || !size || size->type != FlatJson::Value::Type::number ||
            !size->integer) {
            return false;
        }
        SafeBinEntry::Member member;
        if (!readRemains(object, member.remains)) return false;
        if (members) {
            member.originalPath = originalPath->string;
            member.storedName = storedName->string;
            member.size = *size->integer;
            members->push_back(std::move(member));
        }
    }
    return !reader.failed() && reader.atEnd();
}

}  // namespace

SafeBinEntry SafeBinEntry::create(const QUuid& id, const QString& originalPath, const QString& storedName,
                                  const QString& displayName, qint64 size, const QDateTime& removedAt) {
    SafeBinEntry entry;
    entry.id = id;
    entry.originalPath = originalPath;
    entry.storedName = storedName;
    entry.displayName = displayName;
    entry.size = size;
    entry.removedAt = removedAt;
    return entry;
}

void SafeBinEntry::appendJson(QByteArray& out) const {
    out.append("{\"id\":\"", 7);
    appendUuid(out, id);
    out.append("\",\"originalPath\":", 17);
    FlatJson::appendString(out, originalPath);
    out.append(",\"storedName\":", 14);
    FlatJson::appendString(out, storedName);
    out.append(",\"displayName\":", 15);
    FlatJson::appendString(out, displayName);
    out.append(",\"size\":", 8);
    FlatJson::appendInteger(out, size);
    out.append(",\"removedAt\":", 13);
    FlatJson::appendNumber(out, JsonCoding::dateValue(removedAt));
    if (runningAt > 0) {
        out.append(",\"runningAt\":");
        FlatJson::appendInteger(out, runningAt);
    }
    appendRemains(out, remains);
    if (members) {
        out.append(",\"members\":[");
        bool first = true;
        for (const Member& member : *members) {
            if (!first) out.append(',');
            first = false;
            out.append("{\"originalPath\":", 16);
            FlatJson::appendString(out, member.originalPath);
            out.append(",\"storedName\":", 14);
            FlatJson::appendString(out, member.storedName);
            out.append(",\"size\":", 8);
            FlatJson::appendInteger(out, member.size);
            appendRemains(out, member.remains);
            out.append('}');
        }
        out.append(']');
    }
    out.append('}');
}

std::optional<SafeBinEntry> SafeBinEntry::fromObject(const FlatJson::Object& object) {
    const QString* id = stringField(object, "id");
    const QString* originalPath = stringField(object, "originalPath");
    const QString* storedName = stringField(object, "storedName");
    const QString* displayName = stringField(object, "displayName");
    const FlatJson::Value* size = FlatJson::find(object, QLatin1StringView("size"));
    const FlatJson::Value* removedAt = FlatJson::find(object, QLatin1StringView("removedAt"));
    if (!id || !originalPath || !storedName || !displayName || !size || !removedAt) return std::nullopt;
    if (size->type != FlatJson::Value::Type::number || !size->integer) return std::nullopt;
    if (removedAt->type != FlatJson::Value::Type::number || !std::isfinite(removedAt->number)) return std::nullopt;
    const auto uuid = parseUuid(QStringView(*id));
    const QDateTime date = JsonCoding::dateFromValue(removedAt->number);
    if (!uuid || !date.isValid()) return std::nullopt;
    SafeBinEntry entry = create(*uuid, *originalPath, *storedName, *displayName, *size->integer, date);
    if (!readRemains(object, entry.remains)) return std::nullopt;
    if (const FlatJson::Value* running = FlatJson::find(object, QLatin1StringView("runningAt"))) {
        if (running->type == FlatJson::Value::Type::number && running->integer && *running->integer > 0) {
            entry.runningAt = *running->integer;
        }
    }
    if (const FlatJson::Value* members = FlatJson::find(object, QLatin1StringView("members"))) {
        entry.members.emplace();
        if (!readMembers(*members, false, &*entry.members)) return std::nullopt;
    }
    return entry;
}

QByteArray SafeBinEntry::encodeManifest(const std::vector<SafeBinEntry>& entries) {
    QByteArray data;
    qsizetype estimate = 2;
    for (const SafeBinEntry& entry : entries) {
        estimate += 150 + (entry.originalPath.size() + entry.storedName.size() + entry.displayName.size()) * 2;
    }
    data.reserve(estimate);
    data.append('[');
    bool first = true;
    for (const SafeBinEntry& entry : entries) {
        if (!first) data.append(',');
        first = false;
        entry.appendJson(data);
    }
    data.append(']');
    return data;
}

std::optional<std::vector<SafeBinEntry>> SafeBinEntry::decodeManifest(const QByteArray& data) {
    FlatJson::Reader reader(data);
    if (!reader.beginArray()) return std::nullopt;
    std::vector<SafeBinEntry> entries;
    entries.reserve(size_t(data.size() / 256));  // about one entry in that many bytes
    FlatJson::Object object;
    while (reader.nextObject(object)) {
        auto entry = fromObject(object);
        if (!entry) return std::nullopt;
        entries.push_back(std::move(*entry));
    }
    if (reader.failed() || !reader.atEnd()) return std::nullopt;
    return entries;
}

std::optional<SafeBinEntry::ManifestSummary> SafeBinEntry::summarizeManifest(const QByteArray& data) {
    FlatJson::Reader reader(data);
    reader.setSkimming(true);
    if (!reader.beginArray()) return std::nullopt;
    ManifestSummary summary;
    FlatJson::Object object;
    qint64 previous = std::numeric_limits<qint64>::max();
    qint64 oldest = std::numeric_limits<qint64>::max();
    auto isString = [&](const char* key) {
        const FlatJson::Value* value = FlatJson::find(object, QLatin1StringView(key));
        return value && value->type == FlatJson::Value::Type::string ? value : nullptr;
    };
    while (reader.nextObject(object)) {
        const FlatJson::Value* id = isString("id");
        const FlatJson::Value* size = FlatJson::find(object, QLatin1StringView("size"));
        const FlatJson::Value* removedAt = FlatJson::find(object, QLatin1StringView("removedAt"));
        if (!id || !isString("originalPath") || !isString("storedName") || !isString("displayName") || !size ||
            !removedAt) {
            return std::nullopt;
        }
        if (size->type != FlatJson::Value::Type::number || !size->integer) return std::nullopt;
        if (removedAt->type != FlatJson::Value::Type::number || !std::isfinite(removedAt->number)) return std::nullopt;
        if (!parseUuid(id->raw)) return std::nullopt;
        std::optional<Remains> remains;
        if (!readRemains(object, remains)) return std::nullopt;
        if (const FlatJson::Value* members = FlatJson::find(object, QLatin1StringView("members"))) {
            if (!readMembers(*members, true, nullptr)) return std::nullopt;
        }
        const QDateTime date = JsonCoding::dateFromValue(removedAt->number);
        if (!date.isValid()) return std::nullopt;
        const qint64 ms = date.toMSecsSinceEpoch();
        if (ms > previous) summary.newestFirst = false;
        previous = ms;
        oldest = std::min(oldest, ms);
        ++summary.count;
    }
    if (reader.failed() || !reader.atEnd()) return std::nullopt;
    if (summary.count > 0) summary.oldest = QDateTime::fromMSecsSinceEpoch(oldest, Qt::UTC);
    return summary;
}

bool SafeBinEntry::operator==(const SafeBinEntry& other) const {
    return id == other.id && originalPath == other.originalPath && storedName == other.storedName &&
           displayName == other.displayName && size == other.size && removedAt == other.removedAt &&
           runningAt == other.runningAt && remains == other.remains && members == other.members;
}

size_t qHash(const SafeBinEntry& entry, size_t seed) {
    seed = qHashMulti(seed, entry.id, entry.originalPath, entry.storedName, entry.displayName, entry.size,
                      entry.removedAt.toMSecsSinceEpoch());
    if (entry.members) {
        for (const SafeBinEntry::Member& member : *entry.members) seed = qHashMulti(seed, member.originalPath, member.size);
    }
    return seed;
}

}  // namespace tarnwick
