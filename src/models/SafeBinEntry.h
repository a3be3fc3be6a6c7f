#pragma once

#include "support/FlatJson.h"

#include <QByteArray>
#include <QDateTime>
#include <QHashFunctions>
#include <QString>
#include <QUuid>

#include <optional>
#include <vector>

namespace tarnwick {

// One item held by the Safe Bin, as recorded in its manifest.
struct SafeBinEntry {
    QUuid id;              // also the first part of storedName
    QString originalPath;  // where the item came from, exactly as the caller gave it
    QString storedName;    // the item's name inside the Safe Bin folder: "<ID>-<displayName>"
    QString displayName;   // the last component of originalPath
    qint64 size = 0;       // bytes the item occupies on disk
    QDateTime removedAt;   // when it was moved in

    static SafeBinEntry create(const QUuid& id, const QString& originalPath, const QString& storedName,
                               const QString& displayName, qint64 size, const QDateTime& removedAt);

    // Appends the entry as one JSON object {"id", "originalPath", "storedName",
    // "displayName", "size", "removedAt"}, every "/" written as "\/". Names
    // that are not UTF-8 keep their escaped bytes (see FlatJson).
    void appendJson(QByteArray& out) const;
    // Every key is required and must have its type; other keys are ignored.
    static std::optional<SafeBinEntry> fromObject(const FlatJson::Object& object);

    // The manifest file: a compact JSON array of entries in the given order.
    static QByteArray encodeManifest(const std::vector<SafeBinEntry>& entries);
    // nullopt when the data is not such an array or any entry is malformed.
    // Reads any JSON writer's output (keys in any order, any escapes).
    static std::optional<std::vector<SafeBinEntry>> decodeManifest(const QByteArray& data);

    // What a quick pass over a manifest tells without decoding its entries.
    struct ManifestSummary {
        qsizetype count = 0;
        bool newestFirst = true;      // sorted by removedAt, newest first
        std::optional<QDateTime> oldest;  // the earliest removedAt
    };
    // nullopt when the quick pass cannot vouch for the manifest (malformed, or
    // written in a way it does not judge, such as escapes inside an id); only
    // then does decodeManifest() have to decide. A summary is given only for
    // text that decodeManifest() accepts.
    static std::optional<ManifestSummary> summarizeManifest(const QByteArray& data);

    bool operator==(const SafeBinEntry& other) const;
    bool operator!=(const SafeBinEntry& other) const { return !(*this == other); }
};

size_t qHash(const SafeBinEntry& entry, size_t seed = 0);

}  // namespace tarnwick
