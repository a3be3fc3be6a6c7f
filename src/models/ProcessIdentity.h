#pragma once

#include <QString>
#include <QtGlobal>

namespace tarnwick {

// What tells one running process from a later one that got the same pid: its
// command name and the moment it started (clock ticks after boot), both as
// the kernel reports them in /proc/<pid>/stat.
struct ProcessIdentity {
    QString name{};
    quint64 startTime = 0;

    bool operator==(const ProcessIdentity&) const = default;
};

}  // namespace tarnwick
