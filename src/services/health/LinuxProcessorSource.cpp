#include "services/health/LinuxProcessorSource.h"

#include "services/health/StatusFileReader.h"

#include <QList>

#include <array>
#include <limits>

namespace tarnwick {

namespace {

// Held at the top of the range rather than wrapping, so a bogus counter
// cannot turn a sum small.
quint64 addHeld(quint64 a, quint64 b) {
    return a > std::numeric_limits<quint64>::max() - b ? std::numeric_limits<quint64>::max() : a + b;
}

}  // namespace

std::optional<ProcessorSource::Ticks> LinuxProcessorSource::parse(const QByteArray& stat) {
    // The first line is the total of all processors.
    const qsizetype end = stat.indexOf('\n');
    const QByteArray line = (end < 0 ? stat : stat.left(end)).simplified();
    const QList<QByteArray> fields = line.split(' ');
    if (fields.isEmpty() || fields[0] != "cpu") return std::nullopt;

    // user nice system idle iowait irq softirq steal; kernels before 2.6.11
    // stop after idle, so the later columns may be missing.
    std::array<quint64, 8> values{};
    const qsizetype count = std::min<qsizetype>(fields.size() - 1, values.size());
    if (count < 4) return std::nullopt;
    for (qsizetype i = 0; i < count; ++i) {
        bool ok = false;
        values[i] = fields[i + 1].toULongLong(&ok);
        if (!ok) return std::nullopt;
    }
    Ticks ticks;
    for (int i : {0, 1, 2, 5, 6, 7}) ticks.busy = addHeld(ticks.busy, values[i]);
    ticks.idle = addHeld(values[3], values[4]);
    return ticks;
}

std::optional<ProcessorSource::Ticks> LinuxProcessorSource::read() {
    const std::optional<QByteArray> stat = StatusFileReader::read(root_ + QStringLiteral("/proc/stat"));
    return stat ? parse(*stat) : std::nullopt;
}

}  // namespace tarnwick
