#pragma once

#include "models/FileRecord.h"
#include "models/TypeBucket.h"

#include <QJsonObject>
#include <QList>

#include <optional>

namespace tarnwick {

// What a scan found besides the tree: the largest files, the oldest large
// files and the bytes per kind of file. A plain value, never changed once made.
struct ScanInsights {
    QList<FileRecord> largest;  // largest first
    QList<FileRecord> oldest;   // oldest first
    QList<TypeBucket> types;    // largest byte total first, at most 40
    qint64 fileCount = 0;
    qint64 totalFileBytes = 0;

    // No lists, both counts 0.
    static const ScanInsights& empty();

    QJsonObject toJson() const;
    // Every key is required; nullopt when any key (of any nested record) is
    // missing or of the wrong type.
    static std::optional<ScanInsights> fromJson(const QJsonObject& object);

    friend bool operator==(const ScanInsights&, const ScanInsights&) = default;
};

}  // namespace tarnwick
