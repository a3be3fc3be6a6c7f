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
// short result text.
namespace MaintenanceService {

// How long one tool may run before it and everything it started are killed.
inline constexpr std::chrono::seconds kTimeLimit{60};

// One task per kind in declaration order, each with a new id and no result yet.
QList<MaintenanceTask> allTasks();

// The command lists the kind runs, in order: each is a tool's usual absolute
// path followed by its arguments. The applications database takes the
// user's applications and file type folders from the locations table.
QList<QStringList> commands(MaintenanceTask::Kind kind);

// Runs the kind's commands one after the other (the second whatever the
// first gave), each through the environment's path for its tool, and returns
// their result texts joined by a line feed. Blocks until the last tool has
// ended: callers run it off the UI thread. A stop request kills the running
// tool as the time limit does and starts no further one.
QString run(MaintenanceTask::Kind kind, std::chrono::milliseconds timeLimit = kTimeLimit,
            const std::stop_token& stop = {});

// The result text of one command: "No command" for an empty list; else the
// tool's output as resultText() words it.
QString runCommand(const QStringList& command, std::chrono::milliseconds timeLimit = kTimeLimit,
                   const std::stop_token& stop = {});

// The text for how one run of program ended. Exit status 0: its standard
// output trimmed, or "OK" when it wrote none. Any other end: its standard
// error when it wrote any, else its standard output, trimmed; when nothing is
// left, "Failed (exit N). May need Full Disk Access / admin." (or the signal
// that ended it). Output that is not UTF-8 counts as none. A tool that
// cannot be started, or that outlived the time limit, has its own sentence.
QString resultText(const ToolResult& result, const QString& program, std::chrono::milliseconds timeLimit);

}  // namespace MaintenanceService

}  // namespace tarnwick
