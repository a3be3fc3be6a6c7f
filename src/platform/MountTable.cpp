#include "platform/MountTable.h"

#include "platform/FileDescriptor.h"
#include "platform/PathCodec.h"
#include "support/PathRules.h"

#include <mutex>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tarnwick {

namespace {

std::mutex& sourceMutex() {
    static std::mutex mutex;
    return mutex;
}

MountTable::Source& source() {
    static MountTable::Source installed;
    return installed;
}

// The whole of a /proc file (its size is unknown until read).
std::optional<QByteArray> readProcFile(const char* path) {
    FileDescriptor fd(::open(path, O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return std::nullopt;
    QByteArray data;
    char buffer[8192];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (got == 0) break;
        data.append(buffer, got);
        if (data.size() > (qsizetype(64) << 20)) return std::nullopt;  // no real table is that large
    }
    return data;
}

int octal(char c) { return c >= '0' && c <= '7' ? c - '0' : -1; }

// "\040" and its kind back to the byte they stand for.
QByteArray unescape(QByteArrayView field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const int a = octal(field[i + 1]);
            const int b = octal(field[i + 2]);
            const int c = octal(field[i + 3]);
            if (a >= 0 && b >= 0 && c >= 0) {
                out.append(char(a * 64 + b * 8 + c));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return out;
}

}  // namespace

MountTable MountTable::current() {
    std::optional<QByteArray> text;
    {
        std::lock_guard lock(sourceMutex());
        if (source()) text = source()();
    }
    if (!text) text = readProcFile("/proc/self/mountinfo");
    return text ? parse(*text) : MountTable{};
}

MountTable MountTable::parse(const QByteArray& mountinfo) {
    MountTable table;
    for (const QByteArray& line : mountinfo.split('\n')) {
        // id parent major:minor root mount-point options ...
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 5 || !fields[4].startsWith('/')) continue;
        const QString point = PathCodec::decode(unescape(fields[4]));
        table.mountPoints_.append(point);
        // The kernel writes mount points without a trailing slash; "/" has no last name.
        table.points_.insert(point);
        const QString last = PathRules::lastPathComponent(point);
        if (last != QLatin1String("/")) table.lastNames_.insert(last);
    }
    return table;
}

std::optional<QString> MountTable::mountAtOrBelow(const QString& path) const {
    for (const QString& point : mountPoints_) {
        if (PathRules::isSameOrBelow(point, path)) return point;
    }
    return std::nullopt;
}

QString MountTable::mountOf(const QString& path) const {
    if (points_.isEmpty() || !path.startsWith(QLatin1Char('/'))) return {};
    QString at = path;
    for (;;) {
        if (points_.contains(at)) return at;
        if (at == QLatin1String("/")) return {};
        at = PathRules::deletingLastPathComponent(at);
    }
}

void MountTable::setSourceForTesting(Source replacement) {
    std::lock_guard lock(sourceMutex());
    source() = std::move(replacement);
}

}  // namespace tarnwick
