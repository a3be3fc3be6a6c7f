#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QUuid>

#include <optional>

namespace tarnwick {

// The conventions of the program's own JSON stores: compact output, UUIDs as
// upper-case text, dates as seconds (a double) since 2001-01-01 00:00:00 UTC,
// and every key required on reading.
namespace JsonCoding {

// Seconds between 1970-01-01 and 2001-01-01, both UTC.
inline constexpr double kReferenceDateOffset = 978307200.0;

QString uuidText(const QUuid& id);
std::optional<QUuid> uuidFromText(const QString& text);
double dateValue(const QDateTime& date);
QDateTime dateFromValue(double secondsSinceReferenceDate);

QByteArray compact(const QJsonObject& object);
QByteArray compact(const QJsonArray& array);
// Parses a whole document; nullopt when it is not valid JSON of that shape.
std::optional<QJsonObject> parseObject(const QByteArray& data);
std::optional<QJsonArray> parseArray(const QByteArray& data);

}  // namespace JsonCoding

// Reads the fields of one JSON object strictly: a key that is missing or of the
// wrong type marks the reader failed, and the caller rejects the record.
class JsonObjectReader {
public:
    explicit JsonObjectReader(const QJsonObject& object) : object_(object) {}

    QString string(const char* key);
    qint64 int64(const char* key);
    int integer(const char* key);
    double number(const char* key);
    bool boolean(const char* key);
    QUuid uuid(const char* key);
    QDateTime date(const char* key);
    QJsonArray array(const char* key);
    QJsonObject object(const char* key);
    // Optional values are simply absent (or null) when they have no value.
    std::optional<QString> optionalString(const char* key);

    bool ok() const { return ok_; }

private:
    QJsonValue require(const char* key);

    const QJsonObject& object_;
    bool ok_ = true;
};

}  // namespace tarnwick
