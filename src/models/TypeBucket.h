#pragma once

#include <QHashFunctions>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace tarnwick {

// The byte total and file count of one kind of file; identified by name.
struct TypeBucket {
    QString name;
    qint64 size = 0;
    qint64 count = 0;

    QJsonObject toJson() const;
    // Every key is required; nullopt on a missing key or a value of the wrong type.
    static std::optional<TypeBucket> fromJson(const QJsonObject& object);

    friend bool operator==(const TypeBucket&, const TypeBucket&) = default;
};

size_t qHash(const TypeBucket& bucket, size_t seed = 0) noexcept;

}  // namespace tarnwick
