#pragma once

#include <QDateTime>
#include <QHashFunctions>
#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <optional>

namespace tarnwick {

// One file of the largest or the oldest list of a scan.
struct FileRecord {
    QUuid id;
    QString name;
    QString path;
    qint64 size = 0;
    QDateTime modified = distantPast();  // distantPast() when the file had no date
    QString fileExtension;               // the file's kind ("images", "other", "psd"), not its raw extension

    // The stand-in date of a file without one: the first day of year 1,
    // 63,114,076,800 s before 2001-01-01 UTC.
    static QDateTime distantPast();

    // Short age text beside a file: "12d ago", "3mo ago", "1.4y ago".
    QString ageDescription() const;

    QJsonObject toJson() const;
    // Every key is required; nullopt on a missing key or a value of the wrong type.
    static std::optional<FileRecord> fromJson(const QJsonObject& object);

    friend bool operator==(const FileRecord&, const FileRecord&) = default;
};

size_t qHash(const FileRecord& record, size_t seed = 0) noexcept;

}  // namespace tarnwick
