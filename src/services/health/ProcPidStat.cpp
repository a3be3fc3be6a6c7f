#include "services/health/ProcPidStat.h"

#include "platform/PathCodec.h"
#include "services/health/StatusFileReader.h"

#include <QList>

#include <unistd.h>

namespace tarnwick {

namespace {

// The stat fields after the command name, counted from the state (field 3).
constexpr int kParentField = 1;   // field 4
constexpr int kFlagsField = 6;    // field 9
constexpr int kStartField = 19;   // field 22

}  // namespace

std::optional<ProcPidStat> ProcPidStat::parse(const QByteArray& line) {
    // The name may hold anything, ")" included, so it runs to the last ")".
    const qsizetype open = line.indexOf('(');
    const qsizetype close = line.lastIndexOf(')');
    if (open <= 0 || close < open) return std::nullopt;

    ProcPidStat stat;
    bool ok = false;
    stat.pid = line.left(open).trimmed().toInt(&ok);
    if (!ok || stat.pid <= 0) return std::nullopt;
    stat.name = PathCodec::decode(line.mid(open + 1, close - open - 1));

    const QList<QByteArray> fields = line.mid(close + 1).simplified().split(' ');
    if (fields.size() <= kStartField) return std::nullopt;
    if (fields[0].size() != 1) return std::nullopt;
    stat.state = fields[0][0];
    stat.parentPid = fields[kParentField].toInt(&ok);
    if (!ok) return std::nullopt;
    stat.flags = fields[kFlagsField].toULongLong(&ok);
    if (!ok) return std::nullopt;
    stat.startTime = fields[kStartField].toULongLong(&ok);
    if (!ok) return std::nullopt;
    return stat;
}

std::optional<ProcPidStat> ProcPidStat::read(const QString& root, qint32 pid) {
    if (pid <= 0) return std::nullopt;
    const std::optional<QByteArray> bytes =
        StatusFileReader::read(root + QStringLiteral("/proc/%1/stat").arg(pid), 64 * 1024);
    if (!bytes) return std::nullopt;
    std::optional<ProcPidStat> stat = parse(bytes->trimmed());
    // A file that names another process is not this one's.
    if (stat && stat->pid != pid) return std::nullopt;
    return stat;
}

std::optional<quint32> ProcPidStat::ownerOf(const QString& root, qint32 pid) {
    if (pid <= 0) return std::nullopt;
    const std::optional<QByteArray> bytes =
        StatusFileReader::read(root + QStringLiteral("/proc/%1/status").arg(pid), 64 * 1024);
    if (!bytes) return std::nullopt;
    for (const QByteArray& line : bytes->split('\n')) {
        if (!line.startsWith("Uid:")) continue;
        const QList<QByteArray> fields = line.mid(4).simplified().split(' ');
        bool ok = false;
        const quint32 uid = fields.value(0).toUInt(&ok);
        return ok ? std::optional<quint32>(uid) : std::nullopt;
    }
    return std::nullopt;
}

bool ProcPidStat::isQuittableBy(const QString& root, qint32 pid, quint32 userId) {
    if (pid <= 1 || pid == static_cast<qint32>(::getpid())) return false;
    return ownerOf(root, pid) == userId;
}

}  // namespace tarnwick
