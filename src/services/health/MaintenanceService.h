#pragma once

#include "models/MaintenanceTask.h"
#include "platform/ToolRunner.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <stop_token>

namespace tarnwick {

// The fixed maintenance commands: each kind runs one or two of the system's
// tools as the user, with a fixed argument list and no shell, and gives a
// short result text. A kind with nothing to act on here (no local DNS cache
// running, no snapshot tool for this user, no applications folder of the
// user's own) runs nothing and says why.
namespace MaintenanceService {

// How long one tool may run before it and everything it started are killed.
inline constexpr std::chrono::seconds kTimeLimit{60};
// How much of each of a tool's output streams is kept; the rest is read and dropped.
inline constexpr qsizetype kOutputLimit = 1'000'000;

// One task per kind in declaration order, each with a new id and no result yet.
QList<MaintenanceTask> allTasks();

// What a kind does on this computer, as it is now: the command lists it
// runs in order (each a tool's usual absolute path followed by its
// arguments), or none and the sentence that says why it cannot act here.
struct Plan {
    QList<QStringList> commands;
    QString notice;  // set exactly when there is no command
};
// The DNS cache is flushed through the resolver that runs (systemd-resolved,
// else nscd); the desktop search index is reset when Tracker is installed;
// the applications and file type databases are rebuilt for the user's own
// folders that exist. The snapshot kinds have no tool an unprivileged user
// could use.
Plan plan(MaintenanceTask::Kind kind);

// Runs the kind's commands one after the other (the second whatever the
// first gave), each through the environment's path for its tool, and returns
// their result texts joined by a line feed; a kind without a command returns
// its notice. Blocks until the last tool has ended: callers run it off the
// UI thread. A stop request kills the running tool as the time limit does
// and starts no further one.
QString run(MaintenanceTask::Kind kind, std::chrono::milliseconds timeLimit = kTimeLimit,
            const std::stop_token& stop = {});

// The result text of one command: "No command" for an empty list; else the
// tool's output as resultText() words it.
QString runCommand(const QStringList& command, std::chrono::milliseconds timeLimit = kTimeLimit,
                   const std::stop_token& stop = {});

// The text for how one run of program ended. Exit status 0: its standard
// output trimmed, or "OK" when it wrote none. Any other end: its standard
// error when it wrote any, else its standard output, trimmed; when nothing is
// left, "Failed (exit N). May need administrator rights." (or the signal
// that ended it). Output that is not UTF-8 counts as none; output cut at the
// limit says so on a line of its own. A tool that cannot be started, or that
// outlived the time limit, has its own sentence.
QString resultText(const ToolResult& result, const QString& program, std::chrono::milliseconds timeLimit);

}  // namespace MaintenanceService

}  // namespace tarnwick
