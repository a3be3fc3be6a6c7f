#pragma once

#include "models/SafeBinEntry.h"
#include "platform/FileLock.h"
#include "services/safebin/SafeBinErrors.h"
#include "services/safebin/SafeBinPurge.h"
#include "services/safebin/SafeBinRequests.h"
#include "support/FileError.h"

#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>
#include <vector>

namespace tarnwick {

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
//
// What the bin's file system cannot hold of an item's extended attributes
// (none kept there, or a value larger than it takes) is kept beside the item
// (SafeBinAttributes) and given back on restore; a restore to a place that
// cannot hold them either is refused with that reason, and the item stays.
namespace SafeBinService {

// Codes of the program's own errors (domain "Tarnwick"; see SafeBinErrors).
using SafeBinErrors::kAlreadyExistsCode;
using SafeBinErrors::kManifestUnreadableCode;
using SafeBinErrors::kInvalidRecordCode;
using SafeBinErrors::kInvalidPathCode;
using SafeBinErrors::kProtectedPathCode;
using SafeBinErrors::kPathChangedCode;
using SafeBinErrors::kLockCode;
using SafeBinErrors::kMountPointCode;
using SafeBinErrors::kChangedCode;
using SafeBinErrors::kSpecialFileCode;
using SafeBinErrors::kAttributesUnreadableCode;

using SafeBinPurge::kExpiryDays;

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

// Removes for good every item that has spent more than `days` days in the
// bin, and at least a day of the computer's running time, and drops its
// entry; an item that cannot be removed (or holds a mount point) keeps its
// entry. Time in the bin is counted as observed: a clock set back never
// makes an item older than it is, and within one run of the machine no
// change of the clock makes time pass faster than it does (the newest time
// seen is kept in manifest.clock; an item moved in is dated by it). Across
// restarts the clock is taken up again, so a month switched off ages the
// items by a month, but whatever the clock did then (a clock that was far
// behind and is now right, one that is ahead, a lost manifest.clock), an
// item still waits for its day of running time (SafeBinClock), counted from
// when it moved in. Writes the manifest only when an entry was dropped or
// dated anew; failures are not reported.
void purgeExpired(int days);

// Keeps the running time while the program runs (called every minute and at
// quit): stores it in manifest.clock, so that the time a run goes on after
// the last change of the bin still counts. With purgeDays not negative it
// then purges as purgeExpired() does, reading no more of the manifest than
// it takes to see that nothing is old enough. True when entries were dropped
// or dated anew; failures are not reported. At quit, the caller passes
// FileLock::Wait::no: while another process holds the bin, nothing is kept
// rather than the quit waiting for it.
bool keepTime(int purgeDays, FileLock::Wait wait = FileLock::Wait::untilFree);

// Purges at 30 days, then moves each absolute path into the Safe Bin as an
// item of its own, in order (symbolic links as themselves), skipping paths
// where nothing exists. Each path moves or fails on its own: at move time it
// is checked again by the protected-path guard, and opened as written (only
// the home folder's own links resolved, see
// FileOperations::openFolderAsWritten): a folder on the way swapped for a
// link moves nothing (kPathChangedCode). Mount points, folders holding one,
// sockets, pipes, devices and folders holding one are never moved. The error
// names every path that did not move. When the manifest cannot be written,
// the items of this call are put back.
SafeBinMoveResult moveToSafeBin(const QStringList& paths);

// The same for items given as requests: each request becomes one entry
// (grouped requests one folder of members), each member moving or failing
// on its own. The error is set only when nothing could be tried (the bin
// cannot be locked or its manifest read) or the manifest could not be
// written (then the moves were put back). One result per request, in order.
std::vector<SafeBinItemResult> moveItems(const std::vector<SafeBinItemRequest>& requests,
                                         std::optional<FileError>* error = nullptr);

// Purges at 30 days, then puts the entry's item back at its original path
// (making missing folders above it, as written) and drops the entry. Acts
// only on the record with the same id and stored name, as the manifest holds
// it. Never replaces an existing item (FileError::alreadyExists()) and never
// restores into the Safe Bin itself; what is left of the item's own original
// (a move whose removal did not finish) is completed instead. A group puts
// back every member it can; those that would replace something stay held
// (the entry keeps them, with its size updated) and the error names them.
// An item whose attributes kept beside it could not be read goes back
// without them, and the error says so (kAttributesUnreadableCode).
std::optional<FileError> restore(const SafeBinEntry& entry);

// Purges at 30 days, then removes the entry's item for good and drops the
// entry (the record with the same id and stored name). A missing item is no
// failure; an item that cannot be removed, or that holds a mount point, keeps
// its entry and the failure is returned.
std::optional<FileError> destroy(const SafeBinEntry& entry);

// The bytes an item occupies on disk, without following links: a file's (or
// link's) allocated size; for a folder the allocated sizes of the regular files
// below it, counting at most the first 40,000 entries. 0 when nothing is there.
qint64 allocatedSize(const QString& path);

// The name an item is stored under: "<ID>-<name>", with name shortened (its
// extension kept where sensible) so the whole fits in 255 bytes on disk.
QString storedNameFor(const QUuid& id, const QString& displayName);
// "“~/a”, “~/b”, “~/c” and 2 more": a few paths for a message, home as "~".
QString pathListText(const QStringList& paths);

// The name a group's member is stored under inside the group's folder:
// "<position>-<name>", shortened the same way.
QString memberStoredNameFor(int position, const QString& name);

}  // namespace SafeBinService

}  // namespace tarnwick
