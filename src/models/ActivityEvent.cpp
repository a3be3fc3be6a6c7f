#include "models/ActivityEvent.h"

#include "support/JsonCoding.h"

namespace tarnwick {

QJsonObject ActivityEvent::toJson() const {
    QJsonObject object;
    object.insert(QStringLiteral("id"), JsonCoding::uuidText(id));
    object.insert(QStringLiteral("date"), JsonCoding::dateValue(date));
    object.insert(QStringLiteral("kind"), kind);
    object.insert(QStringLiteral("summary"), summary);
    object.insert(QStringLiteral("bytesFreed"), bytesFreed);
    object.insert(QStringLiteral("itemsAffected"), itemsAffected);
    return object;
}

namespace {

// About 31,000 years either side of 2001: far beyond any real event, and small
// enough that the date's milliseconds always fit in 64 bits.
constexpr double kLargestDateSeconds = 1e12;

}  // namespace

std::optional<ActivityEvent> ActivityEvent::fromJson(const QJsonObject& object) {
    const double seconds = object.value(QStringLiteral("date")).toDouble();
    if (seconds > kLargestDateSeconds || seconds < -kLargestDateSeconds) return std::nullopt;

    JsonObjectReader reader(object);
    ActivityEvent event;
    event.id = reader.uuid("id");
    event.date = reader.date("date");
    event.kind = reader.string("kind");
    event.summary = reader.string("summary");
    event.bytesFreed = reader.int64("bytesFreed");
    event.itemsAffected = reader.int64("itemsAffected");
    if (!reader.ok()) return std::nullopt;
    return event;
}

}  // namespace tarnwick
