#pragma once

#include "models/SafeBinEntry.h"
#include "support/FileError.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace tarnwick {

// The Safe Bin's manifest (manifest.json) as the parts of the store read and
// write it, and the records in it. Only the store itself includes this.
namespace SafeBinManifest {

struct Manifest {
    std::vector<SafeBinEntry> entries;
    QByteArray text;                 // the file as read (empty when there was none)
    bool decoded = true;             // entries holds every entry of text
    std::optional<FileError> error;  // there, but not readable or decodable
};

// Reads and decodes the manifest. With skimBefore set, a manifest that a
// quick pass finds sorted newest first and holding nothing moved in before
// that date is not decoded at all (decoded false, text kept): a move into it
// needs no more.
Manifest readManifest(const QString& bin, std::optional<QDateTime> skimBefore = std::nullopt);
std::optional<FileError> save(const QString& bin, const QByteArray& text);

bool isNewestFirst(const std::vector<SafeBinEntry>& entries);
void sortNewestFirst(std::vector<SafeBinEntry>& entries);

// The same stored item: same id and same stored name.
bool sameRecord(const SafeBinEntry& a, const SafeBinEntry& b);
// Drops the records of one stored item. A hand-edited manifest may repeat an
// id; the other records are not touched.
bool eraseRecord(std::vector<SafeBinEntry>& entries, const SafeBinEntry& entry);
SafeBinEntry* findRecord(std::vector<SafeBinEntry>& entries, const SafeBinEntry& entry);

// The manifest after a move that only put new entries in front of those read:
// the new entries' text, then the text as read, unchanged. A move then costs
// what it adds, not a new encoding of every entry.
QByteArray prependedManifest(const QByteArray& read, const std::vector<SafeBinEntry>& added);

}  // namespace SafeBinManifest

}  // namespace tarnwick
