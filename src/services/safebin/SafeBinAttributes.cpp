#include "services/safebin/SafeBinAttributes.h"

#include "platform/FileDescriptor.h"
#include "platform/FileOperations.h"
#include "support/JsonCoding.h"
#include "support/PathRules.h"

#include <QList>
#include <QSet>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace tarnwick::SafeBinAttributes {

namespace {

// Larger files are not ours: read as holding nothing.
constexpr qint64 kMaxBytes = qint64(64) << 20;

QByteArray prefixBytes() { return QByteArray(kPrefix.data(), qsizetype(kPrefix.size())); }

bool writeAll(int fd, const QByteArray& data) {
    for (qsizetype done = 0; done < data.size();) {
        const ssize_t written = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += written;
    }
    return true;
}

}  // namespace

QByteArray fileName(const QUuid& id) { return prefixBytes() + JsonCoding::uuidText(id).toLatin1(); }

std::vector<Attribute> read(int binFd, const QUuid& id) {
    std::vector<Attribute> attributes;
    FileDescriptor fd(::openat(binFd, fileName(id).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid()) return attributes;
    QByteArray data;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 || data.size() + got > kMaxBytes) return {};
        if (got == 0) break;
        data.append(buffer, got);
    }
    for (const QByteArray& line : data.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() != 3) continue;
        Attribute attribute{QByteArray::fromBase64(fields[0]), QByteArray::fromBase64(fields[1]),
                            QByteArray::fromBase64(fields[2])};
        if (!attribute.name.isEmpty()) attributes.push_back(std::move(attribute));
    }
    return attributes;
}

std::optional<FileError> write(int binFd, const QString& bin, const QUuid& id, const std::vector<Attribute>& attributes) {
    if (attributes.empty()) {
        remove(binFd, id);
        return std::nullopt;
    }
    QByteArray text;
    for (const Attribute& attribute : attributes) {
        text += attribute.item.toBase64() + ' ' + attribute.name.toBase64() + ' ' + attribute.value.toBase64() + '\n';
    }
    // Beside it first (a partial copy's name, which a settle clears), then in place.
    const QByteArray name = fileName(id);
    const QByteArray temporary = FileOperations::partialName(QString::fromLatin1(name));
    const QString path = PathRules::appendingPathComponent(bin, QString::fromLatin1(name));
    auto failure = [&](int error) {
        ::unlinkat(binFd, temporary.constData(), 0);
        return FileError::system(error, QStringLiteral("Could not keep the attributes of an item in ") + FileError::quoted(path));
    };
    ::unlinkat(binFd, temporary.constData(), 0);
    FileDescriptor fd(::openat(binFd, temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.valid()) return failure(errno);
    if (!writeAll(fd.get(), text) || ::fsync(fd.get()) != 0) return failure(errno);
    if (const int error = fd.close()) return failure(error);
    if (::renameat(binFd, temporary.constData(), binFd, name.constData()) != 0 || ::fsync(binFd) != 0) return failure(errno);
    return std::nullopt;
}

void remove(int binFd, const QUuid& id) { ::unlinkat(binFd, fileName(id).constData(), 0); }

std::vector<Attribute> below(const std::vector<Attribute>& attributes, const QByteArray& prefix) {
    if (prefix.isEmpty()) return attributes;
    std::vector<Attribute> found;
    for (const Attribute& attribute : attributes) {
        if (attribute.item == prefix) {
            found.push_back({QByteArray(), attribute.name, attribute.value});
        } else if (attribute.item.startsWith(prefix + '/')) {
            found.push_back({attribute.item.mid(prefix.size() + 1), attribute.name, attribute.value});
        }
    }
    return found;
}

std::vector<Attribute> under(const std::vector<Attribute>& attributes, const QByteArray& prefix) {
    if (prefix.isEmpty()) return attributes;
    std::vector<Attribute> moved;
    for (const Attribute& attribute : attributes) {
        moved.push_back({attribute.item.isEmpty() ? prefix : prefix + '/' + attribute.item, attribute.name, attribute.value});
    }
    return moved;
}

void removeOrphans(int binFd, const std::vector<QByteArray>& names) {
    const QByteArray prefix = prefixBytes();
    QSet<QByteArray> items;  // the ids that name an item, "<id>-…"
    for (const QByteArray& name : names) {
        const qsizetype dash = name.indexOf('-', 36);
        if (dash == 36 && !name.startsWith('.')) items.insert(name.left(36));
    }
    for (const QByteArray& name : names) {
        if (!name.startsWith(prefix)) continue;
        const QByteArray id = name.mid(prefix.size());
        if (!items.contains(id)) ::unlinkat(binFd, name.constData(), 0);
    }
}

}  // namespace tarnwick::SafeBinAttributes
