#pragma once

#include "platform/Environment.h"
#include "services/health/ProcessSource.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>

namespace tarnwick {

// The heaviest processes as procps "ps" lists them: every process with its
// pid, processor share and command name, highest share first, in the C
// locale (so the share is written with a point). Of the first 40 lines, the
// first five processes that are neither the lister itself, nor one of this
// program's own, nor a kernel thread are kept; each one's identity (name and
// start time) is read from /proc/<pid>/stat under the root as it is listed,
// and a process whose stat file is gone by then is left out. Quit is offered
// only for the user's own processes.
class PsProcessSource : public ProcessSource {
public:
    static constexpr int lineLimit = 40;
    static constexpr int processLimit = 5;

    // userId: whose processes may be quit (the environment's user).
    PsProcessSource(QString program, QString root, std::chrono::milliseconds timeout = std::chrono::seconds(5),
                    quint32 userId = Environment::current().effectiveUserId())
        : program_(std::move(program)), root_(std::move(root)), timeout_(timeout), userId_(userId) {}

    // The lister's arguments: --sort=-pcpu orders by share (procps reads "-r"
    // as "running processes only").
    static QStringList arguments();

    QList<SystemMonitor::Proc> sample() const override;
    // The processes of one listing.
    QList<SystemMonitor::Proc> parse(const QByteArray& output) const;

private:
    QString program_;
    QString root_;
    std::chrono::milliseconds timeout_;
    quint32 userId_;
};

}  // namespace tarnwick
