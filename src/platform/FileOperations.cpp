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
#include <string_view>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
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

std::optional<FileError> copyEntry(int sourceDir, const QByteArray& sourceName, int targetDir,
                                   const QByteArray& targetName, const QString& sourcePath,
                                   const QString& targetPath, std::vector<char>& buffer) {
    auto failure = [&](int error) {
        return FileError::system(error, QStringLiteral("Could not copy ") + FileError::quoted(sourcePath) +
                                            QStringLiteral(" to ") + FileError::quoted(targetPath));
    };
    if (const int fault = injectedFault("copy", sourcePath)) return failure(fault);

    struct stat st {};
    if (::fstatat(sourceDir, sourceName.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) return failure(errno);
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
        if (const int error = copyContents(in.get(), out.get(), buffer)) return failure(error);
        // The owner first: changing it clears set-id bits, which the mode then restores.
        (void)::fchown(out.get(), st.st_uid, st.st_gid);
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
                                       childPath(targetPath, name), buffer)) {
                return error;
            }
        }
        // Permissions and times last, once nothing more is written inside.
        (void)::fchown(target.get(), st.st_uid, st.st_gid);
        (void)::fchmod(target.get(), permissions);
        (void)::futimens(target.get(), times);
        return std::nullopt;
    }

    // Named pipes, sockets and device nodes are made anew as nodes.
    if (::mknodat(targetDir, targetName.constData(), (st.st_mode & S_IFMT) | permissions, st.st_rdev) != 0) {
        return failure(errno);
    }
    (void)::fchownat(targetDir, targetName.constData(), st.st_uid, st.st_gid, AT_SYMLINK_NOFOLLOW);
    (void)::fchmodat(targetDir, targetName.constData(), permissions, 0);
    (void)::utimensat(targetDir, targetName.constData(), times, AT_SYMLINK_NOFOLLOW);
    return std::nullopt;
}

void removeEntry(int parentDir, const QByteArray& name, const QString& path, std::optional<FileError>& first) {
    auto record = [&](int error) {
        if (!first) first = FileError::system(error, QStringLiteral("Could not remove ") + FileError::quoted(path));
    };
    if (const int fault = injectedFault("remove", path)) {
        record(fault);
        return;
    }
    struct stat st {};
    if (::fstatat(parentDir, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT) record(errno);
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
        std::vector<QByteArray> names;
        if (const int error = listNames(dir.get(), names)) {
            record(error);
            return;
        }
        for (const QByteArray& child : names) removeEntry(dir.get(), child, childPath(path, child), first);
    }
    if (::unlinkat(parentDir, name.constData(), AT_REMOVEDIR) != 0 && errno != ENOENT) record(errno);
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
    removeEntry(dirFd, name, path, first);
    return first;
}

QByteArray partialName(const QString& tag) {
    return QByteArray(kPartialPrefix.data(), qsizetype(kPartialPrefix.size())) + native(tag);
}

MoveResult moveAt(int fromDir, const QByteArray& fromName, int toDir, const QByteArray& toName,
                  const QString& fromPath, const QString& toPath, const QString& action, const QString& tag) {
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
        result.arrived = true;
        return result;
    }
    if (error != EXDEV) return failed(error);

    // Another file system: copy beside the destination, make the copy durable,
    // put it in place, and only then let go of the original.
    const QByteArray temporary = partialName(tag.isEmpty() ? JsonCoding::uuidText(QUuid::createUuid()) : tag);
    const QString temporaryPath =
        PathRules::appendingPathComponent(PathRules::deletingLastPathComponent(toPath), PathCodec::decode(temporary));
    std::vector<char> buffer(std::size_t(1) << 20);
    if (auto copyError = copyEntry(fromDir, fromName, toDir, temporary, fromPath, temporaryPath, buffer)) {
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
    if ((error = renameNoReplaceAt(toDir, temporary, toDir, toName)) != 0) {
        removeItemAt(toDir, temporary, temporaryPath);
        return failed(error);
    }
    result.arrived = true;
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
