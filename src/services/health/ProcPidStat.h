#pragma once

#include "models/ProcessIdentity.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tarnwick {

// The fields of one /proc/<pid>/stat line that tell a process apart: its
// command name, state, parent, kernel flags and start time.
struct ProcPidStat {
    // The kernel marks its own threads with this flag (PF_KTHREAD).
    static constexpr quint64 kernelThreadFlag = 0x00200000;

    qint32 pid = 0;
    QString name{};  // the command name between the parentheses, which may itself hold spaces and parentheses
    char state = '?';  // R, S, D, Z (exited, not yet reaped), ...
    qint32 parentPid = 0;
    quint64 flags = 0;
    quint64 startTime = 0;  // clock ticks after boot

    bool isKernelThread() const { return (flags & kernelThreadFlag) != 0; }
    // Exited, only waiting for its parent to collect the status.
    bool isZombie() const { return state == 'Z' || state == 'X'; }
    ProcessIdentity identity() const { return ProcessIdentity{name, startTime}; }

    // One stat line; nothing when it is cut short or a field is not a number.
    static std::optional<ProcPidStat> parse(const QByteArray& line);
    // The stat file of a process under a root ("" for the real /proc); nothing
    // when the process is gone or the file does not parse.
    static std::optional<ProcPidStat> read(const QString& root, qint32 pid);
    // The user a process runs as (the real user id of the "Uid:" line of its
    // status file); nothing when the process is gone or the line does not parse.
    static std::optional<quint32> ownerOf(const QString& root, qint32 pid);
    // Whether the user may ask this process to quit: one of the user's own,
    // never pid 1 or below and never this program itself.
    static bool isQuittableBy(const QString& root, qint32 pid, quint32 userId);
};

}  // namespace tarnwick
