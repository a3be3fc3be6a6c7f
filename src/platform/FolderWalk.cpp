#include "platform/FolderWalk.h"

#include "platform/DirectoryNames.h"
#include "platform/FileDescriptor.h"
#include "platform/FolderListing.h"
#include "platform/PackageRule.h"
#include "platform/PathCodec.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <memory>
#include <vector>

namespace tarnwick {

namespace {

// Folders nearest the current one keep their descriptor open; a folder
// further up closes its descriptor and reopens it by path (checked to be the
// same folder) when the walk comes back to it.
constexpr size_t kOpenWindow = 32;

struct Frame {
    FileDescriptor fd;
    QString path;
    QByteArray rawPath;
    quint64 device = 0;
    quint64 inode = 0;
    int depth = 0;  // depth of this folder's entries
    DirectoryNames names;
    size_t next = 0;
    bool broken = false;
};

bool sameFolder(int fd, quint64 device, quint64 inode) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    return static_cast<quint64>(st.st_dev) == device && static_cast<quint64>(st.st_ino) == inode;
}

FileEntry::Type typeFromListing(unsigned char type) {
    switch (type) {
    case DT_DIR: return FileEntry::Type::directory;
    case DT_REG: return FileEntry::Type::regularFile;
    case DT_LNK: return FileEntry::Type::symbolicLink;
    default: return FileEntry::Type::other;
    }
}

QByteArray childRawPath(const QByteArray& folder, std::string_view name) {
    QByteArray path = folder;
    if (!path.endsWith('/')) path += '/';
    path.append(name.data(), static_cast<qsizetype>(name.size()));
    return path;
}

class Walk {
public:
    Walk(const FolderWalk::Options& options, const FolderWalk::Visitor& visit, const std::stop_token& stop)
        : options_(options), visit_(visit), stop_(stop) {}

    bool run(const QString& root) {
        QString rootPath = root;
        while (rootPath.size() > 1 && rootPath.endsWith(QLatin1Char('/'))) rootPath.chop(1);
        if (rootPath.isEmpty()) return false;
        const QByteArray raw = PathCodec::encode(rootPath);
        const int fd = ::open(raw.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) return false;
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            ::close(fd);
            return false;
        }
        if (!push(fd, static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino), rootPath, raw, 1)) {
            return false;
        }
        loop();
        return true;
    }

private:
    // Takes fd; lists the folder and makes it the current one. False (fd
    // closed) when it cannot be listed.
    bool push(int fd, quint64 device, quint64 inode, QString path, QByteArray rawPath, int depth) {
        auto frame = std::make_unique<Frame>();
        frame->fd.reset(fd);
        if (!frame->names.read(fd, options_.includeHidden)) return false;
        frame->path = std::move(path);
        frame->rawPath = std::move(rawPath);
        frame->device = device;
        frame->inode = inode;
        frame->depth = depth;
        frames_.push_back(std::move(frame));
        if (frames_.size() > kOpenWindow) frames_[frames_.size() - 1 - kOpenWindow]->fd.reset();
        return true;
    }

    bool ensureOpen(Frame& frame) {
        if (frame.fd.valid()) return true;
        const int fd = ::open(frame.rawPath.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) return false;
        frame.fd.reset(fd);
        if (!sameFolder(fd, frame.device, frame.inode)) {
            frame.fd.reset();
            return false;
        }
        return true;
    }

    void loop() {
        while (!frames_.empty()) {
            Frame& frame = *frames_.back();
            if (frame.broken || frame.next >= frame.names.size() || !ensureOpen(frame)) {
                frames_.pop_back();
                continue;
            }
            if (stop_.stop_requested()) return;
            const size_t index = frame.next++;
            const char* name = frame.names.name(index);
            FileEntry entry;
            if (options_.readValues || frame.names.type(index) == DT_UNKNOWN) {
                struct stat st {};
                if (::fstatat(frame.fd.get(), name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // vanished
                entry.setValues(st);
                if (!options_.readValues) {
                    const FileEntry::Type type = entry.type;
                    entry = FileEntry();
                    entry.type = type;
                }
            } else {
                entry.type = typeFromListing(frame.names.type(index));
            }
            const std::string_view nameView = frame.names.nameView(index);
            entry.name = PathCodec::decode(nameView);
            entry.path = FolderListing::childPath(frame.path, entry.name);

            const FolderWalk::Step step = visit_(entry, frame.depth);
            if (step == FolderWalk::Step::stop) return;
            if (step == FolderWalk::Step::skipDescendants || !entry.isDirectory()) continue;
            if (!options_.enterPackages && PackageRule::isPackageName(nameView)) continue;
            enter(frame, name, nameView, entry);
        }
    }

    void enter(Frame& parent, const char* name, std::string_view nameView, FileEntry& entry) {
        const int fd = ::openat(parent.fd.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) return;
        struct stat st {};
        if (::fstat(fd, &st) != 0 ||
            (options_.readValues && !(static_cast<quint64>(st.st_dev) == entry.device &&
                                      static_cast<quint64>(st.st_ino) == entry.inode))) {
            ::close(fd);
            return;
        }
        const int depth = parent.depth + 1;
        push(fd, static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino), std::move(entry.path),
             childRawPath(parent.rawPath, nameView), depth);
    }

    const FolderWalk::Options& options_;
    const FolderWalk::Visitor& visit_;
    const std::stop_token& stop_;
    std::vector<std::unique_ptr<Frame>> frames_;
};

}  // namespace

bool FolderWalk::run(const QString& root, const Options& options, const Visitor& visit,
                     const std::stop_token& stop) {
    Walk walk(options, visit, stop);
    return walk.run(root);
}

}  // namespace tarnwick
