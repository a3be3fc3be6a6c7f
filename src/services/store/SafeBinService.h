#pragma once

#include "models/SafeBinEntry.h"
#include "support/FileError.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace tarnwick {

// What a move into the Safe Bin did: the entries made (in the order of the
// paths given; every one of them is recorded in the manifest) and, when the
// call stopped early, why.
struct SafeBinMoveResult {
    std::vector<SafeBinEntry> moved;
    std::optional<FileError> error;
};

// The Safe Bin: a folder of the program's own that holds everything it cleans
// for 30 days, with manifest.json recording each item. Nothing is kept in
// memory; every call reads the manifest and writes it back whole.
//
// Every change holds the bin's lock (flock on manifest.lock, and a mutex for
// the threads of this process), so calls may come from any thread and from
// several processes at once without losing a record. Before an item moves,
// its intent is written to manifest.journal and synced; the manifest records
// it afterwards and the journal is cleared. What a crash or kill leaves
// (intents not settled, partial copies) is settled by settle() and by the
// next change: an item the folder holds is never left unrecorded.
namespace SafeBinService {

// Codes of the program's own errors (domain "Tarnwick").
inline constexpr int kAlreadyExistsCode = 1;       // restore onto an existing item
inline constexpr int kManifestUnreadableCode = 2;  // manifest.json there but not readable/decodable
inline constexpr int kInvalidRecordCode = 3;       // an entry's stored name is not a plain name, or no such entry
inline constexpr int kInvalidPathCode = 4;         // a path that cannot be moved in or restored to
inline constexpr int kProtectedPathCode = 5;       // the protected-path guard refuses the path
inline constexpr int kPathChangedCode = 6;         // a folder on the path was swapped after the check
inline constexpr int kLockCode = 7;                // the bin could not be locked or its intent not recorded

inline constexpr int kExpiryDays = 30;

// The folder in use: "SafeBin" in the support folder, or the one in the legacy
// support folder while only that one holds a manifest.json. The support
// folder's SafeBin is created on every call.
QString root();

// The entries, newest first (a stable sort, so equal dates keep file order).
// An unreadable or undecodable manifest reads as empty.
std::vector<SafeBinEntry> list();

// Settles what an interrupted change left behind (run at start-up): items
// whose move was recorded as an intent and that the folder holds are adopted
// into the manifest, restores and deletions that went through lose their
// entries, and partial copies (".tarnwick-partial-*") of moves that did not
// finish are removed (the originals are whole: they go only after the copy
// is in place). Failures are not reported; nothing is lost by them.
void settle();

// Removes for good every item moved in more than `days` days ago and drops its
// entry; an item that cannot be removed keeps its entry. Writes the manifest
// only when an entry was dropped; failures are not reported.
void purgeExpired(int days);

// Purges at 30 days, then moves each absolute path into the Safe Bin in order
// (symbolic links as themselves), skipping paths where nothing exists. At move
// time each path is checked again by the protected-path guard and moved
// through a descriptor of its folder, opened without following links along
// the checked path: a folder swapped for a link after the check moves nothing
// (kPathChangedCode). Stops at the first failure; what was moved before is
// recorded all the same. When the manifest cannot be written, the items of
// this call are put back.
SafeBinMoveResult moveToSafeBin(const QStringList& paths);

// Purges at 30 days, then puts the entry's item back at its original path
// (making missing folders above it) and drops the entry. Acts only on the
// record with the same id and stored name. Never replaces an existing item
// (FileError::alreadyExists()) and never restores into the Safe Bin itself.
std::optional<FileError> restore(const SafeBinEntry& entry);

// Purges at 30 days, then removes the entry's item for good and drops the
// entry (the record with the same id and stored name). A missing item is no
// failure; an item that cannot be removed keeps its entry and the failure is
// returned.
std::optional<FileError> destroy(const SafeBinEntry& entry);

// The bytes an item occupies on disk, without following links: a file's (or
// link's) allocated size; for a folder the allocated sizes of the regular files
// below it, counting at most the first 40,000 entries. 0 when nothing is there.
qint64 allocatedSize(const QString& path);

// The name an item is stored under: "<ID>-<name>", with name shortened (its
// extension kept where sensible) so the whole fits in 255 bytes on disk.
QString storedNameFor(const QUuid& id, const QString& displayName);

}  // namespace SafeBinService

}  // namespace tarnwick
