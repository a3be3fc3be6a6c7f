#include "services/health/MaintenanceService.h"

#include "platform/Environment.h"
#include "platform/Locations.h"
#include "support/ByteCountFormatter.h"
#include "support/FileError.h"

#include <QFileInfo>
#include <QStringDecoder>

namespace tarnwick::MaintenanceService {

namespace {

using Kind = MaintenanceTask::Kind;

const QString kResolvectl = QStringLiteral("/usr/bin/resolvectl");
const QString kNscd = QStringLiteral("/usr/sbin/nscd");
const QString kTracker = QStringLiteral("/usr/bin/tracker3");

// The text of a tool's output; output that is not UTF-8 counts as none. A
// character cut in two at the output limit is dropped, not taken for bad bytes.
QString decoded(const QByteArray& bytes, bool cut) {
    QStringDecoder decoder(QStringDecoder::Utf8, cut ? QStringDecoder::Flag::Default : QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    return decoder.hasError() ? QString() : text;
}

QString seconds(std::chrono::milliseconds duration) {
    return QString::number(std::chrono::duration_cast<std::chrono::seconds>(duration).count());
}

bool exists(const QString& systemPath) {
    return QFileInfo::exists(Environment::current().systemPath(systemPath));
}

bool isDirectory(const QString& path) {
    return QFileInfo(path).isDir();
}

bool isInstalled(const QString& usualPath) {
    const QFileInfo tool(Environment::current().toolPath(usualPath));
    return tool.isFile() && tool.isExecutable();
}

Plan notice(const QString& text) {
    return Plan{{}, text};
}

Plan flushDNS() {
    // Each resolver keeps its runtime files there only while it runs.
    if (exists(QStringLiteral("/run/systemd/resolve/io.systemd.Resolve")) ||
        exists(QStringLiteral("/run/systemd/resolve/stub-resolv.conf"))) {
        return Plan{{{kResolvectl, QStringLiteral("flush-caches")}}, {}};
    }
    if (exists(QStringLiteral("/run/nscd/socket"))) {
        return Plan{{{kNscd, QStringLiteral("--invalidate=hosts")}}, {}};
    }
    return notice(QStringLiteral(
        "No local DNS cache is running on this computer (neither systemd-resolved nor nscd), so there is nothing "
        "to flush: every name is looked up afresh."));
}

Plan snapshots(const QString& action) {
    return notice(QStringLiteral("There is no snapshot tool set up for you on this computer: the system's own "
                                 "snapshots (Snapper, Timeshift) need administrator rights to ") +
                  action + QLatin1Char('.'));
}

Plan rebuildDatabases() {
    const Locations locations(Environment::current());
    const QString applications = locations.path(Locations::Place::desktopEntries);
    const QString mime = locations.path(Locations::Place::mimeDatabase);
    Plan plan;
    // Each tool fails on a folder that is not there; the system's own folders
    // are the package manager's to keep.
    if (!applications.isEmpty() && isDirectory(applications)) {
        plan.commands.append({QStringLiteral("/usr/bin/update-desktop-database"), applications});
    }
    if (!mime.isEmpty() && isDirectory(mime + QStringLiteral("/packages"))) {
        plan.commands.append({QStringLiteral("/usr/bin/update-mime-database"), mime});
    }
    if (plan.commands.isEmpty()) {
        plan.notice = QStringLiteral("You have no applications or file types of your own to register; the "
                                     "system's databases are brought up to date whenever packages are installed.");
    }
    return plan;
}

}  // namespace

QList<MaintenanceTask> allTasks() {
    QList<MaintenanceTask> tasks;
    for (Kind kind : allMaintenanceKinds()) {
        tasks.append(MaintenanceTask{.id = QUuid::createUuid(), .kind = kind, .lastResult = std::nullopt});
    }
    return tasks;
}

Plan plan(Kind kind) {
    switch (kind) {
    case Kind::flushDNS:
        return flushDNS();
    case Kind::reindexSpotlight:
        if (!isInstalled(kTracker)) {
            return notice(QStringLiteral("Desktop search (Tracker) is not installed on this computer, so there is "
                                         "no search index to rebuild."));
        }
        return Plan{{{kTracker, QStringLiteral("reset"), QStringLiteral("--filesystem")}}, {}};
    case Kind::thinSnapshots:
        return snapshots(QStringLiteral("thin"));
    case Kind::purgeableHint:
        return snapshots(QStringLiteral("list"));
    case Kind::clearFontCaches:
        return Plan{{{QStringLiteral("/usr/bin/fc-cache"), QStringLiteral("-r")}}, {}};
    case Kind::rebuildLaunchServices:
        return rebuildDatabases();
    }
    return notice(QStringLiteral("No command"));
}

QString run(Kind kind, std::chrono::milliseconds timeLimit, const std::stop_token& stop) {
    const Plan steps = plan(kind);
    if (steps.commands.isEmpty()) return steps.notice;
    QStringList texts;
    for (const QStringList& command : steps.commands) {
        if (stop.stop_requested()) break;
        texts.append(runCommand(command, timeLimit, stop));
    }
    return texts.join(QLatin1Char('\n'));
}

QString runCommand(const QStringList& command, std::chrono::milliseconds timeLimit, const std::stop_token& stop) {
    if (command.isEmpty()) return QStringLiteral("No command");
    const QString program = Environment::current().toolPath(command.first());
    const ToolResult result = ToolRunner::run(program, command.mid(1), timeLimit, ToolRunner::Stderr::capture, {},
                                              stop, kOutputLimit);
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
    case ToolResult::Status::running:
        break;
    }
    auto withCut = [](const QString& text, bool cut) {
        if (!cut) return text;
        return text + QStringLiteral("\n[Output cut: only the first ") +
               ByteCountFormatter::fileStyle(kOutputLimit) + QStringLiteral(" is kept.]");
    };
    const QString output = decoded(result.output, result.outputCut);
    if (result.succeeded()) {
        return output.isEmpty() && !result.outputCut ? QStringLiteral("OK") : withCut(output.trimmed(), result.outputCut);
    }
    const QString errors = decoded(result.errorOutput, result.errorOutputCut);
    const bool fromErrors = !errors.isEmpty();
    const QString said = (fromErrors ? errors : output).trimmed();
    if (!said.isEmpty()) return withCut(said, fromErrors ? result.errorOutputCut : result.outputCut);
    if (result.status == ToolResult::Status::crashed) {
        return QStringLiteral("Failed (signal ") + QString::number(result.signalNumber) + QStringLiteral(").");
    }
    return QStringLiteral("Failed (exit ") + QString::number(result.exitCode) +
           QStringLiteral("). May need administrator rights.");
}

}  // namespace tarnwick::MaintenanceService
