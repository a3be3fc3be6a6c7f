#include "services/safebin/SafeBinJournal.h"

#include "platform/FileDescriptor.h"
#include "platform/FileOperations.h"
#include "support/AtomicFile.h"
#include "support/FlatJson.h"
#include "support/JsonCoding.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick::SafeBinJournal {

namespace {

// Far beyond any journal a store writes (intents are cleared after each change).
constexpr qint64 kMaxBytes = qint64(4) << 30;

const char* kindText(Kind kind) {
    switch (kind) {
    case Kind::move: return "move";
    case Kind::restore: return "restore";
    case Kind::destroy: return "destroy";
    case Kind::copied: return "copied";
    case Kind::placed: return "placed";
    }
    return "move";
}

std::optional<Kind> kindOf(const QString& text) {
    for (const Kind kind : {Kind::move, Kind::restore, Kind::destroy, Kind::copied, Kind::placed}) {
        if (text == QLatin1String(kindText(kind))) return kind;
    }
    return std::nullopt;
}

const QString* stringField(const FlatJson::Object& object, const char* key) {
    const FlatJson::Value* value = FlatJson::find(object, QLatin1StringView(key));
    return value && value->type == FlatJson::Value::Type::string ? &value->string : nullptr;
}

std::optional<quint64> unsignedField(const FlatJson::Object& object, const char* key) {
    const FlatJson::Value* value = FlatJson::find(object, QLatin1StringView(key));
    if (!value || !value->integer || *value->integer < 0) return std::nullopt;
    return quint64(*value->integer);
}

}  // namespace

QByteArray entryLine(Kind kind, const SafeBinEntry& entry) {
    QByteArray object;
    entry.appendJson(object);
    QByteArray line = "{\"intent\":\"";
    line.append(kindText(kind));
    line.append("\",");
    line.append(object.constData() + 1, object.size() - 1);  // the entry's own keys follow
    line.append('\n');
    return line;
}

QByteArray identityLine(Kind kind, const QUuid& id, const QString& storedPath, const QString& destination,
                        const struct stat& st) {
    QByteArray line = "{\"intent\":\"";
    line.append(kindText(kind));
    line.append("\",\"id\":");
    FlatJson::appendString(line, JsonCoding::uuidText(id));
    line.append(",\"storedPath\":");
    FlatJson::appendString(line, storedPath);
    line.append(",\"destination\":");
    FlatJson::appendString(line, destination);
    line.append(",\"device\":");
    FlatJson::appendInteger(line, qint64(st.st_dev));
    line.append(",\"inode\":");
    FlatJson::appendInteger(line, qint64(st.st_ino));
    line.append("}\n");
    return line;
}

std::optional<FileError> append(int binFd, const QString& journalPath, const QByteArray& lines) {
    if (lines.isEmpty()) return std::nullopt;
    auto failure = [&](int code) {
        FileError error = FileError::system(code, QStringLiteral("Could not record the change in the Safe Bin\u2019s journal ") +
                                                      FileError::quoted(journalPath));
        error.description += QStringLiteral(" Nothing more was changed.");
        return error;
    };
    struct stat before {};
    bool existed = ::fstatat(binFd, kFileName, &before, AT_SYMLINK_NOFOLLOW) == 0;
    if (existed && !S_ISREG(before.st_mode)) {
        // A FIFO, link or device in its place holds no intents: it gives way to a journal.
        if (::unlinkat(binFd, kFileName, 0) != 0) return failure(errno);
        existed = false;
    }
    FileDescriptor fd(::openat(binFd, kFileName, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.valid()) return failure(errno);
    struct stat opened {};
    if (::fstat(fd.get(), &opened) != 0) return failure(errno);
    if (!S_ISREG(opened.st_mode)) return failure(EINVAL);
    const off_t start = ::lseek(fd.get(), 0, SEEK_END);
    int code = FileOperations::injectedFault("write", journalPath);
    for (qsizetype done = 0; code == 0 && done < lines.size();) {
        const ssize_t written = ::write(fd.get(), lines.constData() + done, size_t(lines.size() - done));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            code = written < 0 ? errno : EIO;
            break;
        }
        done += written;
    }
    if (code == 0 && ::fdatasync(fd.get()) != 0) code = errno;
    if (code != 0) {
        // A torn line is ignored on reading, but leave none behind.
        if (start >= 0) (void)::ftruncate(fd.get(), start);
        return failure(code);
    }
    if (!existed) (void)::fsync(binFd);
    return std::nullopt;
}

std::vector<Line> read(int binFd) {
    std::vector<Line> lines;
    // What is no regular file there (a FIFO, a link) reads as no journal.
    struct stat st {};
    const FileDescriptor fd = AtomicFile::openForReading(binFd, kFileName, &st);
    if (!fd.valid()) return lines;
    const QByteArray data = AtomicFile::readOpened(fd.get(), kMaxBytes, st.st_size).value_or(QByteArray());
    FlatJson::Object object;
    for (const QByteArray& text : data.split('\n')) {
        if (text.trimmed().isEmpty()) continue;
        FlatJson::Reader reader(text);
        if (!reader.readObject(object) || !reader.atEnd()) continue;  // torn by a crash mid-write
        const QString* kindText = stringField(object, "intent");
        const std::optional<Kind> kind = kindText ? kindOf(*kindText) : std::nullopt;
        if (!kind) continue;
        Line line;
        line.kind = *kind;
        if (*kind == Kind::copied || *kind == Kind::placed) {
            const QString* id = stringField(object, "id");
            const QString* storedPath = stringField(object, "storedPath");
            const QString* destination = stringField(object, "destination");
            const auto device = unsignedField(object, "device");
            const auto inode = unsignedField(object, "inode");
            const std::optional<QUuid> uuid = id ? JsonCoding::uuidFromText(*id) : std::nullopt;
            if (!uuid || !storedPath || !destination || !device || !inode) continue;
            line.id = *uuid;
            line.storedPath = *storedPath;
            line.destination = *destination;
            line.device = *device;
            line.inode = *inode;
        } else {
            auto entry = SafeBinEntry::fromObject(object);
            if (!entry) continue;
            line.entry = std::move(*entry);
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

bool hasContent(int binFd) {
    struct stat st {};
    return ::fstatat(binFd, kFileName, &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_size > 0;
}

void clear(int binFd) {
    const FileDescriptor fd(::openat(binFd, kFileName, O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    if (::ftruncate(fd.get(), 0) == 0) (void)::fdatasync(fd.get());
}

}  // namespace tarnwick::SafeBinJournal
