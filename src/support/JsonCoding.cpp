#include "support/JsonCoding.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <cmath>
#include <limits>

namespace tarnwick {

namespace JsonCoding {

QString uuidText(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> uuidFromText(const QString& text) {
    // Exactly the 36-character hyphenated form; anything else is malformed.
    if (text.size() != 36) return std::nullopt;
    QUuid id = QUuid::fromString(text);
    if (id.isNull() && text != QLatin1String("00000000-0000-0000-0000-000000000000")) return std::nullopt;
    return id;
}

double dateValue(const QDateTime& date) {
    return static_cast<double>(date.toMSecsSinceEpoch()) / 1000.0 - kReferenceDateOffset;
}

QDateTime dateFromValue(double secondsSinceReferenceDate) {
    // Beyond about ±292,000 years the milliseconds no longer fit: no valid date.
    const double ms = std::round((secondsSinceReferenceDate + kReferenceDateOffset) * 1000.0);
    if (!std::isfinite(ms) || std::fabs(ms) > 9.0e18) return QDateTime();
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ms), Qt::UTC);
}

QByteArray compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray compact(const QJsonArray& array) {
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<QJsonObject> parseObject(const QByteArray& data) {
    QJsonParseError error;
    QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    return document.object();
}

std::optional<QJsonArray> parseArray(const QByteArray& data) {
    QJsonParseError error;
    QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) return std::nullopt;
    return document.array();
}

}  // namespace JsonCoding

QJsonValue JsonObjectReader::require(const char* key) {
    auto it = object_.constFind(QLatin1String(key));
    if (it == object_.constEnd()) {
        ok_ = false;
        return QJsonValue();
    }
    return it.value();
}

QString JsonObjectReader::string(const char* key) {
    QJsonValue value = require(key);
    if (!value.isString()) {
        ok_ = false;
        return {};
    }
    return value.toString();
}

qint64 JsonObjectReader::int64(const char* key) {
    QJsonValue value = require(key);
    if (!value.isDouble()) {
        ok_ = false;
        return 0;
    }
    // Qt keeps integers that were written as integers exact (the whole 64-bit
    // range, its ends included); a fractional or out-of-range number is not an
    // integer field. toInteger() falls back to its default for those, so two
    // different defaults tell them apart.
    const qint64 first = value.toInteger(0);
    if (first == 0 && value.toInteger(1) != 0) {
        ok_ = false;
        return 0;
    }
    return first;
}

int JsonObjectReader::integer(const char* key) {
    const qint64 value = int64(key);
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) {
        ok_ = false;
        return 0;
    }
    return static_cast<int>(value);
}

double JsonObjectReader::number(const char* key) {
    QJsonValue value = require(key);
    if (!value.isDouble()) {
        ok_ = false;
        return 0;
    }
    return value.toDouble();
}

bool JsonObjectReader::boolean(const char* key) {
    QJsonValue value = require(key);
    if (!value.isBool()) {
        ok_ = false;
        return false;
    }
    return value.toBool();
}

QUuid JsonObjectReader::uuid(const char* key) {
    const QString text = string(key);
    if (!ok_) return {};
    auto id = JsonCoding::uuidFromText(text);
    if (!id) {
        ok_ = false;
        return {};
    }
    return *id;
}

QDateTime JsonObjectReader::date(const char* key) {
    const double value = number(key);
    if (!ok_ || !std::isfinite(value)) {
        ok_ = false;
        return {};
    }
    QDateTime date = JsonCoding::dateFromValue(value);
    if (!date.isValid()) ok_ = false;
    return date;
}

QJsonArray JsonObjectReader::array(const char* key) {
    QJsonValue value = require(key);
    if (!value.isArray()) {
        ok_ = false;
        return {};
    }
    return value.toArray();
}

QJsonObject JsonObjectReader::object(const char* key) {
    QJsonValue value = require(key);
    if (!value.isObject()) {
        ok_ = false;
        return {};
    }
    return value.toObject();
}

std::optional<QString> JsonObjectReader::optionalString(const char* key) {
    auto it = object_.constFind(QLatin1String(key));
    if (it == object_.constEnd() || it.value().isNull()) return std::nullopt;
    if (!it.value().isString()) {
        ok_ = false;
        return std::nullopt;
    }
    return it.value().toString();
}

}  // namespace tarnwick
