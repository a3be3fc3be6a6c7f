#include "services/safebin/SafeBinAttributes.h"

#include "platform/FileDescriptor.h"
#include "platform/FileOperations.h"
#include "support/AtomicFile.h"
#include "support/JsonCoding.h"
#include "support/PathRules.h"

#include <QList>
#include <QSet>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick::SafeBinAttributes {

namespace {

// Larger files are not ours: read as unreadable.
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

namespace {

std::optional<QByteArray> decoded(const QByteArray& field) {
    auto result = QByteArray::fromBase64Encoding(field, QByteArray::AbortOnBase64DecodingErrors);
    if (!result) return std::nullopt;
    return std::move(result.decoded);
}

// One line of the file into kept; false when it is none of ours.
bool readLine(const QByteArray& line, Kept& kept) {
    const QList<QByteArray> fields = line.split(' ');
    if (fields.size() != 2 && fields.size() != 3) return false;
    std::optional<QByteArray> item = decoded(fields[0]);
    std::optional<QByteArray> second = decoded(fields[1]);
    if (!item || !second || !AttributePolicy::namesItemInside(*item)) return false;
    if (fields.size() == 2) {
        Had had{std::move(*item), {}};
        for (const QByteArray& name : second->split('\0')) {
            if (name.isEmpty() && !second->isEmpty()) return false;
            if (!name.isEmpty()) had.names.push_back(name);
        }
        kept.had.push_back(std::move(had));
        return true;
    }
    std::optional<QByteArray> value = decoded(fields[2]);
    if (!value || second->isEmpty() || second->contains('\0')) return false;
    if (!AttributePolicy::isSystems(*second)) kept.attributes.push_back({std::move(*item), std::move(*second), std::move(*value)});
    return true;
}

}  // namespace

Kept read(int binFd, const QUuid& id) {
    const Kept unreadable{{}, {}, true};
    struct stat st {};
    int error = 0;
    const FileDescriptor fd = AtomicFile::openForReading(binFd, fileName(id), &st, &error);
    if (!fd.valid()) return error == ENOENT ? Kept{} : unreadable;
    if (st.st_uid != ::geteuid() || st.st_size > kMaxBytes) return unreadable;
    std::optional<QByteArray> data = AtomicFile::readOpened(fd.get(), kMaxBytes, st.st_size);
    // Written whole, every line ended: anything else was cut short or is not ours.
    if (!data || data->isEmpty() || !data->endsWith('\n')) return unreadable;
    data->chop(1);
    Kept kept;
    for (const QByteArray& line : data->split('\n')) {
        if (!readLine(line, kept)) return unreadable;
    }
    return kept;
}

std::optional<FileError> write(int binFd, const QString& bin, const QUuid& id, const Kept& kept) {
    if (kept.empty()) {
        remove(binFd, id);
        return std::nullopt;
    }
    QByteArray text;
    for (const Attribute& attribute : kept.attributes) {
        text += attribute.item.toBase64() + ' ' + attribute.name.toBase64() + ' ' + attribute.value.toBase64() + '\n';
    }
    for (const Had& had : kept.had) {
        QByteArray names;
        for (const QByteArray& name : had.names) names += (names.isEmpty() ? QByteArray() : QByteArray(1, '\0')) + name;
        text += had.item.toBase64() + ' ' + names.toBase64() + '\n';
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

namespace {

// The item relative to prefix when it is at or below it.
std::optional<QByteArray> relativeTo(const QByteArray& item, const QByteArray& prefix) {
    if (prefix.isEmpty()) return item;
    if (item == prefix) return QByteArray();
    if (item.startsWith(prefix + '/')) return item.mid(prefix.size() + 1);
    return std::nullopt;
}

QByteArray placedUnder(const QByteArray& item, const QByteArray& prefix) {
    if (prefix.isEmpty()) return item;
    return item.isEmpty() ? prefix : prefix + '/' + item;
}

}  // namespace

Kept below(const Kept& kept, const QByteArray& prefix) {
    Kept found;
    for (const Attribute& attribute : kept.attributes) {
        if (auto item = relativeTo(attribute.item, prefix)) found.attributes.push_back({*item, attribute.name, attribute.value});
    }
    for (const Had& had : kept.had) {
        if (auto item = relativeTo(had.item, prefix)) found.had.push_back({*item, had.names});
    }
    found.unreadable = kept.unreadable;
    return found;
}

Kept under(const Kept& kept, const QByteArray& prefix) {
    Kept moved;
    for (const Attribute& attribute : kept.attributes) {
        moved.attributes.push_back({placedUnder(attribute.item, prefix), attribute.name, attribute.value});
    }
    for (const Had& had : kept.had) moved.had.push_back({placedUnder(had.item, prefix), had.names});
    moved.unreadable = kept.unreadable;
    return moved;
}

void add(Kept& kept, const Kept& more) {
    kept.attributes.insert(kept.attributes.end(), more.attributes.begin(), more.attributes.end());
    kept.had.insert(kept.had.end(), more.had.begin(), more.had.end());
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
