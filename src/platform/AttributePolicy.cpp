#include "platform/AttributePolicy.h"

#include "platform/FileDescriptor.h"
#include "platform/PathCodec.h"
#include "support/PathRules.h"

#include <QList>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace tarnwick {

namespace {

constexpr int kInner = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr int kLast = O_PATH | O_NOFOLLOW | O_CLOEXEC;

QByteArray procPath(int fd) { return "/proc/self/fd/" + QByteArray::number(fd); }

// Sets the attribute on the open item; one whose owner may not write to it
// (user attributes ask that) is let write for the moment it takes.
int setOnItem(int fd, const struct stat& st, const AttributePolicy::Attribute& attribute, const QString& path) {
    int error = ExtendedAttributes::setOn(fd, attribute.name, attribute.value, path);
    if (error == EACCES && st.st_uid == ::geteuid() && !(st.st_mode & S_IWUSR)) {
        const QByteArray proc = procPath(fd);
        if (::chmod(proc.constData(), (st.st_mode & 07777) | S_IWUSR) == 0) {
            error = ExtendedAttributes::setOn(fd, attribute.name, attribute.value, path);
            (void)::chmod(proc.constData(), st.st_mode & 07777);
        }
    }
    return error;
}

}  // namespace

AttributePolicy AttributePolicy::intoStore() {
    AttributePolicy policy;
    policy.mode_ = Mode::intoStore;
    return policy;
}

AttributePolicy AttributePolicy::backFromStore(std::vector<Attribute> kept, std::vector<Had> had) {
    AttributePolicy policy;
    policy.mode_ = Mode::backFromStore;
    policy.kept_ = std::move(kept);
    policy.had_ = std::move(had);
    return policy;
}

bool AttributePolicy::isSystems(const QByteArray& name) { return name.startsWith("security.") || name.startsWith("trusted."); }

bool AttributePolicy::namesItemInside(const QByteArray& item) {
    if (item.isEmpty()) return true;
    for (const QByteArray& part : item.split('/')) {
        if (part.isEmpty() || part == "." || part == ".." || part.contains('\0')) return false;
    }
    return true;
}

bool AttributePolicy::cannotHold(int error, int fd, qint64 valueBytes) {
    if (error == ENOTSUP || error == EOPNOTSUPP || error == E2BIG || error == ERANGE) return true;
    if (error != ENOSPC) return false;
    // Full only when what is left would not take the value many times over.
    struct statvfs space {};
    if (::fstatvfs(fd, &space) != 0) return false;
    const qint64 free = qint64(space.f_bavail) * qint64(space.f_frsize);
    return free > (qint64(1) << 20) + 16 * valueBytes;
}

FileError AttributePolicy::unheldError(int error, const QString& what, qint64 valueBytes) {
    if (error == ENOTSUP || error == EOPNOTSUPP) {
        return FileError{FileError::kSystemDomain, ENOTSUP, what + QStringLiteral(": the file system there keeps no such attributes.")};
    }
    return FileError{FileError::kSystemDomain, E2BIG,
                     what + QStringLiteral(": its value (") + QString::number(valueBytes) +
                         QStringLiteral(" bytes) is larger than the file system there takes.")};
}

const AttributePolicy::Had* AttributePolicy::recordOf(const QByteArray& item) const {
    const auto found = std::find_if(had_.begin(), had_.end(), [&](const Had& had) { return had.item == item; });
    return found == had_.end() ? nullptr : &*found;
}

bool AttributePolicy::goes(const QByteArray& item, const QByteArray& name) const {
    if (mode_ != Mode::backFromStore) return true;
    const Had* had = recordOf(item);
    return !had || std::find(had->names.begin(), had->names.end(), name) != had->names.end();
}

AttributePolicy::Unheld AttributePolicy::whenUnheld(const QByteArray& item, const QByteArray& name) const {
    switch (mode_) {
    case Mode::strict: return Unheld::fail;
    case Mode::intoStore: return isSystems(name) ? Unheld::passOver : Unheld::keepBeside;
    case Mode::backFromStore: return isSystems(name) || !goes(item, name) ? Unheld::passOver : Unheld::fail;
    }
    return Unheld::fail;
}

std::optional<FileError> AttributePolicy::giveKept(int dirFd, const QByteArray& name, const QString& path) const {
    for (const Attribute& attribute : kept_) {
        if (isSystems(attribute.name) || !namesItemInside(attribute.item)) continue;
        const QList<QByteArray> parts = attribute.item.isEmpty() ? QList<QByteArray>() : attribute.item.split('/');
        QString itemPath = path;
        FileDescriptor item(::openat(dirFd, name.constData(), parts.isEmpty() ? kLast : kInner));
        for (qsizetype i = 0; i < parts.size() && item.valid(); ++i) {
            item.reset(::openat(item.get(), parts[i].constData(), i + 1 == parts.size() ? kLast : kInner));
            itemPath = PathRules::appendingPathComponent(itemPath, PathCodec::decode(parts[i]));
        }
        const QString what = QStringLiteral("Could not give ") + FileError::quoted(itemPath) + QStringLiteral(" its attribute ") +
                             FileError::quoted(QString::fromUtf8(attribute.name));
        if (!item.valid()) {
            if (errno == ENOENT || errno == ELOOP || errno == ENOTDIR) continue;  // not there, or a link
            return FileError::system(errno, what);
        }
        struct stat st {};
        if (::fstat(item.get(), &st) != 0) return FileError::system(errno, what);
        if (!(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) continue;
        const int error = setOnItem(item.get(), st, attribute, itemPath);
        if (error == 0) continue;
        if (cannotHold(error, item.get(), attribute.value.size())) return unheldError(error, what, attribute.value.size());
        return FileError::system(error, what);
    }
    return std::nullopt;
}

}  // namespace tarnwick
