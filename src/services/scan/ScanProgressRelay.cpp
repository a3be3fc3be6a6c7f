#include "services/scan/ScanProgressRelay.h"

#include <QMetaObject>
#include <QMutexLocker>

namespace tarnwick {

ScanProgressRelay::ScanProgressRelay(QObject* parent) : QObject(parent) {}

void ScanProgressRelay::post(const ScanProgress& progress) {
    QMutexLocker lock(&mutex_);
    if (closed_) return;
    pending_ = progress;
    schedule();
}

void ScanProgressRelay::finish(const ScanProgress& last) {
    QMutexLocker lock(&mutex_);
    if (closed_) return;
    closed_ = true;
    pending_ = last;
    finalPending_ = true;
    schedule();
}

std::function<void(const ScanProgress&)> ScanProgressRelay::callback() {
    return [this](const ScanProgress& progress) { post(progress); };
}

void ScanProgressRelay::schedule() {
    if (scheduled_) return;
    scheduled_ = true;
    QMetaObject::invokeMethod(this, [this] { deliver(); }, Qt::QueuedConnection);
}

void ScanProgressRelay::deliver() {
    std::optional<ScanProgress> report;
    bool last = false;
    {
        QMutexLocker lock(&mutex_);
        report.swap(pending_);
        last = finalPending_;
        finalPending_ = false;
        scheduled_ = false;
    }
    if (report) emit progressed(*report);
    if (last) emit finished();
}

}  // namespace tarnwick
