#pragma once

#include <QString>
#include <QStringView>

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <unordered_set>
#include <vector>

namespace tarnwick {

// What the serial and the parallel walk share: which folders are skipped,
// how entries are measured and named, and how a folder is listed.
namespace WalkRules {

// A file at or above this many bytes gets a node of its own.
constexpr qint64 kLeafFoldThreshold = 262144;
// A progress report is due when the file count reaches (serial) or passes
// (parallel) a multiple of this, or after this many milliseconds.
constexpr qint64 kProgressFileStep = 400;
constexpr qint64 kProgressIntervalMs = 250;
// One read of a folder listing fetches up to this many bytes of entries.
constexpr size_t kListingBufferSize = 256 * 1024;
// A folder's child list reserves room for at most this many entries.
constexpr size_t kChildReserve = 64;

struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileId&) const = default;
};

struct FileIdHash {
    size_t operator()(const FileId& id) const noexcept {
        const quint64 mixed = (static_cast<quint64>(id.inode) * 0x9E3779B97F4A7C15ull) ^ static_cast<quint64>(id.device);
        return static_cast<size_t>(mixed ^ (mixed >> 29));
    }
};

using FileIdSet = std::unordered_set<FileId, FileIdHash>;

inline FileId fileId(const struct stat& st) {
    return {st.st_dev, st.st_ino};
}

// Pseudo file systems, device folders, automounts, swap and system volumes
// that are not user data; also any folder of a mounted backup below /Volumes.
bool shouldSkipDirectory(const QString& path);

// What the skip test needs to know of a folder's path, kept without the
// path itself: its length and whether its subfolders lie below /Volumes/.
struct PathFacts {
    qsizetype length = 0;
    bool inVolumes = false;

    static PathFacts of(const QString& path);
    PathFacts child(QStringView name) const;
};

// Whether the subfolder `name` of a folder (its facts, and its path on
// demand) is skipped. The folder itself passed the skip test, so only a
// subfolder path short enough to be on the list is ever put together.
template <typename FolderPath>
bool skipsSubfolder(const PathFacts& folder, const QString& name, FolderPath folderPath);

// The walked folder's name: its last path component; "/" names itself. The
// start-up volume's own name is given by the accounting that wraps its walk.
QString displayName(const QString& path);
// The root as an absolute path without trailing slashes; relative paths are
// taken from the current folder. Empty stays empty (and cannot be listed).
QString normalizedRoot(const QString& rootPath);
// folder + "/" + name, without doubling a slash.
QString joinPath(const QString& folder, const QString& name);

// The space a file takes on disk: its allocated blocks, also when that is 0
// (a hole-only sparse file takes no space), held at the 64-bit range.
qint64 allocatedSize(const struct stat& st);
qint64 modifiedMSecs(const struct stat& st);

// What an entry of a listing is, found with the fewest calls: its own
// values (AT_SYMLINK_NOFOLLOW); for a link, its target's; for an entry whose
// own values cannot be read, what it leads to.
struct EntryLook {
    enum class Kind {
        ignored,       // gone since the listing, or a link to a file or to nothing: not counted
        linkedFolder,  // a symbolic link to a folder; values are the target's
        folder,        // values are its own
        probedFolder,  // its own values were unreadable, but it opens as a folder; values are the target's
        file,          // anything else that is counted
    };
    Kind kind = Kind::ignored;
    struct stat values{};
    bool known = false;  // a file's own values were read (values hold them)
    qint64 size = 0;     // a file's space on disk
    std::optional<qint64> modified;  // a file's modification time, when known
};
EntryLook lookAt(int folderFd, unsigned char type, const char* name);

// Opens the walked root as a folder (following a link), or -1; st (when
// given) receives its values.
int openRoot(const QString& rootPath, struct stat* st = nullptr);
// Reads a whole folder listing into arena as records (the entry's type
// byte, its name, a NUL), "." and ".." left out, and counts the entries.
// On failure the arena is left as it was.
bool readListing(int fd, char* buffer, size_t bufferSize, std::vector<char>& arena, size_t* entryCount);
// The folder open at rootFd and every folder above it up to its file
// system's top: a link to any of them would walk the root again.
FileIdSet folderAndAncestors(int rootFd);
// Whether the folder open at fd (with values st), reached through a link, is
// the walked root or lies below it, or is or lies below a folder already
// walked through a link: its contents are counted at that place, so the link
// is not followed. Climbs through ".." up to the file system's top.
bool countedElsewhere(int fd, const struct stat& st, const FileId& rootId, const FileIdSet& linkTargets);
// The program's own support folders (the current and the earlier one) that
// exist: their contents stay out of the insights.
FileIdSet supportFolders();

// The path of the folder open at fd in the kernel's form (links resolved),
// as the mount table writes it (WalkBoundary); empty when it cannot be read.
QString openedPath(int fd);

// The number of threads a walk of a folder on this device uses by default:
// four per core, at most 32, and one when the device is a disk that really
// spins (StorageDevice::spins: a virtual machine's disk, marked rotational,
// takes the pool).
int defaultThreads(dev_t device);

// ------------------------------------------------------------ templates

constexpr qsizetype kLongestSkipListed = 35;  // "/System/Volumes/Data/private/var/vm"

template <typename FolderPath>
bool skipsSubfolder(const PathFacts& folder, const QString& name, FolderPath folderPath) {
    // A mounted backup: the folder passed the test, so the marker can only be in the name.
    if (folder.inVolumes && name.contains(QLatin1String("com.apple.TimeMachine"))) return true;
    if (folder.child(name).length > kLongestSkipListed) return false;
    return shouldSkipDirectory(joinPath(folderPath(), name));
}

}  // namespace WalkRules

}  // namespace tarnwick
