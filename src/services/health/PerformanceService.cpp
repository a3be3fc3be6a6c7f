#include "services/health/PerformanceService.h"

#include "platform/Environment.h"
#include "platform/FileDescriptor.h"
#include "services/health/ProcPidStat.h"

#include <cerrno>
#include <csignal>

#include <sys/syscall.h>
#include <unistd.h>

namespace tarnwick::PerformanceService {

namespace {

// A descriptor for the process, or -1 with errno set (ENOSYS: no pidfds here).
int openProcess(qint32 pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0u));
#else
    errno = ENOSYS;
    return -1;
#endif
}

int signalProcess(const FileDescriptor& handle, qint32 pid) {
#ifdef SYS_pidfd_send_signal
    if (handle.valid()) return static_cast<int>(::syscall(SYS_pidfd_send_signal, handle.get(), SIGTERM, nullptr, 0u));
#endif
    return ::kill(static_cast<pid_t>(pid), SIGTERM);
}

QuitOutcome outcomeOfError(int error) {
    return error == ESRCH ? QuitOutcome::noLongerRunning : QuitOutcome::failed;
}

}  // namespace

QuitOutcome quitProcess(qint32 pid, const ProcessIdentity& expected) {
    if (pid <= 1 || pid == static_cast<qint32>(::getpid())) return QuitOutcome::refused;

    // Holding the handle first pins the process: the pid cannot pass to a new
    // one between the check below and the signal.
    FileDescriptor handle(openProcess(pid));
    if (!handle.valid() && errno != ENOSYS) return outcomeOfError(errno);

    const std::optional<ProcPidStat> stat = ProcPidStat::read(Environment::current().rootPrefix, pid);
    if (!stat || stat->isZombie() || stat->identity() != expected) return QuitOutcome::noLongerRunning;

    if (signalProcess(handle, pid) != 0) return outcomeOfError(errno);
    return QuitOutcome::requested;
}

}  // namespace tarnwick::PerformanceService
