#pragma once

#include "models/MoveScope.h"
#include "models/SafeBinEntry.h"
#include "services/safebin/SafeBinService.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace tarnwick {

// The file side of cleaning findings into the Safe Bin: works out what each
// finding moves, refuses protected paths, moves every path once, and tells
// which findings are gone. Synchronous file work: callers run it off the UI
// thread, one call at a time (it goes through SafeBinService).
namespace SafeBinMover {

// One thing a finding names: the item at path, or, with a contents-only
// scope, the entries of the folder at path except the kept ones.
struct Target {
    QString path;
    MoveScope scope{};
    // What the scan saw at path; when set, the item moves only while it is
    // still that item (FileIdentity::matches), else it stays and is named.
    std::optional<FileIdentity> seen{};
};

// What the clean did to one finding.
struct FindingResult {
    // Nothing the finding names is left in place: moved now, inside something
    // moved now, or gone before the clean.
    bool cleaned = false;
    // At least one of its paths left its place for the Safe Bin: moved in
    // whole, nothing of it left behind.
    bool moved = false;
    // The Safe Bin's bytes of the paths that left their place, and the number
    // of items (Safe Bin entries) they make: 1 when anything moved, else 0.
    qint64 movedBytes = 0;
    qsizetype movedItems = 0;
    // The paths that left their place, as given.
    QStringList movedPaths{};
    // Paths whose copy is in the Safe Bin while part of the original could
    // not be removed and is still in place: not moved, and not counted.
    QStringList partlyMoved{};
    // The Safe Bin entry made for it (also when it holds only copies of
    // paths partly moved).
    std::optional<SafeBinEntry> entry{};
};

struct Outcome {
    std::vector<FindingResult> findings;  // one per finding, in the order given
    QStringList movedPaths;               // the paths that left their place, in order
    // For the user, when anything stayed behind: the Safe Bin's own errors,
    // the paths that were not moved, those partly moved, those that changed
    // since the scan and the protected paths left alone.
    std::optional<QString> error;
};

// Cleans the findings, each given by its targets, each into one Safe Bin
// item: a finding that names one whole path is that item; one cleaned by its
// entries, or naming several paths, is one grouped item named after its first
// path. Several whole paths (a database with its companion files, an
// application with its leftovers) move together or not at all; the entries
// of a folder each move or stay on their own. Entries of a folder cleaned by
// its entries are the measured ones that still match what was measured, each
// whole; when the scope tells when they were measured, less those in which
// anything was modified since then or in the hour before the clean, or whose
// status changed since then (the change time, which no tool sets back: what
// was unpacked or copied in with old times), dates more than a day ahead
// excepted, or that are or hold a socket, pipe, device or mount point (of the
// mount table, read once), and less those too large to look through. Where
// none were measured, those listed now less sockets, pipes, devices, mount
// points and anything changed in the last hour (also folders holding such).
// The message says the bytes left in place as in use: those the scan
// measured, and those of the entries in use now and of those the scan left
// unmeasured (MoveScope::inUseUnmeasured), each measured now and named; and
// it names the entries changed since the scan. Every path then passes the
// protected-path guard (TrashService::canCollect); duplicate paths and paths
// inside another path of the same clean are moved once, credited to the first
// finding that named them. Each finding moves or fails on its own, in one call
// of SafeBinService::moveItems.
Outcome move(const std::vector<QList<Target>>& findings);

// The absolute paths of a folder's entries, sorted by name, without those
// that are kept or that hold a kept path. Never follows a link. Nothing when
// the folder cannot be read; errorNumber then tells why (ENOENT: not there).
std::optional<QStringList> folderEntries(const QString& folder, const QStringList& keptPaths, int* errorNumber);

// The entries of a folder that a clean may take when the scan measured none:
// folderEntries() less sockets, pipes, devices, mount points, entries changed
// in the last hour by the environment's clock, and folders holding any of
// those (or too large to look through), each with what it is now.
std::optional<QList<ScopeEntry>> entriesToClean(const QString& folder, const QStringList& keptPaths, int* errorNumber);

// "“~/a”, “~/b”, “~/c” and 2 more": a few paths for a message, home as "~".
inline QString pathListText(const QStringList& paths) { return SafeBinService::pathListText(paths); }

}  // namespace SafeBinMover

}  // namespace tarnwick
