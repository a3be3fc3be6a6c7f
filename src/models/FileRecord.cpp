#include "models/FileRecord.h"

#include "platform/Environment.h"
#include "support/JsonCoding.h"

#include <algorithm>

namespace tarnwick {

namespace {

// Whole days from one moment to another as a calendar counts them in local
// time: the day component of the difference, a partial day not counting.
qint64 wholeDaysBetween(const QDateTime& from, const QDateTime& to) {
    const QDateTime a = from.toLocalTime();
    const QDateTime b = to.toLocalTime();
    qint64 days = a.date().daysTo(b.date());
    if (days > 0 && b.time() < a.time()) --days;
    if (days < 0 && b.time() > a.time()) ++days;
    return days;
}

}  // namespace

QDateTime FileRecord::distantPast() {
    static const QDateTime date = JsonCoding::dateFromValue(-63114076800.0);
    return date;
}

QString FileRecord::ageDescription() const {
    const qint64 days = modified.isValid() ? wholeDaysBetween(modified, Environment::current().now()) : 0;
    if (days > 364) return QString::asprintf("%.1fy ago", static_cast<double>(days) / 365.0);
    if (days > 29) return QString::number(days / 30) + QStringLiteral("mo ago");
    return QString::number(std::max<qint64>(days, 0)) + QStringLiteral("d ago");
}

QJsonObject FileRecord::toJson() const {
    return QJsonObject{
        {QStringLiteral("id"), JsonCoding::uuidText(id)},
        {QStringLiteral("name"), name},
        {QStringLiteral("path"), path},
        {QStringLiteral("size"), size},
        {QStringLiteral("modified"), JsonCoding::dateValue(modified)},
        {QStringLiteral("fileExtension"), fileExtension},
    };
}

std::optional<FileRecord> FileRecord::fromJson(const QJsonObject& object) {
    JsonObjectReader reader(object);
    FileRecord record;
    record.id = reader.uuid("id");
    record.name = reader.string("name");
    record.path = reader.string("path");
    record.size = reader.int64("size");
    record.modified = reader.date("modified");
    record.fileExtension = reader.string("fileExtension");
    if (!reader.ok()) return std::nullopt;
    return record;
}

size_t qHash(const FileRecord& record, size_t seed) noexcept {
    return qHashMulti(seed, record.id, record.name, record.path, record.size,
                      record.modified.toMSecsSinceEpoch(), record.fileExtension);
}

}  // namespace tarnwick
