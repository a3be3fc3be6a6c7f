#include "services/health/LinuxMemorySource.h"

#include "services/health/StatusFileReader.h"

#include <QList>

#include <limits>

namespace tarnwick {

namespace {

// "MemTotal:       16318480 kB" -> bytes; nothing when the line is malformed
// or the amount would not fit.
std::optional<qint64> kilobytes(const QByteArray& rest) {
    const QList<QByteArray> parts = rest.simplified().split(' ');
    if (parts.size() != 2 || parts[1] != "kB") return std::nullopt;
    bool ok = false;
    const qint64 value = parts[0].toLongLong(&ok);
    if (!ok || value < 0 || value > std::numeric_limits<qint64>::max() / 1024) return std::nullopt;
    return value * 1024;
}

}  // namespace

std::optional<MemorySource::Reading> LinuxMemorySource::parse(const QByteArray& meminfo) {
    std::optional<qint64> total, available;
    for (const QByteArray& line : meminfo.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0) continue;
        const QByteArray name = line.left(colon);
        if (name == "MemTotal") total = kilobytes(line.mid(colon + 1));
        else if (name == "MemAvailable") available = kilobytes(line.mid(colon + 1));
        if (total && available) break;
    }
    if (!total || !available || *total <= 0 || *available > *total) return std::nullopt;
    return Reading{*total, *available};
}

std::optional<MemorySource::Reading> LinuxMemorySource::read() {
    const std::optional<QByteArray> meminfo = StatusFileReader::read(root_ + QStringLiteral("/proc/meminfo"));
    return meminfo ? parse(*meminfo) : std::nullopt;
}

}  // namespace tarnwick
