#include "services/health/PsProcessSource.h"

#include "platform/ToolRunner.h"
#include "services/health/ProcPidStat.h"
#include "services/health/PsLine.h"

namespace tarnwick {

QStringList PsProcessSource::arguments() {
    return {QStringLiteral("-e"), QStringLiteral("-o"), QStringLiteral("pid=,pcpu=,comm="),
            QStringLiteral("--sort=-pcpu")};
}

QList<SystemMonitor::Proc> PsProcessSource::sample() const {
    const ToolResult result = ToolRunner::run(program_, arguments(), timeout_, ToolRunner::Stderr::discard,
                                              {QStringLiteral("LC_ALL=C")});
    if (result.status == ToolResult::Status::notFound || result.status == ToolResult::Status::failedToStart) {
        return {};
    }
    return parse(result.output);
}

QList<SystemMonitor::Proc> PsProcessSource::parse(const QByteArray& output) const {
    QList<SystemMonitor::Proc> processes;
    int lines = 0;
    for (const QByteArray& bytes : output.split('\n')) {
        if (bytes.isEmpty()) continue;
        if (++lines > lineLimit) break;
        const std::optional<PsLine> line = PsLine::parse(bytes, 1);
        if (!line) continue;
        const qint32 pid = line->pid;
        const QString name = line->name();
        if (name.isEmpty() || name == QLatin1String("ps") || name.toLower().contains(QLatin1String("tarnwick"))) {
            continue;
        }
        const std::optional<ProcPidStat> stat = ProcPidStat::read(root_, pid);
        if (!stat || stat->isKernelThread()) continue;
        processes.append(SystemMonitor::Proc{pid, name, QString::fromLatin1(line->figures[0]), stat->identity(),
                                             ProcPidStat::isQuittableBy(root_, pid, userId_)});
        if (processes.size() == processLimit) break;
    }
    return processes;
}

}  // namespace tarnwick
