#pragma once

#include <QString>
#include <QStringList>

namespace tarnwick {

// How the Safe Bin words what went wrong: the codes of its own errors
// (FileError domain "Tarnwick"), which its callers know as
// SafeBinService::k…Code, and how a message names several paths.
namespace SafeBinErrors {

inline constexpr int kAlreadyExistsCode = 1;       // restore onto an existing item
inline constexpr int kManifestUnreadableCode = 2;  // manifest.json there but not readable/decodable
inline constexpr int kInvalidRecordCode = 3;       // an entry's stored name is not a plain name, or no such entry
inline constexpr int kInvalidPathCode = 4;         // a path that cannot be moved in or restored to
inline constexpr int kProtectedPathCode = 5;       // the protected-path guard refuses the path
inline constexpr int kPathChangedCode = 6;         // a folder on the path was swapped after the check
inline constexpr int kLockCode = 7;                // the bin could not be locked or its intent not recorded
inline constexpr int kMountPointCode = 8;          // a mount point at or inside the item
inline constexpr int kChangedCode = 9;             // not the item the scan saw, or changed since
inline constexpr int kSpecialFileCode = 10;        // a socket, pipe or device (or a folder holding one)
inline constexpr int kAttributesUnreadableCode = 11;  // put back, but what was kept of its attributes could not be read

// Failures named one by one in a message; the rest are counted.
inline constexpr qsizetype kNamedFailures = 3;

// "“~/a”, “~/b”, “~/c” and 2 more": a few paths for a message, home as "~"
// (see SafeBinService::pathListText()).
QString pathListText(const QStringList& paths);

}  // namespace SafeBinErrors

}  // namespace tarnwick
