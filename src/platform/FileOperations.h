#pragma once

#include "platform/AttributePolicy.h"
#include "platform/FileDescriptor.h"
#include "support/FileError.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <string_view>
#include <vector>

struct stat;

namespace tarnwick {

// File-system work for the program's own stores, done with the system calls
// themselves so that symbolic links are never followed by accident and nothing
// already at a destination is ever replaced. Paths cross into bytes through
// PathCodec, so a name that is not UTF-8 names its own file.
namespace FileOperations {

// What lstat says about path: 0 when something (file, folder, link, even a
// dangling one) is there, else the errno value.
int probe(const QString& path);
inline bool itemExists(const QString& path) { return probe(path) == 0; }

// Creates path and every missing folder above it; an existing folder (or a
// link to one) is no failure.
std::optional<FileError> makePath(const QString& path);

// Opens the folder at an absolute path one component at a time from "/",
// never following a symbolic link: a link (or anything but a folder) on the
// way fails with ELOOP or ENOTDIR. What the descriptor names is then the
// folder the path spelled out when it was opened, whatever is renamed or
// swapped on the way afterwards. The descriptor serves as the folder of the
// *At operations below (opened O_PATH: it can name, not list).
FileDescriptor openFolderNoFollow(const QString& absolutePath, int& error);
// Opens a folder for listing and syncing, following links (the program's own folders).
FileDescriptor openFolder(const QString& path, int& error);

// Opens the folder at an absolute path as it is written: one component at a
// time, never following a link, so that no file outside the path a user saw
// is ever reached. Only trustedPrefix (the home folder, say), when the path
// lies at or below it, is opened with its links resolved. With create,
// missing folders are made on the way (mode 0777 less the umask). A link on
// the way fails with ELOOP, anything else that is no folder with ENOTDIR;
// failedAt then names the component that failed. Works for paths longer than
// PATH_MAX. The descriptor is opened O_PATH.
FileDescriptor openFolderAsWritten(const QString& absolutePath, const QString& trustedPrefix, int& error,
                                   bool create = false, QString* failedAt = nullptr);

// The path the kernel knows an open descriptor by (links resolved), or empty.
QString kernelPath(int fd);

// lstat of dirFd's entry name that also tells whether the entry is the root of
// a mount (a bind mount of the same file system included). Returns 0 or errno.
int statEntry(int dirFd, const char* name, struct stat& st, bool& mountRoot);

// What a walk of an item found, never crossing into another mount.
struct TreeReport {
    qint64 allocatedBytes = 0;         // of the regular files (st_blocks)
    qint64 entries = 0;                // visited below the item
    QString specialFile;               // the first socket, pipe or device found (path), if any
    QString mountPoint;                // the first mount point found inside (path), if any
    qint64 newestModifiedNs = 0;       // the newest modification time seen, ns since 1970
    bool complete = true;              // false: stopped at maxEntries or a folder could not be read
};
// Walks the entry name of dirFd (path words it) and everything below it.
// maxEntries < 0 walks all; stopAtProblem ends the walk at the first special
// file or mount point. A link is never followed.
TreeReport inspectTree(int dirFd, const QByteArray& name, const QString& path, qint64 maxEntries,
                       bool stopAtProblem);

// Renames from to to, failing with EEXIST instead of replacing anything at to.
// Returns 0 or the errno value. Uses renameat2(RENAME_NOREPLACE) and, where a
// file system refuses that flag, renameByPlaceholder().
int renameNoReplace(const QString& from, const QString& to);
int renameNoReplaceAt(int fromDir, const QByteArray& fromName, int toDir, const QByteArray& toName);
// The fallback: claims to exclusively (a hard link, or an empty placeholder
// made with O_EXCL or mkdir) and only then renames over what it claimed.
int renameByPlaceholder(const QString& from, const QString& to);
int renameByPlaceholderAt(int fromDir, const QByteArray& fromName, int toDir, const QByteArray& toName);

// Removes an item for good; a folder with everything in it. Links are removed,
// never followed, and nothing below a mount point is touched (a mount inside
// the folder is a failure: it stays, and so do the folders holding it).
// Nothing at path is no failure. Carries on past an entry that cannot be
// removed and reports the first failure.
std::optional<FileError> removeItem(const QString& path);
// The same for the entry name of an open folder; path words the failure.
std::optional<FileError> removeItemAt(int dirFd, const QByteArray& name, const QString& path);

// The name of the temporary copy that a move across file systems makes
// beside its destination: ".tarnwick-partial-<tag>".
QByteArray partialName(const QString& tag);
inline constexpr std::string_view kPartialPrefix = ".tarnwick-partial-";

struct MoveResult {
    bool arrived = false;             // the item is now at the destination
    bool copied = false;              // it got there as a copy (another file system)
    std::optional<FileError> error;   // set when anything failed
};
struct MoveOptions {
    // Copy sockets, pipes and devices as new nodes; otherwise one of them
    // fails the copy (a move into the Safe Bin never takes one).
    bool allowSpecialFiles = false;
    // Across file systems: called once the copy is whole and durable, just
    // before it is put in place, with the copy's and the original's lstat. A
    // failure it returns abandons the move (the copy goes, the original stays).
    std::function<std::optional<FileError>(const struct stat& copy, const struct stat& original)> beforePlacing;
    // What becomes of the item's extended attributes (see AttributePolicy):
    // across file systems, which the copy carries and what becomes of one the
    // destination cannot hold; either way, the attributes kept elsewhere that
    // the item gets at its destination: set on the copy before it is placed,
    // or after a rename, which is undone when one cannot be set. None: the
    // copy carries all, and one the destination cannot hold fails the move.
    // What the copy notes is noted in it (beforePlacing sees it all).
    AttributePolicy* attributes = nullptr;
};
// Moves the entry fromName of the folder fromDir to toName in toDir without
// replacing anything there. Across file systems it copies (folders recursively,
// symbolic links as links, the holes of sparse files kept as holes;
// permissions, times, extended attributes and ACLs and, where allowed, owners
// kept; never crossing into another mount) to partialName(tag) beside the
// destination (a random tag when empty), flushes that file system, renames
// the copy into place and only then removes the original; a failed copy
// leaves the original untouched and removes the partial copy. arrived with an
// error means the copy is in place but the original could not be removed
// (wholly). fromPath and toPath word failures; action words them all: "move
// “/a” into the Safe Bin" gives "Could not move “/a” into the Safe Bin:
// <reason>."
MoveResult moveAt(int fromDir, const QByteArray& fromName, int toDir, const QByteArray& toName,
                  const QString& fromPath, const QString& toPath, const QString& action, const QString& tag = {},
                  const MoveOptions& options = {});

// The path with the symbolic links of its folders resolved (the last component
// is kept as it is, so a link is judged as itself). Folders that do not exist
// are taken as written below the deepest one that does.
QString resolvingParentLinks(const QString& absolutePath);
// The path with every symbolic link resolved, the last component included, as
// far as the path exists.
QString resolvingAllLinks(const QString& absolutePath);

// For tests only: consulted before each low-level step ("move" with the source,
// "rename" with the source of each rename a move tries (EXDEV makes it copy),
// "copy" with each source entry, "attribute" with "<item path>:<name>" of each
// extended attribute set, "remove" with each path to remove, "write" and
// "sync" with a store file about to be written, "check" with a path the Safe
// Bin has checked and is about to open); a non-zero errno makes that step fail.
using FaultHook = std::function<int(std::string_view operation, const QString& path)>;
void setFaultHookForTesting(FaultHook hook);
int injectedFault(std::string_view operation, const QString& path);

}  // namespace FileOperations

}  // namespace tarnwick
