#include "services/health/PsProcessSource.h"

#include "platform/PathCodec.h"
#include "platform/ToolRunner.h"
#include "services/health/ProcPidStat.h"


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
        // Names are bytes: split at white space as bytes and decoded
        // losslessly, so one odd name neither hides the others nor stops
        // matching its own stat file.
        const QByteArrayList fields = bytes.simplified().split(' ');
        if (fields.size() < 3) continue;
        bool ok = false;
        const qint32 pid = fields[0].toInt(&ok);
        if (!ok || pid <= 0) continue;
        const QString command = PathCodec::decode(QByteArrayList(fields.mid(2)).join(' '));
        const QString name = command.mid(command.lastIndexOf(QLatin1Char('/')) + 1);
        if (name.isEmpty() || name == QLatin1String("ps") || name.toLower().contains(QLatin1String("tarnwick"))) {
            continue;
        }
        const std::optional<ProcPidStat> stat = ProcPidStat::read(root_, pid);
        if (!stat || stat->isKernelThread()) continue;
        processes.append(SystemMonitor::Proc{pid, name, QString::fromLatin1(fields[1]), stat->identity()});
        if (processes.size() == processLimit) break;
    }
    return processes;
}

}  // namespace tarnwick
