#include "platform/FileOperations.h"

#include "platform/PathCodec.h"
#include "support/JsonCoding.h"
#include "support/PathRules.h"

#include <QStringList>
#include <QUuid>

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace tarnwick::FileOperations {

namespace {

FaultHook& faultHook() {
    static FaultHook hook;
    return hook;
}

QByteArray native(const QString& path) { return PathCodec::encode(path); }

// The names in an open folder, without "." and "..". Returns 0 or errno.
int listNames(int directoryFd, std::vector<QByteArray>& names) {
    const int copy = ::fcntl(directoryFd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return errno;
    DIR* dir = ::fdopendir(copy);
    if (!dir) {
        const int error = errno;
        ::close(copy);
        return error;
    }
    ::rewinddir(dir);
    int error = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            error = errno;
            break;
        }
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..") continue;
        names.push_back(name);
    }
    ::closedir(dir);
    return error;
}

QString childPath(const QString& parent, const QByteArray& name) {
    return PathRules::appendingPathComponent(parent, PathCodec::decode(name));
}

bool writeAll(int fd, const char* data, ssize_t size, int& error) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(size));
        if (written < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

// Copies [offset, end of file) sequentially. Returns 0 or errno.
int copyStream(int in, int out, off_t offset, std::vector<char>& buffer) {
    if (::lseek(in, offset, SEEK_SET) < 0 || ::lseek(out, offset, SEEK_SET) < 0) return errno;
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (got == 0) return 0;
        int error = 0;
        if (!writeAll(out, buffer.data(), got, error)) return error;
    }
}

// Copies length bytes at offset from in to the same place in out.
int copyRange(int in, int out, off_t offset, off_t length, std::vector<char>& buffer) {
    while (length > 0) {
        const size_t want = static_cast<size_t>(std::min<off_t>(length, static_cast<off_t>(buffer.size())));
        const ssize_t got = ::pread(in, buffer.data(), want, offset);
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (got == 0) return 0;  // the file got shorter meanwhile
        for (ssize_t done = 0; done < got;) {
            const ssize_t written = ::pwrite(out, buffer.data() + done, static_cast<size_t>(got - done), offset + done);
            if (written < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            if (written == 0) return EIO;
            done += written;
        }
        offset += got;
        length -= got;
    }
    return 0;
}

// Copies the contents of one open file into another, region by region: the
// holes of a sparse file are skipped, so they stay holes in the copy (a
// disk image that uses 4 KB of its 1 GiB stays that small). Where the file
// system cannot tell holes apart, the whole file is copied. Returns 0 or errno.
int copyContents(int in, int out, std::vector<char>& buffer) {
    off_t position = 0;
    for (;;) {
        const off_t data = ::lseek(in, position, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO) break;  // only a hole (or nothing) is left
            if (errno == EINVAL || errno == EOPNOTSUPP) return copyStream(in, out, position, buffer);
            return errno;
        }
        const off_t hole = ::lseek(in, data, SEEK_HOLE);
        if (hole < 0) return errno;
        if (const int error = copyRange(in, out, data, hole - data, buffer)) return error;
        position = hole;
    }
    // A hole at the end is no data to write: give the copy its full length.
    struct stat st {};
    if (::fstat(in, &st) != 0) return errno;
    if (::ftruncate(out, st.st_size) != 0) return errno;
    return 0;
}

struct CopyContext {
    dev_t device = 0;               // the file system the item lives on: the copy never leaves it
    bool allowSpecialFiles = false;
    std::vector<char> buffer = std::vector<char>(std::size_t(1) << 20);
    QString top;                    // the copy's own path: attributes are named relative to it
    AttributePolicy* attributes = nullptr;  // never null during a copy
    QString failedAttribute;        // the attribute that failed the copy, if one did
    qint64 failedAttributeBytes = 0;
};

// The names of the extended attributes of an open item; none when it has
// none or they cannot be listed.
QByteArray attributeNames(int fd) {
    QByteArray names;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = ::flistxattr(fd, nullptr, 0);
        if (size <= 0) return {};
        names.resize(size);
        const ssize_t got = ::flistxattr(fd, names.data(), size_t(names.size()));
        if (got >= 0) {
            names.truncate(got);
            return names;
        }
        if (errno != ERANGE) return {};
    }
    return {};
}

std::vector<QByteArray> splitNames(const QByteArray& names) {
    std::vector<QByteArray> split;
    for (const QByteArray& name : names.split('\0')) {
        if (!name.isEmpty()) split.push_back(name);
    }
    return split;
}

// Copies the extended attributes of one open item to another: user
// attributes (user.xdg.origin.url among them), ACLs (system.posix_acl_*) and
// whatever else the system lets this process write, as far as
// context.attributes lets them go. One that is not ours to set is passed
// over; one the target's file system cannot hold is what the policy says; a
// full disk or an I/O error fails the copy. Where the policy asks, a target
// that carries more than the item had (inherited from its new folders) is
// noted. Returns 0 or errno.
int copyAttributes(int in, int out, const QString& targetPath, CopyContext& context) {
    AttributePolicy& policy = *context.attributes;
    const QByteArray relative =
        PathCodec::encode(targetPath == context.top ? QString() : targetPath.mid(context.top.size() + 1));
    const std::vector<QByteArray> names = splitNames(attributeNames(in));
    QByteArray value;
    for (const QByteArray& name : names) {
        if (!policy.goes(relative, name)) continue;
        ssize_t size = ::fgetxattr(in, name.constData(), nullptr, 0);
        if (size < 0) continue;
        value.resize(size);
        size = ::fgetxattr(in, name.constData(), value.data(), size_t(value.size()));
        if (size < 0) continue;
        value.truncate(size);
        const int error = ExtendedAttributes::setOn(out, name, value, targetPath);
        if (error == 0) continue;
        if (AttributePolicy::cannotHold(error, out, size)) {
            switch (policy.whenUnheld(relative, name)) {
            case AttributePolicy::Unheld::fail:
                context.failedAttribute = QString::fromUtf8(name);
                context.failedAttributeBytes = size;
                return error == ENOSPC ? E2BIG : error;
            case AttributePolicy::Unheld::keepBeside: policy.keepBeside({relative, name, value}); continue;
            case AttributePolicy::Unheld::passOver: continue;
            }
        }
        if (error == ENOSPC || error == EDQUOT || error == EIO) return error;
    }
    if (policy.notesGains()) {
        const std::vector<QByteArray> carried = splitNames(attributeNames(out));
        const bool gained = std::any_of(carried.begin(), carried.end(), [&](const QByteArray& name) {
            return std::find(names.begin(), names.end(), name) == names.end();
        });
        if (gained) policy.noteGained({relative, names});
    }
    return 0;
}

std::optional<FileError> copyEntry(int sourceDir, const QByteArray& sourceName, int targetDir,
                                   const QByteArray& targetName, const QString& sourcePath,
                                   const QString& targetPath, CopyContext& context) {
    auto failure = [&](int error) {
        return FileError::system(error, QStringLiteral("Could not copy ") + FileError::quoted(sourcePath) +
                                            QStringLiteral(" to ") + FileError::quoted(targetPath));
    };
    auto attributeFailure = [&](int error) {
        if (context.failedAttribute.isEmpty()) return failure(error);
        return AttributePolicy::unheldError(error, QStringLiteral("Could not copy ") + FileError::quoted(sourcePath) +
                                                          QStringLiteral(" with its attribute ") +
                                                          FileError::quoted(context.failedAttribute),
                                               context.failedAttributeBytes);
    };
    auto refusal = [&](const QString& why) {
        return FileError::system(EXDEV, QStringLiteral("Could not copy ") + FileError::quoted(sourcePath) + why);
    };
    if (const int fault = injectedFault("copy", sourcePath)) return failure(fault);

    struct stat st {};
    bool mountRoot = false;
    if (const int error = statEntry(sourceDir, sourceName.constData(), st, mountRoot)) return failure(error);
    if (mountRoot || st.st_dev != context.device) return refusal(QStringLiteral(": it is a mount point"));
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    const mode_t permissions = st.st_mode & 07777;

    if (S_ISLNK(st.st_mode)) {
        QByteArray target(st.st_size > 0 ? st.st_size + 1 : 256, '\0');
        for (;;) {
            const ssize_t length = ::readlinkat(sourceDir, sourceName.constData(), target.data(), target.size());
            if (length < 0) return failure(errno);
            if (length < target.size()) {
                target.truncate(length);
                break;
            }
            target.resize(target.size() * 2);
        }
        if (::symlinkat(target.constData(), targetDir, targetName.constData()) != 0) return failure(errno);
        (void)::fchownat(targetDir, targetName.constData(), st.st_uid, st.st_gid, AT_SYMLINK_NOFOLLOW);
        (void)::utimensat(targetDir, targetName.constData(), times, AT_SYMLINK_NOFOLLOW);
        return std::nullopt;
    }

    if (S_ISREG(st.st_mode)) {
        FileDescriptor in(::openat(sourceDir, sourceName.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!in.valid()) return failure(errno);
        FileDescriptor out(::openat(targetDir, targetName.constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!out.valid()) return failure(errno);
        if (const int error = copyContents(in.get(), out.get(), context.buffer)) return failure(error);
        // The owner first: changing it clears set-id bits and capabilities,
        // which the attributes and the mode then restore. The attributes
        // before the mode: a user's attributes are set only while the owner
        // may write, and a read-only original would lose them.
        (void)::fchown(out.get(), st.st_uid, st.st_gid);
        if (const int error = copyAttributes(in.get(), out.get(), targetPath, context)) return attributeFailure(error);
        (void)::fchmod(out.get(), permissions);
        (void)::futimens(out.get(), times);
        if (const int error = out.close()) return failure(error);
        return std::nullopt;
    }

    if (S_ISDIR(st.st_mode)) {
        FileDescriptor source(::openat(sourceDir, sourceName.constData(),
                                       O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!source.valid()) return failure(errno);
        if (::mkdirat(targetDir, targetName.constData(), 0700) != 0) return failure(errno);
        FileDescriptor target(::openat(targetDir, targetName.constData(),
                                       O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!target.valid()) return failure(errno);
        std::vector<QByteArray> names;
        if (const int error = listNames(source.get(), names)) return failure(error);
        for (const QByteArray& name : names) {
            if (auto error = copyEntry(source.get(), name, target.get(), name, childPath(sourcePath, name),
                                       childPath(targetPath, name), context)) {
                return error;
            }
        }
        // Owner, attributes, permissions and times last, once nothing more is
        // written inside (the attributes while the owner may still write).
        (void)::fchown(target.get(), st.st_uid, st.st_gid);
        if (const int error = copyAttributes(source.get(), target.get(), targetPath, context)) return attributeFailure(error);
        (void)::fchmod(target.get(), permissions);
        (void)::futimens(target.get(), times);
        return std::nullopt;
    }

    // Named pipes, sockets and device nodes: made anew as nodes where that is
    // asked for (putting back what the Safe Bin holds), else refused.
    if (!context.allowSpecialFiles) return refusal(QStringLiteral(": it is a socket, pipe or device"));
    if (::mknodat(targetDir, targetName.constData(), (st.st_mode & S_IFMT) | permissions, st.st_rdev) != 0) {
        return failure(errno);
    }
    (void)::fchownat(targetDir, targetName.constData(), st.st_uid, st.st_gid, AT_SYMLINK_NOFOLLOW);
    (void)::fchmodat(targetDir, targetName.constData(), permissions, 0);
    (void)::utimensat(targetDir, targetName.constData(), times, AT_SYMLINK_NOFOLLOW);
    return std::nullopt;
}

// device: the file system of the item being removed; nothing on another one
// (or below any mount point) is touched.
void removeEntry(int parentDir, const QByteArray& name, const QString& path, dev_t device, bool top,
                 std::optional<FileError>& first) {
    auto record = [&](int error) {
        if (!first) first = FileError::system(error, QStringLiteral("Could not remove ") + FileError::quoted(path));
    };
    if (const int fault = injectedFault("remove", path)) {
        record(fault);
        return;
    }
    struct stat st {};
    bool mountRoot = false;
    if (const int error = statEntry(parentDir, name.constData(), st, mountRoot)) {
        if (error != ENOENT) record(error);
        return;
    }
    if (top) device = st.st_dev;
    if (mountRoot || st.st_dev != device) {
        if (!first) {
            first = FileError::system(EBUSY, QStringLiteral("Could not remove ") + FileError::quoted(path) +
                                                 QStringLiteral(": it is a mount point, left as it is"));
        }
        return;
    }
    if (!S_ISDIR(st.st_mode)) {
        if (::unlinkat(parentDir, name.constData(), 0) != 0 && errno != ENOENT) record(errno);
        return;
    }
    // A read-only folder (module caches are made that way) is opened up first,
    // or its entries could not be removed.
    if ((st.st_mode & S_IRWXU) != S_IRWXU) (void)::fchmodat(parentDir, name.constData(), (st.st_mode & 07777) | S_IRWXU, 0);
    {
        FileDescriptor dir(::openat(parentDir, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!dir.valid()) {
            record(errno);
            return;
        }
        struct stat opened {};
        if (::fstat(dir.get(), &opened) != 0 || opened.st_dev != st.st_dev || opened.st_ino != st.st_ino) {
            record(EBUSY);  // something was mounted or swapped in meanwhile
            return;
        }
        std::vector<QByteArray> names;
        if (const int error = listNames(dir.get(), names)) {
            record(error);
            return;
        }
        for (const QByteArray& child : names) removeEntry(dir.get(), child, childPath(path, child), device, false, first);
    }
    if (::unlinkat(parentDir, name.constData(), AT_REMOVEDIR) != 0 && errno != ENOENT) record(errno);
}

void inspectEntry(int parentDir, const QByteArray& name, const QString& path, dev_t device, qint64 maxEntries,
                  bool stopAtProblem, TreeReport& report) {
    struct stat st {};
    bool mountRoot = false;
    if (statEntry(parentDir, name.constData(), st, mountRoot) != 0) return;
    report.newestModifiedNs =
        std::max(report.newestModifiedNs, qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec);
    if (mountRoot || st.st_dev != device) {
        if (report.mountPoint.isEmpty()) report.mountPoint = path;
        return;
    }
    if (S_ISREG(st.st_mode)) {
        report.allocatedBytes += qint64(st.st_blocks) * 512;
        return;
    }
    if (S_ISSOCK(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) {
        if (report.specialFile.isEmpty()) report.specialFile = path;
        return;
    }
    if (!S_ISDIR(st.st_mode)) return;
    FileDescriptor dir(::openat(parentDir, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    std::vector<QByteArray> names;
    if (!dir.valid() || listNames(dir.get(), names) != 0) {
        report.complete = false;
        return;
    }
    for (const QByteArray& child : names) {
        if (maxEntries >= 0 && report.entries >= maxEntries) {
            report.complete = false;
            return;
        }
        if (stopAtProblem && (!report.specialFile.isEmpty() || !report.mountPoint.isEmpty())) return;
        ++report.entries;
        inspectEntry(dir.get(), child, childPath(path, child), device, maxEntries, stopAtProblem, report);
    }
}

}  // namespace

int probe(const QString& path) {
    struct stat st {};
    return ::lstat(native(path).constData(), &st) == 0 ? 0 : errno;
}

std::optional<FileError> makePath(const QString& path) {
    const bool absolute = path.startsWith(QLatin1Char('/'));
    QString current = absolute ? QString() : QStringLiteral(".");
    for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        current += QLatin1Char('/') + part;
        const QByteArray name = native(current);
        struct stat st {};
        if (::stat(name.constData(), &st) == 0) {
            if (S_ISDIR(st.st_mode)) continue;
            return FileError::system(ENOTDIR, QStringLiteral("Could not create the folder ") + FileError::quoted(current));
        }
        if (::mkdir(name.constData(), 0777) == 0) continue;
        const int error = errno;
        if (error == EEXIST && ::stat(name.constData(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
        return FileError::system(error, QStringLiteral("Could not create the folder ") + FileError::quoted(current));
    }
    return std::nullopt;
}

FileDescriptor openFolderNoFollow(const QString& absolutePath, int& error) {
    error = 0;
    if (!absolutePath.startsWith(QLatin1Char('/'))) {
        error = EINVAL;
        return {};
    }
    FileDescriptor current(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!current.valid()) {
        error = errno;
        return {};
    }
    for (const QString& part : absolutePath.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String(".")) continue;
        if (part == QLatin1String("..")) {
            error = EINVAL;  // the paths given here are standardised: ".." would step out unseen
            return {};
        }
        const QByteArray name = native(part);
        FileDescriptor next(::openat(current.get(), name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (!next.valid()) {
            error = errno;
            return {};
        }
        struct stat st {};
        if (::fstat(next.get(), &st) != 0) {
            error = errno;
            return {};
        }
        if (!S_ISDIR(st.st_mode)) {
            error = S_ISLNK(st.st_mode) ? ELOOP : ENOTDIR;
            return {};
        }
        current = std::move(next);
    }
    return current;
}

FileDescriptor openFolder(const QString& path, int& error) {
    FileDescriptor fd(::open(native(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    error = fd.valid() ? 0 : errno;
    return fd;
}

int renameNoReplaceAt(int fromDir, const QByteArray& fromName, int toDir, const QByteArray& toName) {
    if (::renameat2(fromDir, fromName.constData(), toDir, toName.constData(), RENAME_NOREPLACE) == 0) return 0;
    const int error = errno;
    if (error == EINVAL || error == ENOSYS || error == EOPNOTSUPP) {
        return renameByPlaceholderAt(fromDir, fromName, toDir, toName);
    }
    return error;
}

int renameNoReplace(const QString& from, const QString& to) {
    return renameNoReplaceAt(AT_FDCWD, native(from), AT_FDCWD, native(to));
}

int renameByPlaceholderAt(int fromDir, const QByteArray& fromName, int toDir, const QByteArray& toName) {
    const char* source = fromName.constData();
    const char* target = toName.constData();
    struct stat st {};
    if (::fstatat(fromDir, source, &st, AT_SYMLINK_NOFOLLOW) != 0) return errno;
    if (S_ISDIR(st.st_mode)) {
        // A rename replaces only an empty folder, and this one is our own.
        if (::mkdirat(toDir, target, 0700) != 0) return errno;
        if (::renameat(fromDir, source, toDir, target) == 0) return 0;
        const int error = errno;
        ::unlinkat(toDir, target, AT_REMOVEDIR);
        return error;
    }
    if (::linkat(fromDir, source, toDir, target, 0) == 0) {
        if (::unlinkat(fromDir, source, 0) == 0) return 0;
        const int error = errno;
        ::unlinkat(toDir, target, 0);
        return error;
    }
    const int linkError = errno;
    if (linkError == EEXIST || linkError == EXDEV || linkError == ENOENT || linkError == ENOTDIR) return linkError;
    // No hard links here: claim the name with an empty file of our own.
    const int fd = ::openat(toDir, target, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return errno;
    ::close(fd);
    if (::renameat(fromDir, source, toDir, target) == 0) return 0;
    const int error = errno;
    ::unlinkat(toDir, target, 0);
    return error;
}

int renameByPlaceholder(const QString& from, const QString& to) {
    return renameByPlaceholderAt(AT_FDCWD, native(from), AT_FDCWD, native(to));
}

std::optional<FileError> removeItem(const QString& path) {
    return removeItemAt(AT_FDCWD, native(path), path);
}

std::optional<FileError> removeItemAt(int dirFd, const QByteArray& name, const QString& path) {
    std::optional<FileError> first;
    removeEntry(dirFd, name, path, 0, true, first);
    return first;
}

int statEntry(int dirFd, const char* name, struct stat& st, bool& mountRoot) {
    struct statx sx {};
    if (::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_BASIC_STATS, &sx) != 0) return errno;
    st = {};
    st.st_dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    st.st_ino = sx.stx_ino;
    st.st_mode = sx.stx_mode;
    st.st_nlink = sx.stx_nlink;
    st.st_uid = sx.stx_uid;
    st.st_gid = sx.stx_gid;
    st.st_rdev = makedev(sx.stx_rdev_major, sx.stx_rdev_minor);
    st.st_size = off_t(sx.stx_size);
    st.st_blksize = blksize_t(sx.stx_blksize);
    st.st_blocks = blkcnt_t(sx.stx_blocks);
    st.st_atim = {time_t(sx.stx_atime.tv_sec), long(sx.stx_atime.tv_nsec)};
    st.st_mtim = {time_t(sx.stx_mtime.tv_sec), long(sx.stx_mtime.tv_nsec)};
    st.st_ctim = {time_t(sx.stx_ctime.tv_sec), long(sx.stx_ctime.tv_nsec)};
    mountRoot = (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
    return 0;
}

TreeReport inspectTree(int dirFd, const QByteArray& name, const QString& path, qint64 maxEntries, bool stopAtProblem) {
    TreeReport report;
    struct stat st {};
    bool mountRoot = false;
    if (const int error = statEntry(dirFd, name.constData(), st, mountRoot)) {
        report.complete = error == ENOENT;
        return report;
    }
    if (mountRoot) {
        report.mountPoint = path;
        return report;
    }
    inspectEntry(dirFd, name, path, st.st_dev, maxEntries, stopAtProblem, report);
    return report;
}

FileDescriptor openFolderAsWritten(const QString& absolutePath, const QString& trustedPrefix, int& error, bool create,
                                   QString* failedAt) {
    error = 0;
    auto fail = [&](int code, const QString& at) {
        error = code;
        if (failedAt) *failedAt = at;
        return FileDescriptor();
    };
    if (!absolutePath.startsWith(QLatin1Char('/'))) return fail(EINVAL, absolutePath);
    QString walked = QStringLiteral("/");
    QString rest = absolutePath;
    FileDescriptor current;
    const QString trusted = trustedPrefix.isEmpty() ? QString() : PathRules::standardizingPath(trustedPrefix);
    if (!trusted.isEmpty() && trusted != QLatin1String("/") && PathRules::isSameOrBelow(absolutePath, trusted)) {
        // The trusted folder is taken as the system resolves it, once.
        current.reset(::open(native(trusted).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!current.valid()) return fail(errno, trusted);
        walked = trusted;
        rest = absolutePath.mid(trusted.size());
    } else {
        current.reset(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!current.valid()) return fail(errno, walked);
    }
    for (const QString& part : rest.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        walked = PathRules::appendingPathComponent(walked, part);
        if (part == QLatin1String(".")) continue;
        if (part == QLatin1String("..")) return fail(EINVAL, walked);  // would step out unseen
        const QByteArray name = native(part);
        FileDescriptor next(::openat(current.get(), name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (!next.valid() && errno == ENOENT && create) {
            if (::mkdirat(current.get(), name.constData(), 0777) != 0 && errno != EEXIST) return fail(errno, walked);
            next.reset(::openat(current.get(), name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        }
        if (!next.valid()) return fail(errno, walked);
        struct stat st {};
        if (::fstat(next.get(), &st) != 0) return fail(errno, walked);
        if (!S_ISDIR(st.st_mode)) return fail(S_ISLNK(st.st_mode) ? ELOOP : ENOTDIR, walked);
        current = std::move(next);
    }
    return current;
}

QString kernelPath(int fd) {
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
    QByteArray target(4096, '\0');
    for (;;) {
        const ssize_t length = ::readlink(link.constData(), target.data(), size_t(target.size()));
        if (length < 0) return {};
        if (length < target.size()) {
            target.truncate(length);
            break;
        }
        if (target.size() > (1 << 20)) return {};
        target.resize(target.size() * 2);
    }
    if (!target.startsWith('/')) return {};
    return PathCodec::decode(target);
}

QByteArray partialName(const QString& tag) {
    return QByteArray(kPartialPrefix.data(), qsizetype(kPartialPrefix.size())) + native(tag);
}

MoveResult moveAt(int fromDir, const QByteArray& fromName, int toDir, const QByteArray& toName,
                  const QString& fromPath, const QString& toPath, const QString& action, const QString& tag,
                  const MoveOptions& options) {
    MoveResult result;
    const QString could = QStringLiteral("Could not ") + action;
    auto failed = [&](int error) {
        result.error = FileError::system(error, could);
        return result;
    };
    if (const int fault = injectedFault("move", fromPath)) return failed(fault);
    int error = injectedFault("rename", fromPath);
    if (error == 0) error = renameNoReplaceAt(fromDir, fromName, toDir, toName);
    if (error == 0) {
        auto attributeError =
            options.attributes ? options.attributes->giveKept(toDir, toName, toPath) : std::optional<FileError>();
        if (attributeError && renameNoReplaceAt(toDir, toName, fromDir, fromName) == 0) {
            result.error = FileError{attributeError->domain, attributeError->code, could + QStringLiteral(". ") + attributeError->description};
            return result;
        }
        result.arrived = true;
        result.error = attributeError;
        return result;
    }
    if (error != EXDEV) return failed(error);

    // Another file system: copy beside the destination, make the copy durable,
    // put it in place, and only then let go of the original.
    const QByteArray temporary = partialName(tag.isEmpty() ? JsonCoding::uuidText(QUuid::createUuid()) : tag);
    const QString temporaryPath =
        PathRules::appendingPathComponent(PathRules::deletingLastPathComponent(toPath), PathCodec::decode(temporary));
    struct stat original {};
    bool mountRoot = false;
    if (const int statError = statEntry(fromDir, fromName.constData(), original, mountRoot)) return failed(statError);
    (void)mountRoot;  // the copy refuses a mount point itself, with its own words
    CopyContext context;
    context.device = original.st_dev;
    context.allowSpecialFiles = options.allowSpecialFiles;
    context.top = temporaryPath;
    AttributePolicy strict;
    context.attributes = options.attributes ? options.attributes : &strict;
    auto copyError = copyEntry(fromDir, fromName, toDir, temporary, fromPath, temporaryPath, context);
    if (!copyError) copyError = context.attributes->giveKept(toDir, temporary, toPath);
    if (copyError) {
        removeItemAt(toDir, temporary, temporaryPath);
        result.error = FileError{copyError->domain, copyError->code, could + QStringLiteral(". ") + copyError->description};
        return result;
    }
    {
        FileDescriptor dir(::openat(toDir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!dir.valid() || ::syncfs(dir.get()) != 0) {
            error = errno;
            removeItemAt(toDir, temporary, temporaryPath);
            return failed(error);
        }
    }
    if (options.beforePlacing) {
        struct stat copy {};
        if (::fstatat(toDir, temporary.constData(), &copy, AT_SYMLINK_NOFOLLOW) != 0) {
            error = errno;
            removeItemAt(toDir, temporary, temporaryPath);
            return failed(error);
        }
        if (auto refused = options.beforePlacing(copy, original)) {
            removeItemAt(toDir, temporary, temporaryPath);
            result.error = refused;
            return result;
        }
    }
    if ((error = renameNoReplaceAt(toDir, temporary, toDir, toName)) != 0) {
        removeItemAt(toDir, temporary, temporaryPath);
        return failed(error);
    }
    result.arrived = true;
    result.copied = true;
    if (auto removeError = removeItemAt(fromDir, fromName, fromPath)) {
        result.error = FileError{removeError->domain, removeError->code,
                                 QStringLiteral("A copy of ") + FileError::quoted(fromPath) + QStringLiteral(" is now at ") +
                                     FileError::quoted(toPath) + QStringLiteral(", but the original could not be removed. ") +
                                     removeError->description};
    }
    return result;
}

QString resolvingAllLinks(const QString& absolutePath) {
    QString existing = absolutePath;
    QStringList rest;
    for (;;) {
        if (char* resolved = ::realpath(native(existing).constData(), nullptr)) {
            QString result = PathCodec::decode(std::string_view(resolved));
            std::free(resolved);
            for (const QString& part : rest) result = PathRules::appendingPathComponent(result, part);
            return result;
        }
        if (existing.isEmpty() || existing == QLatin1String("/")) return absolutePath;
        rest.prepend(PathRules::lastPathComponent(existing));
        existing = PathRules::deletingLastPathComponent(existing);
    }
}

QString resolvingParentLinks(const QString& absolutePath) {
    if (absolutePath.isEmpty() || absolutePath == QLatin1String("/")) return absolutePath;
    const QString parent = PathRules::deletingLastPathComponent(absolutePath);
    if (parent.isEmpty()) return absolutePath;
    return PathRules::appendingPathComponent(resolvingAllLinks(parent), PathRules::lastPathComponent(absolutePath));
}

void setFaultHookForTesting(FaultHook hook) { faultHook() = std::move(hook); }

int injectedFault(std::string_view operation, const QString& path) {
    const FaultHook& hook = faultHook();
    return hook ? hook(operation, path) : 0;
}

}  // namespace tarnwick::FileOperations
