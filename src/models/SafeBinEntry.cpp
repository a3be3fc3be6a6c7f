#include "models/SafeBinEntry.h"

#include "support/JsonCoding.h"

#include <QJsonArray>

namespace tarnwick {

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

QJsonObject SafeBinEntry::toJson() const {
    QJsonObject object;
    object.insert(QStringLiteral("id"), JsonCoding::uuidText(id));
    object.insert(QStringLiteral("originalPath"), originalPath);
    object.insert(QStringLiteral("storedName"), storedName);
    object.insert(QStringLiteral("displayName"), displayName);
    object.insert(QStringLiteral("size"), size);
    object.insert(QStringLiteral("removedAt"), JsonCoding::dateValue(removedAt));
    return object;
}

std::optional<SafeBinEntry> SafeBinEntry::fromJson(const QJsonObject& object) {
    JsonObjectReader reader(object);
    SafeBinEntry entry;
    entry.id = reader.uuid("id");
    entry.originalPath = reader.string("originalPath");
    entry.storedName = reader.string("storedName");
    entry.displayName = reader.string("displayName");
    entry.size = reader.int64("size");
    entry.removedAt = reader.date("removedAt");
    if (!reader.ok()) return std::nullopt;
    return entry;
}

QByteArray SafeBinEntry::encodeManifest(const std::vector<SafeBinEntry>& entries) {
    QJsonArray array;
    for (const SafeBinEntry& entry : entries) array.append(entry.toJson());
    // A "/" can only occur inside strings in JSON text, so escaping every one
    // of them keeps the document valid and matches the stores written before.
    QByteArray data = JsonCoding::compact(array);
    data.replace("/", "\\/");
    return data;
}

std::optional<std::vector<SafeBinEntry>> SafeBinEntry::decodeManifest(const QByteArray& data) {
    const auto array = JsonCoding::parseArray(data);
    if (!array) return std::nullopt;
    std::vector<SafeBinEntry> entries;
    entries.reserve(static_cast<size_t>(array->size()));
    for (const QJsonValue& value : *array) {
        if (!value.isObject()) return std::nullopt;
        auto entry = fromJson(value.toObject());
        if (!entry) return std::nullopt;
        entries.push_back(std::move(*entry));
    }
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
