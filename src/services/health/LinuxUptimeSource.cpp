#include "services/health/LinuxUptimeSource.h"

#include "services/health/StatusFileReader.h"

#include <QList>

namespace tarnwick {

std::optional<qint64> LinuxUptimeSource::parse(const QByteArray& stat) {
    for (const QByteArray& line : stat.split('\n')) {
        if (!line.startsWith("btime ")) continue;
        bool ok = false;
        const qint64 seconds = line.mid(6).trimmed().toLongLong(&ok);
        return ok && seconds > 0 ? std::optional<qint64>(seconds) : std::nullopt;
    }
    return std::nullopt;
}

std::optional<qint64> LinuxUptimeSource::bootTime() {
    const std::optional<QByteArray> stat = StatusFileReader::read(root_ + QStringLiteral("/proc/stat"));
    return stat ? parse(*stat) : std::nullopt;
}

}  // namespace tarnwick
