#pragma once

#include "services/health/SystemMonitor.h"

#include <QList>

namespace tarnwick {

// Where the heaviest processes come from. sample() runs off the UI thread,
// and a new sample may start while an older one still runs, so it must not
// change the source.
class ProcessSource {
public:
    virtual ~ProcessSource() = default;
    // At most five processes, highest processor share first; empty when the
    // processes cannot be listed.
    virtual QList<SystemMonitor::Proc> sample() const = 0;
};

}  // namespace tarnwick
