#pragma once

#include "platform/FileDescriptor.h"
#include "support/FileError.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <string_view>

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
// never followed. Nothing at path is no failure. Carries on past an entry that
// cannot be removed and reports the first failure.
std::optional<FileError> removeItem(const QString& path);
// The same for the entry name of an open folder; path words the failure.
std::optional<FileError> removeItemAt(int dirFd, const QByteArray& name, const QString& path);

// The name of the temporary copy that a move across file systems makes
// beside its destination: ".tarnwick-partial-<tag>".
QByteArray partialName(const QString& tag);
inline constexpr std::string_view kPartialPrefix = ".tarnwick-partial-";

struct MoveResult {
    bool arrived = false;             // the item is now at the destination
    std::optional<FileError> error;   // set when anything failed
};
// Moves the entry fromName of the folder fromDir to toName in toDir without
// replacing anything there. Across file systems it copies (folders recursively,
// symbolic links as links, special files as nodes, the holes of sparse files
// kept as holes; permissions, times and, where allowed, owners kept) to partialName(tag)
// beside the destination (a random tag when empty), flushes that file system,
// renames the copy into place and only then removes the original; a failed
// copy leaves the original untouched and removes the partial copy. arrived
// with an error means the copy is in place but the original could not be
// removed (wholly). fromPath and toPath word failures; action words them all:
// "move “/a” into the Safe Bin" gives "Could not move “/a” into the Safe Bin:
// <reason>."
MoveResult moveAt(int fromDir, const QByteArray& fromName, int toDir, const QByteArray& toName,
                  const QString& fromPath, const QString& toPath, const QString& action, const QString& tag = {});

// The path with the symbolic links of its folders resolved (the last component
// is kept as it is, so a link is judged as itself). Folders that do not exist
// are taken as written below the deepest one that does.
QString resolvingParentLinks(const QString& absolutePath);
// The path with every symbolic link resolved, the last component included, as
// far as the path exists.
QString resolvingAllLinks(const QString& absolutePath);

// For tests only: consulted before each low-level step ("move" with the source,
// "rename" with the source of each rename a move tries (EXDEV makes it copy),
// "copy" with each source entry, "remove" with each path to remove, "write" and
// "sync" with a store file about to be written, "check" with a path the Safe
// Bin has checked and is about to open); a non-zero errno makes that step fail.
using FaultHook = std::function<int(std::string_view operation, const QString& path)>;
void setFaultHookForTesting(FaultHook hook);
int injectedFault(std::string_view operation, const QString& path);

}  // namespace FileOperations

}  // namespace tarnwick
