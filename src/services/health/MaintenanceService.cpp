#include "services/health/MaintenanceService.h"

#include "platform/Environment.h"
#include "platform/Locations.h"
#include "support/FileError.h"

#include <QStringDecoder>

namespace tarnwick::MaintenanceService {

namespace {

using Kind = MaintenanceTask::Kind;

// The text of a tool's output; output that is not UTF-8 counts as none.
QString decoded(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    return decoder.hasError() ? QString() : text;
}

QString seconds(std::chrono::milliseconds duration) {
    return QString::number(std::chrono::duration_cast<std::chrono::seconds>(duration).count());
}

}  // namespace

QList<MaintenanceTask> allTasks() {
    QList<MaintenanceTask> tasks;
    for (Kind kind : allMaintenanceKinds()) {
        tasks.append(MaintenanceTask{.id = QUuid::createUuid(), .kind = kind, .lastResult = std::nullopt});
    }
    return tasks;
}

QList<QStringList> commands(Kind kind) {
    switch (kind) {
    case Kind::flushDNS:
        return {{QStringLiteral("/usr/bin/resolvectl"), QStringLiteral("flush-caches")}};
    case Kind::reindexSpotlight:
        return {{QStringLiteral("/usr/bin/tracker3"), QStringLiteral("reset"), QStringLiteral("--filesystem")}};
    case Kind::thinSnapshots:
        return {{QStringLiteral("/usr/bin/tmutil"), QStringLiteral("thinlocalsnapshots"), QStringLiteral("/"),
                 QStringLiteral("1000000000"), QStringLiteral("4")}};
    case Kind::purgeableHint:
        return {{QStringLiteral("/usr/bin/tmutil"), QStringLiteral("listlocalsnapshots"), QStringLiteral("/")}};
    case Kind::clearFontCaches:
        return {{QStringLiteral("/usr/bin/fc-cache"), QStringLiteral("-r")}};
    case Kind::rebuildLaunchServices: {
        const Locations locations(Environment::current());
        return {{QStringLiteral("/usr/bin/update-desktop-database"), locations.path(Locations::Place::desktopEntries)},
                {QStringLiteral("/usr/bin/update-mime-database"), locations.path(Locations::Place::mimeDatabase)}};
    }
    }
    return {};
}

QString run(Kind kind, std::chrono::milliseconds timeLimit, const std::stop_token& stop) {
    QStringList texts;
    for (const QStringList& command : commands(kind)) {
        if (stop.stop_requested()) break;
        texts.append(runCommand(command, timeLimit, stop));
    }
    return texts.join(QLatin1Char('\n'));
}

QString runCommand(const QStringList& command, std::chrono::milliseconds timeLimit, const std::stop_token& stop) {
    if (command.isEmpty()) return QStringLiteral("No command");
    const QString program = Environment::current().toolPath(command.first());
    const ToolResult result =
        ToolRunner::run(program, command.mid(1), timeLimit, ToolRunner::Stderr::capture, {}, stop);
    return resultText(result, command.first(), timeLimit);
}

QString resultText(const ToolResult& result, const QString& program, std::chrono::milliseconds timeLimit) {
    const QString tool = FileError::quoted(program);
    switch (result.status) {
    case ToolResult::Status::notFound:
        return QStringLiteral("The tool ") + tool + QStringLiteral(" is not installed on this computer.");
    case ToolResult::Status::failedToStart:
        return QStringLiteral("The tool ") + tool + QStringLiteral(" could not be started.");
    case ToolResult::Status::timedOut:
        return QStringLiteral("Stopped: the tool ") + tool + QStringLiteral(" did not finish within ") +
               seconds(timeLimit) + QStringLiteral(" seconds.");
    case ToolResult::Status::finished:
    case ToolResult::Status::crashed:
        break;
    }
    const QString output = decoded(result.output);
    if (result.succeeded()) return output.isEmpty() ? QStringLiteral("OK") : output.trimmed();
    const QString errors = decoded(result.errorOutput);
    const QString said = (errors.isEmpty() ? output : errors).trimmed();
    if (!said.isEmpty()) return said;
    if (result.status == ToolResult::Status::crashed) {
        return QStringLiteral("Failed (signal ") + QString::number(result.signalNumber) + QStringLiteral(").");
    }
    return QStringLiteral("Failed (exit ") + QString::number(result.exitCode) +
           QStringLiteral("). May need Full Disk Access / admin.");
}

}  // namespace tarnwick::MaintenanceService
