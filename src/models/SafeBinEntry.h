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
    // What is left of an original whose removal did not finish once its copy
    // was in the Safe Bin (a folder another user owns a part of, or a process
    // killed half-way): its device and inode, so that a restore completes
    // into those remains and into nothing else.
    struct Remains {
        quint64 device = 0;
        quint64 inode = 0;
        bool operator==(const Remains&) const = default;
    };
    // One of the items of a grouped entry, stored inside the entry's folder.
    struct Member {
        QString originalPath;  // where it came from
        QString storedName;    // its name inside the entry's stored folder
        qint64 size = 0;       // bytes it occupies on disk
        std::optional<Remains> remains{};
        bool operator==(const Member&) const = default;
    };

    QUuid id;              // also the first part of storedName
    QString originalPath;  // where the item came from, exactly as the caller gave it (a group: the finding's path)
    QString storedName;    // the item's name inside the Safe Bin folder: "<ID>-<displayName>"
    QString displayName;   // the last component of originalPath
    qint64 size = 0;       // bytes the item occupies on disk
    QDateTime removedAt;   // when it was moved in
    // The Safe Bin's running time (the time the computer has run, in
    // milliseconds) when it was moved in; 0 for entries recorded before it
    // was kept.
    qint64 runningAt = 0;
    std::optional<Remains> remains{};
    // Set for one item made of several (the entries of a folder cleaned by its
    // entries, a database with its companion files, a trashed file with its
    // record): the stored item is then a folder holding the members, and a
    // restore puts each member back at its own original path.
    std::optional<std::vector<Member>> members{};

    bool isGroup() const { return members.has_value(); }

    static SafeBinEntry create(const QUuid& id, const QString& originalPath, const QString& storedName,
                               const QString& displayName, qint64 size, const QDateTime& removedAt);

    // Appends the entry as one JSON object {"id", "originalPath", "storedName",
    // "displayName", "size", "removedAt"}, every "/" written as "\/", followed
    // by "runningAt", by "remainsDevice" and "remainsInode" and by "members" (an array of
    // {"originalPath", "storedName", "size"} objects, each with its own
    // remains keys) only where those are set. Names that are not UTF-8 keep
    // their escaped bytes (see FlatJson).
    void appendJson(QByteArray& out) const;
    // The six keys are required and must have their types; the optional keys,
    // when there, too ("runningAt" of another type reads as 0). Other keys
    // are ignored.
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
