#pragma once

#include "models/ScanProgress.h"

#include <QMutex>
#include <QObject>

#include <functional>
#include <optional>

namespace tarnwick {

// Carries progress reports from a walk thread to the thread this object
// lives on (the UI thread) without ever making the walk wait for that thread.
//
// post() keeps only the newest report: one that has not been delivered yet is
// replaced, and a delivery is queued only when none is pending, so a busy
// receiver sees fewer reports rather than slowing the walk. finish() queues
// the last report, which is always delivered (after it nothing else is), and
// then finished() is emitted.
//
// The relay must outlive every call of post() and finish(); a delivery still
// queued when the relay is destroyed is dropped with it.
class ScanProgressRelay : public QObject {
    Q_OBJECT

public:
    explicit ScanProgressRelay(QObject* parent = nullptr);

    // Any thread. Keeps the report for delivery; ignored after finish().
    void post(const ScanProgress& progress);
    // Any thread. Queues the last report of the scan.
    void finish(const ScanProgress& last);
    // A progress callback for DiskScanner::scan that posts to this relay.
    std::function<void(const ScanProgress&)> callback();

signals:
    // On the relay's thread: the newest report at the time of delivery.
    void progressed(const tarnwick::ScanProgress& progress);
    // On the relay's thread, once, right after the last report was delivered.
    void finished();

private:
    void schedule();  // with mutex_ held
    void deliver();

    QMutex mutex_;
    std::optional<ScanProgress> pending_;
    bool scheduled_ = false;      // a queued deliver() is on its way
    bool finalPending_ = false;   // pending_ is the last report
    bool closed_ = false;         // finish() was called
};

}  // namespace tarnwick
