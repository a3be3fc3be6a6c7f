#include "services/scan/DiskScanner.h"

#include "models/InsightsBuilder.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace tarnwick {

namespace {

// Folders nearest the current one that keep their descriptor open; folders
// further up close theirs and reopen it when the walk returns to them.
constexpr size_t kOpenWindow = 64;
// One read of a folder listing fetches up to this many bytes of entries.
constexpr size_t kListingBufferSize = 256 * 1024;
// A folder's child list reserves room for at most this many entries.
constexpr size_t kChildReserve = 64;

const QSet<QString>& skipList() {
    // Pseudo file systems, device folders, other users' automounts, swap and
    // system volumes that are not user data.
    static const QSet<QString> paths = {
        QStringLiteral("/dev"),
        QStringLiteral("/proc"),
        QStringLiteral("/sys"),
        QStringLiteral("/net"),
        QStringLiteral("/Network"),
        QStringLiteral("/automount"),
        QStringLiteral("/private/var/vm"),
        QStringLiteral("/System/Volumes/Data/private/var/vm"),
        QStringLiteral("/System/Volumes/Preboot"),
        QStringLiteral("/System/Volumes/VM"),
        QStringLiteral("/System/Volumes/Update"),
        QStringLiteral("/System/Volumes/xarts"),
        QStringLiteral("/System/Volumes/iSCPreboot"),
        QStringLiteral("/System/Volumes/Hardware"),
        QStringLiteral("/System/Volumes/Recovery"),
        QStringLiteral("/System/Volumes/BaseSystem"),
    };
    return paths;
}

bool shouldSkipDirectory(const QString& path) {
    if (skipList().contains(path)) return true;
    static const QString volumes = QStringLiteral("/Volumes/");
    return path.startsWith(volumes) &&
           path.indexOf(QLatin1String("com.apple.TimeMachine"), volumes.size()) >= 0;
}

// The walked folder's name: its last path component; "/" names itself. The
// start-up volume's own name is given by the accounting that wraps its walk.
QString displayName(const QString& path) {
    const QString last = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    return last.isEmpty() ? path : last;
}

// A name from a folder listing as text. Bytes that are not UTF-8 become
// replacement characters; the walk itself keeps using the raw bytes.
QString decodeName(std::string_view name) {
    return QFile::decodeName(QByteArray::fromRawData(name.data(), static_cast<qsizetype>(name.size())));
}

QString childPath(const QString& folder, std::string_view name) {
    QString path = folder;
    if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
    path += decodeName(name);
    return path;
}

// The root as an absolute path without trailing slashes; relative paths are
// taken from the current folder. Empty stays empty (and cannot be listed).
QString normalizedRoot(const QString& rootPath) {
    if (rootPath.isEmpty()) return rootPath;
    QString path = QDir::isAbsolutePath(rootPath) ? rootPath : QDir::current().absoluteFilePath(rootPath);
    return QDir::cleanPath(path);
}

// The space a file takes: its allocated blocks when the file system reports
// any, else its logical length, else 0.
qint64 allocatedSize(const struct stat& st) {
    const qint64 allocated = static_cast<qint64>(st.st_blocks) * 512;
    if (allocated >= 1) return allocated;
    if (st.st_size >= 1) return static_cast<qint64>(st.st_size);
    return 0;
}

qint64 modifiedMSecs(const struct stat& st) {
    return static_cast<qint64>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

qint64 monotonicMSecs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<qint64>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

struct FileId {
    dev_t device;
    ino_t inode;
    bool operator==(const FileId&) const = default;
};

struct FileIdHash {
    size_t operator()(const FileId& id) const noexcept {
        const quint64 mixed = (static_cast<quint64>(id.inode) * 0x9E3779B97F4A7C15ull) ^ static_cast<quint64>(id.device);
        return static_cast<size_t>(mixed ^ (mixed >> 29));
    }
};

FileId fileId(const struct stat& st) {
    return {st.st_dev, st.st_ino};
}

ScanNodePtr makeNode(QString name, QString path, NodeKind kind, qint64 size = 0,
                     std::vector<ScanNodePtr> children = {}) {
    return ScanNode::create(QUuid::createUuid(), std::move(name), std::move(path), kind, size, std::move(children));
}

void closeDescriptor(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

// The state of one walk. Folders on the current walk path are frames on an
// explicit stack, so the depth of a tree costs neither call stack nor (past a
// window) descriptors. The listings of those folders live in one byte arena
// used as a stack: each record is the entry's type byte, its name and a NUL.
class DiskScanner::Walk {
public:
    Walk(DiskScanner& scanner, const std::function<void(const ScanProgress&)>& onProgress)
        : scanner_(scanner), onProgress_(onProgress), buffer_(new char[kListingBufferSize]) {}

    ~Walk() {
        for (Frame& frame : frames_) closeDescriptor(frame.fd);
    }

    ScanNodePtr run(const QString& rootPath);
    ScanInsights insights() const { return insights_.finalize(); }

private:
    struct Frame {
        int fd = -1;             // -1 while closed to bound the descriptors in use
        FileId id{};
        bool followed = false;   // entered through a symbolic link, so ".." is not its parent
        bool broken = false;     // could not be reopened: its remaining entries are dropped
        size_t nameAt = 0;       // its name in the parent's listing (arena offset)
        size_t begin = 0;        // its own listing in the arena
        size_t cursor = 0;
        size_t end = 0;
        QString path;
        QString name;
        std::vector<ScanNodePtr> children;
        qint64 smallBytes = 0;
        qint64 smallCount = 0;
    };

    bool cancelled() const { return scanner_.cancelled_.load(std::memory_order_relaxed); }
    const char* nameAt(size_t offset) const { return arena_.data() + offset; }

    bool list(int fd, size_t* entryCount);
    bool pushFolder(int fd, const struct stat& st, QString path, QString name, bool followed, size_t nameAt);
    ScanNodePtr popFolder();
    void reopen(size_t index);
    void handleEntry();
    // How a subfolder was reached: as a folder entry, through a symbolic
    // link, or as an entry whose own values were unreadable but that opens as a folder.
    enum class Entry { folder, link, probed };
    void enterFolder(size_t nameAt, std::string_view name, const QString& path, Entry entry);
    bool countedElsewhere(int fd, const struct stat& st) const;
    void countFile(std::string_view name, qint64 size, std::optional<qint64> modified);
    template <typename PathOf>
    void progressCheck(PathOf pathOf);

    DiskScanner& scanner_;
    const std::function<void(const ScanProgress&)>& onProgress_;
    std::unique_ptr<char[]> buffer_;
    std::vector<char> arena_;
    std::vector<Frame> frames_;
    std::unordered_set<FileId, FileIdHash> onPath_;
    std::unordered_set<FileId, FileIdHash> linkedFiles_;  // files with several links, once counted
    std::unordered_set<FileId, FileIdHash> linkTargets_;  // folders walked through a symbolic link
    InsightsBuilder insights_;
    QString rootPath_;
    dev_t rootDevice_ = 0;
    FileId rootId_{};
    qint64 files_ = 0;
    qint64 bytes_ = 0;
    qint64 lastReportMs_ = std::numeric_limits<qint64>::min() / 2;  // long before any walk
};

ScanResult DiskScanner::scan(const QString& rootPath, const std::function<void(const ScanProgress&)>& onProgress) {
    files_.store(0, std::memory_order_relaxed);
    bytes_.store(0, std::memory_order_relaxed);
    ScanResult result;
    {
        Walk walk(*this, onProgress);
        result.root = walk.run(normalizedRoot(rootPath));
        result.root->finalize(kMergeThreshold);
        result.insights = walk.insights();
    }
    cancelled_.store(false, std::memory_order_relaxed);
    return result;
}

ScanNodePtr DiskScanner::Walk::run(const QString& rootPath) {
    rootPath_ = rootPath;
    QString name = displayName(rootPath);
    if (cancelled()) return makeNode(std::move(name), rootPath, NodeKind::dir);
    if (shouldSkipDirectory(rootPath)) return makeNode(std::move(name), rootPath, NodeKind::restricted);

    // The root itself may be a link or a volume root; both are fine.
    const QByteArray encoded = QFile::encodeName(rootPath);
    int fd = encoded.isEmpty() ? -1 : ::open(encoded.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st{};
    if (fd >= 0 && ::fstat(fd, &st) != 0) closeDescriptor(fd);
    if (fd < 0) return makeNode(std::move(name), rootPath, NodeKind::restricted);
    rootDevice_ = st.st_dev;
    rootId_ = fileId(st);
    if (!pushFolder(fd, st, rootPath, name, true, 0)) {
        return makeNode(std::move(name), rootPath, NodeKind::restricted);
    }

    for (;;) {
        Frame& frame = frames_.back();
        if (frame.fd < 0 && !frame.broken) reopen(frames_.size() - 1);
        if (frame.broken || frame.cursor >= frame.end || cancelled()) {
            ScanNodePtr node = popFolder();
            if (frames_.empty()) return node;
            const QString& path = node->path;
            frames_.back().children.push_back(node);
            progressCheck([&] { return path; });
            continue;
        }
        handleEntry();
    }
}

// Reads a whole folder listing into the arena. On failure the arena is left
// as it was.
bool DiskScanner::Walk::list(int fd, size_t* entryCount) {
    const size_t start = arena_.size();
    size_t count = 0;
    for (;;) {
        const ssize_t read = ::getdents64(fd, buffer_.get(), kListingBufferSize);
        if (read < 0) {
            if (errno == EINTR) continue;
            arena_.resize(start);
            return false;
        }
        if (read == 0) break;
        for (ssize_t at = 0; at < read;) {
            const auto* entry = reinterpret_cast<const struct dirent64*>(buffer_.get() + at);
            at += entry->d_reclen;
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
            const size_t length = std::strlen(name);
            arena_.push_back(static_cast<char>(entry->d_type));
            arena_.insert(arena_.end(), name, name + length + 1);
            ++count;
        }
    }
    *entryCount = count;
    return true;
}

// Lists the folder open at fd and makes it the current frame. On failure
// closes fd and returns false.
bool DiskScanner::Walk::pushFolder(int fd, const struct stat& st, QString path, QString name, bool followed,
                                   size_t nameAt) {
    const size_t begin = arena_.size();
    size_t count = 0;
    if (!list(fd, &count)) {
        ::close(fd);
        return false;
    }
    Frame& frame = frames_.emplace_back();
    frame.fd = fd;
    frame.id = fileId(st);
    frame.followed = followed;
    frame.nameAt = nameAt;
    frame.begin = begin;
    frame.cursor = begin;
    frame.end = arena_.size();
    frame.path = std::move(path);
    frame.name = std::move(name);
    frame.children.reserve(std::min(count, kChildReserve));
    onPath_.insert(frame.id);
    if (frames_.size() > kOpenWindow) closeDescriptor(frames_[frames_.size() - 1 - kOpenWindow].fd);
    return true;
}

// Finishes the current folder into its node and returns to its parent.
ScanNodePtr DiskScanner::Walk::popFolder() {
    Frame& frame = frames_.back();
    if (frame.smallCount >= 1) {
        ScanNodePtr small = makeNode(ScanNode::smallFilesName(frame.smallCount), frame.path, NodeKind::file,
                                     frame.smallBytes);
        small->isAggregate = true;
        frame.children.push_back(std::move(small));
    }
    qint64 size = 0;
    for (const ScanNodePtr& child : frame.children) size += child->size;
    ScanNodePtr node = makeNode(std::move(frame.name), std::move(frame.path), NodeKind::dir, size,
                                std::move(frame.children));

    // A parent whose descriptor was closed is reached again through "..",
    // which is cheap, when this folder was entered directly from it.
    if (frames_.size() >= 2) {
        Frame& parent = frames_[frames_.size() - 2];
        if (parent.fd < 0 && !parent.broken && !frame.followed && frame.fd >= 0) {
            int up = ::openat(frame.fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            struct stat st{};
            if (up >= 0 && ::fstat(up, &st) == 0 && fileId(st) == parent.id) {
                parent.fd = up;
            } else {
                closeDescriptor(up);
            }
        }
    }
    closeDescriptor(frame.fd);
    onPath_.erase(frame.id);
    arena_.resize(frame.begin);
    frames_.pop_back();
    return node;
}

// Reopens the descriptor of frames_[index] from the nearest ancestor that
// still has one (or from the root path), checking that every folder on the
// way is still the one that was walked. A folder that cannot be reopened
// keeps what it has counted and drops its remaining entries.
void DiskScanner::Walk::reopen(size_t index) {
    size_t first = index;
    while (first > 0 && frames_[first - 1].fd < 0 && !frames_[first - 1].broken) --first;
    int fd = -1;
    for (size_t i = first; i <= index; ++i) {
        Frame& frame = frames_[i];
        if (i == 0) {
            const QByteArray encoded = QFile::encodeName(rootPath_);
            fd = ::open(encoded.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        } else {
            const int parentFd = frames_[i - 1].fd;
            fd = parentFd < 0 ? -1
                              : ::openat(parentFd, nameAt(frame.nameAt),
                                         O_RDONLY | O_DIRECTORY | O_CLOEXEC | (frame.followed ? 0 : O_NOFOLLOW));
        }
        struct stat st{};
        if (fd >= 0 && (::fstat(fd, &st) != 0 || fileId(st) != frame.id)) closeDescriptor(fd);
        if (fd < 0) {
            for (size_t j = i; j <= index; ++j) frames_[j].broken = true;
            break;
        }
        frame.fd = fd;
    }
    // Keep only the window nearest the current folder open.
    const size_t depth = frames_.size();
    for (size_t i = first; i + kOpenWindow < depth && i <= index; ++i) closeDescriptor(frames_[i].fd);
}

void DiskScanner::Walk::handleEntry() {
    Frame& frame = frames_.back();
    const size_t recordAt = frame.cursor;
    const unsigned char type = static_cast<unsigned char>(arena_[recordAt]);
    const size_t nameOffset = recordAt + 1;
    const std::string_view name(nameAt(nameOffset));
    frame.cursor = nameOffset + name.size() + 1;
    const int fd = frame.fd;

    // The entry's own values (of the link itself, for a link). A link known
    // from the listing needs only its target's values.
    struct stat st{};
    bool known = false;
    bool isLink = type == DT_LNK;
    if (!isLink) {
        if (::fstatat(fd, name.data(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            known = true;
            isLink = S_ISLNK(st.st_mode);
        } else if (errno == ENOENT) {
            return;  // gone since the listing
        }
    }

    if (isLink) {
        // Followed only into a folder on the walked root's device that is not
        // on the current walk path (and, once open, whose contents are not
        // counted elsewhere); links to files and dangling links are not counted.
        struct stat target{};
        if (::fstatat(fd, name.data(), &target, 0) != 0 || !S_ISDIR(target.st_mode)) return;
        if (target.st_dev != rootDevice_ || onPath_.contains(fileId(target))) return;
        const QString path = childPath(frame.path, name);
        if (shouldSkipDirectory(path)) return;
        enterFolder(nameOffset, name, path, Entry::link);
        return;
    }

    bool isDirectory = known && S_ISDIR(st.st_mode);
    bool followed = false;
    struct stat probe{};
    const struct stat* values = known ? &st : nullptr;
    if (!known && ::fstatat(fd, name.data(), &probe, 0) == 0) {
        isDirectory = S_ISDIR(probe.st_mode);
        followed = true;
        if (isDirectory) values = &probe;
    }

    if (isDirectory) {
        // A different device is a mount point: the walk stays on the root's
        // file system. A folder already on the walk path (a bind mount of an
        // ancestor) would never end.
        if (values->st_dev != rootDevice_ || onPath_.contains(fileId(*values))) return;
        // A folder that was walked through a link already (one outside the
        // walked root) is counted there.
        if (!linkTargets_.empty() && linkTargets_.contains(fileId(*values))) return;
        const QString path = childPath(frame.path, name);
        if (shouldSkipDirectory(path)) return;
        enterFolder(nameOffset, name, path, followed ? Entry::probed : Entry::folder);
        return;
    }

    if (known && st.st_nlink > 1 && !linkedFiles_.insert(fileId(st)).second) return;  // counted at its first link
    if (known) {
        countFile(name, allocatedSize(st), modifiedMSecs(st));
    } else {
        // Its own values are unreadable: the length of the item, when that
        // can be read, is the only size there is, and there is no date.
        countFile(name, followed ? std::max<qint64>(probe.st_size, 0) : 0, std::nullopt);
    }
}

// A file of the current folder: counted, offered to the insights, and given
// a node of its own or summed into the folder's small files.
void DiskScanner::Walk::countFile(std::string_view name, qint64 size, std::optional<qint64> modified) {
    Frame& frame = frames_.back();
    insights_.consider(name, frame.path, size, modified);
    ++files_;
    bytes_ += size;
    scanner_.files_.store(files_, std::memory_order_relaxed);
    scanner_.bytes_.store(bytes_, std::memory_order_relaxed);
    if (size >= kLeafFoldThreshold) {
        frame.children.push_back(makeNode(decodeName(name), childPath(frame.path, name), NodeKind::file, size));
    } else if (size >= 1) {
        frame.smallBytes += size;
        ++frame.smallCount;
    }
    progressCheck([&] { return childPath(frame.path, name); });
}

// A subfolder of the current folder: becomes the current frame, or, when it
// cannot be listed, a restricted node of the current folder.
void DiskScanner::Walk::enterFolder(size_t nameOffset, std::string_view name, const QString& path, Entry entry) {
    QString folderName = decodeName(name);
    auto addChild = [&](NodeKind kind) {
        frames_.back().children.push_back(makeNode(std::move(folderName), path, kind));
        progressCheck([&] { return path; });
    };
    if (cancelled() && entry != Entry::link) return addChild(NodeKind::dir);

    const bool followed = entry != Entry::folder;
    int fd = ::openat(frames_.back().fd, name.data(),
                      O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followed ? 0 : O_NOFOLLOW));
    struct stat st{};
    if (fd >= 0 && ::fstat(fd, &st) != 0) closeDescriptor(fd);
    if (fd >= 0 && (st.st_dev != rootDevice_ || onPath_.contains(fileId(st)))) {
        ::close(fd);  // became a mount point or a loop since it was looked at
        return;
    }
    if (fd >= 0 && entry == Entry::link) {
        if (countedElsewhere(fd, st)) {
            ::close(fd);
            return;
        }
        if (cancelled()) {
            ::close(fd);
            return addChild(NodeKind::dir);
        }
        linkTargets_.insert(fileId(st));
    }
    if (fd < 0 || !pushFolder(fd, st, path, folderName, followed, nameOffset)) {
        // pushFolder did not add a frame when it failed.
        addChild(NodeKind::restricted);
    }
}

// True when the folder open at fd is the walked root or lies below it, or is
// (or lies below) a folder already walked through a link: its contents are
// counted at that place, so a link to it is not followed. Climbs through ".."
// up to the file system's root.
bool DiskScanner::Walk::countedElsewhere(int fd, const struct stat& st) const {
    FileId id = fileId(st);
    if (id == rootId_ || linkTargets_.contains(id)) return true;
    bool counted = false;
    int current = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int steps = 0; current >= 0 && steps < 4096; ++steps) {
        struct stat up{};
        if (::fstat(current, &up) != 0) break;
        const FileId upId = fileId(up);
        if (upId == rootId_ || linkTargets_.contains(upId)) {
            counted = true;
            break;
        }
        if (upId == id) break;  // the top, which is its own parent
        id = upId;
        const int next = ::openat(current, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(current);
        current = next;
    }
    closeDescriptor(current);
    return counted;
}

template <typename PathOf>
void DiskScanner::Walk::progressCheck(PathOf pathOf) {
    const qint64 now = monotonicMSecs();
    if (files_ % kProgressFileStep != 0 && now - lastReportMs_ <= kProgressIntervalMs) return;
    lastReportMs_ = now;
    if (onProgress_) onProgress_(ScanProgress{files_, bytes_, pathOf()});
}

}  // namespace tarnwick
