#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <optional>

namespace tarnwick {

// One entry of the activity log: something the program cleaned or ran.
struct ActivityEvent {
    QUuid id = QUuid::createUuid();
    QDateTime date{};
    QString kind{};     // a short label chosen by the caller ("Junk")
    QString summary{};  // one line chosen by the caller
    qint64 bytesFreed = 0;
    qint64 itemsAffected = 0;

    bool operator==(const ActivityEvent&) const = default;

    // The stored form: an object with exactly the six field names as keys.
    QJsonObject toJson() const;
    // Reads the six keys in any order and ignores others; nothing when a key is
    // missing or of the wrong type.
    static std::optional<ActivityEvent> fromJson(const QJsonObject& object);
};

}  // namespace tarnwick
