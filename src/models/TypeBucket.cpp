#include "models/TypeBucket.h"

#include "support/JsonCoding.h"

namespace tarnwick {

QJsonObject TypeBucket::toJson() const {
    return QJsonObject{
        {QStringLiteral("name"), name},
        {QStringLiteral("size"), size},
        {QStringLiteral("count"), count},
    };
}

std::optional<TypeBucket> TypeBucket::fromJson(const QJsonObject& object) {
    JsonObjectReader reader(object);
    TypeBucket bucket;
    bucket.name = reader.string("name");
    bucket.size = reader.int64("size");
    bucket.count = reader.int64("count");
    if (!reader.ok()) return std::nullopt;
    return bucket;
}

size_t qHash(const TypeBucket& bucket, size_t seed) noexcept {
    return qHashMulti(seed, bucket.name, bucket.size, bucket.count);
}

}  // namespace tarnwick
