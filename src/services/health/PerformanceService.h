#pragma once

#include "models/ProcessIdentity.h"

#include <QtGlobal>

namespace tarnwick {

// The performance finder: heavy processes and launch items, and the actions
// on them. Stateless functions.
namespace PerformanceService {

enum class QuitOutcome {
    requested,        // the process was asked to quit (SIGTERM)
    noLongerRunning,  // it has exited, or its pid now belongs to another process
    refused,          // pid 1 and below, and this program itself, are never signalled
    failed,           // the system refused the signal (another user's process)
};

// Asks the process to quit when it is still the one listed: the command name
// and start time read from /proc/<pid>/stat must equal `expected`, captured
// when the process was listed. The check and the signal are made on a handle
// to the process itself (a pidfd) where the kernel offers one, so a pid that
// is reused in between is never signalled. Runs on the calling thread; reads
// /proc under the environment's root prefix.
QuitOutcome quitProcess(qint32 pid, const ProcessIdentity& expected);

}  // namespace PerformanceService

}  // namespace tarnwick
