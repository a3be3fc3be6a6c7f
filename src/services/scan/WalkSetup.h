#pragma once

#include "models/ScanProgress.h"
#include "services/scan/WalkRules.h"
#include "support/Saturating.h"

#include <QString>

#include <atomic>
#include <functional>

namespace tarnwick {

// The counters a walk shares with its scanner, read and set from any thread.
struct WalkCounters {
    std::atomic<bool> cancelled{false};
    std::atomic<qint64> files{0};
    std::atomic<qint64> bytes{0};

    bool isCancelled() const { return cancelled.load(std::memory_order_relaxed); }
    // Adds to bytes, held at the 64-bit range.
    void addBytes(qint64 more) {
        qint64 now = bytes.load(std::memory_order_relaxed);
        while (!bytes.compare_exchange_weak(now, Saturating::add(now, more), std::memory_order_relaxed)) {
        }
    }
};

// What one walk is asked to do.
struct WalkSetup {
    QString rootPath;  // absolute, without trailing slashes
    std::function<void(const ScanProgress&)> onProgress;  // may be empty
    WalkRules::FileIdSet insightsExcluded;  // folders whose contents stay out of the insights
    qint64 nowMSecs = 0;                    // ages of files are measured against this moment
};

}  // namespace tarnwick
