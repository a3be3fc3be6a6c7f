#include "models/SafeBinEntry.h"

#include "support/JsonCoding.h"

#include <cmath>

namespace tarnwick {

namespace {

const QString* stringField(const FlatJson::Object& object, const char* key) {
    const FlatJson::Value* value = FlatJson::find(object, QLatin1StringView(key));
    return value && value->type == FlatJson::Value::Type::string ? &value->string : nullptr;
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
    out.append(JsonCoding::uuidText(id).toLatin1());
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
    const auto uuid = JsonCoding::uuidFromText(*id);
    const QDateTime date = JsonCoding::dateFromValue(removedAt->number);
    if (!uuid || !date.isValid()) return std::nullopt;
    return create(*uuid, *originalPath, *storedName, *displayName, *size->integer, date);
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
    FlatJson::Object object;
    while (reader.nextObject(object)) {
        auto entry = fromObject(object);
        if (!entry) return std::nullopt;
        entries.push_back(std::move(*entry));
    }
    if (reader.failed() || !reader.atEnd()) return std::nullopt;
    return entries;
}

bool SafeBinEntry::operator==(const SafeBinEntry& other) const {
    return id == other.id && originalPath == other.originalPath && storedName == other.storedName &&
           displayName == other.displayName && size == other.size && removedAt == other.removedAt;
}

size_t qHash(const SafeBinEntry& entry, size_t seed) {
    return qHashMulti(seed, entry.id, entry.originalPath, entry.storedName, entry.displayName, entry.size,
                      entry.removedAt.toMSecsSinceEpoch());
}

}  // namespace tarnwick
