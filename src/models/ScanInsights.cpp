#include "models/ScanInsights.h"

#include "support/JsonCoding.h"

#include <QJsonArray>

namespace tarnwick {

namespace {

template <typename T>
QJsonArray encodeList(const QList<T>& list) {
    QJsonArray array;
    for (const T& item : list) array.append(item.toJson());
    return array;
}

template <typename T>
std::optional<QList<T>> decodeList(const QJsonArray& array) {
    QList<T> list;
    list.reserve(array.size());
    for (const QJsonValue& value : array) {
        if (!value.isObject()) return std::nullopt;
        std::optional<T> item = T::fromJson(value.toObject());
        if (!item) return std::nullopt;
        list.append(std::move(*item));
    }
    return list;
}

}  // namespace

const ScanInsights& ScanInsights::empty() {
    static const ScanInsights insights;
    return insights;
}

QJsonObject ScanInsights::toJson() const {
    return QJsonObject{
        {QStringLiteral("largest"), encodeList(largest)},
        {QStringLiteral("oldest"), encodeList(oldest)},
        {QStringLiteral("types"), encodeList(types)},
        {QStringLiteral("fileCount"), fileCount},
        {QStringLiteral("totalFileBytes"), totalFileBytes},
    };
}

std::optional<ScanInsights> ScanInsights::fromJson(const QJsonObject& object) {
    JsonObjectReader reader(object);
    const QJsonArray largest = reader.array("largest");
    const QJsonArray oldest = reader.array("oldest");
    const QJsonArray types = reader.array("types");
    ScanInsights insights;
    insights.fileCount = reader.int64("fileCount");
    insights.totalFileBytes = reader.int64("totalFileBytes");
    if (!reader.ok()) return std::nullopt;
    auto largestList = decodeList<FileRecord>(largest);
    auto oldestList = decodeList<FileRecord>(oldest);
    auto typeList = decodeList<TypeBucket>(types);
    if (!largestList || !oldestList || !typeList) return std::nullopt;
    insights.largest = std::move(*largestList);
    insights.oldest = std::move(*oldestList);
    insights.types = std::move(*typeList);
    return insights;
}

}  // namespace tarnwick
