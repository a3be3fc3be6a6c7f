#include "services/health/SystemMonitor.h"

#include "platform/Environment.h"
#include "services/health/BatterySource.h"
#include "services/health/DiskSource.h"
#include "services/health/MemorySource.h"
#include "services/health/MonitorSources.h"
#include "services/health/ProcessSource.h"
#include "services/health/ProcessorSource.h"
#include "services/health/UptimeSource.h"
#include "support/ByteCountFormatter.h"

#include <QSettings>
#include <QTimer>

#include <algorithm>

namespace tarnwick {

namespace {

const QString kPlaceholder = QStringLiteral("\u2014");

}  // namespace

// What the worker thread read of the volume and the battery.
struct SystemMonitor::SlowReadings {
    std::optional<DiskSource::Reading> disk;
    std::optional<BatterySource::Reading> battery;
};

SystemMonitor::SystemMonitor(QObject* parent) : SystemMonitor(MonitorSources::system(), parent) {}

SystemMonitor::SystemMonitor(const MonitorSources& sources, QObject* parent)
    : QObject(parent),
      processor_(sources.processor),
      memory_(sources.memory),
      disk_(sources.disk),
      battery_(sources.battery),
      uptime_(sources.uptime),
      processes_(sources.processes) {
    // Two process samples may overlap (a replaced one cannot be interrupted),
    // next to the one volume and battery reading.
    pool_.setMaxThreadCount(3);
    lightTimer_ = new QTimer(this);
    lightTimer_->setInterval(lightIntervalMs);
    connect(lightTimer_, &QTimer::timeout, this, &SystemMonitor::refreshLight);
    processTimer_ = new QTimer(this);
    processTimer_->setInterval(processIntervalMs);
    connect(processTimer_, &QTimer::timeout, this, &SystemMonitor::refreshProcessesAsync);
}

SystemMonitor::~SystemMonitor() {
    stop();
    // The workers post back to this object: none may still be running once it goes.
    pool_.waitForDone();
}

// ---- Starting and stopping ----

void SystemMonitor::start(bool processDetail) {
    stop();
    processSamplingEnabled_ = processDetail;
    refreshLight();
    lightTimer_->start();
    if (processSamplingEnabled_) {
        refreshProcessesAsync();
        processTimer_->start();
    }
}

void SystemMonitor::stop() {
    lightTimer_->stop();
    processTimer_->stop();
    ++processGeneration_;
    ++slowGeneration_;
    slowRequested_ = false;
    processSamplingEnabled_ = false;
}

void SystemMonitor::setProcessSamplingEnabled(bool enabled) {
    if (enabled == processSamplingEnabled_) return;
    processSamplingEnabled_ = enabled;
    processTimer_->stop();
    if (!enabled) {
        ++processGeneration_;  // the sample under way publishes nothing; the list stays
        return;
    }
    refreshProcessesAsync();
    processTimer_->start();
}

bool SystemMonitor::isRunning() const {
    return lightTimer_->isActive();
}

bool SystemMonitor::isProcessTimerActive() const {
    return processTimer_->isActive();
}

// ---- One refresh ----

void SystemMonitor::refreshLight() {
    ++tick_;
    readProcessor();
    readMemory();
    if (tick_ == 1 || tick_ % 2 == 0) {
        requestSlowReadings();
        const std::optional<qint64> boot = uptime_ ? uptime_->bootTime() : std::nullopt;
        const qint64 seconds = boot ? Environment::current().now().toSecsSinceEpoch() - *boot : -1;
        publish(uptimeShort_, QStringLiteral("Up ") + (seconds >= 0 ? uptimeText(seconds) : kPlaceholder),
                Field::uptimeShort);
    }
    updateHealth();
    updateRecommendation();
}

void SystemMonitor::readProcessor() {
    const std::optional<ProcessorSource::Ticks> ticks = processor_ ? processor_->read() : std::nullopt;
    if (!ticks) return;  // unreadable: the reading and the base stay
    const std::optional<std::pair<quint64, quint64>> previous = previousTicks_;
    previousTicks_ = std::pair(ticks->busy, ticks->idle);
    // The first reading is only a base. A total that went down (counters
    // reset or wrapped) gives no usable interval: this reading becomes the
    // base and the published figure stays. Idle and iowait are compared as
    // one sum, since the kernel may move time from one to the other.
    if (!previous || ticks->busy < previous->first || ticks->idle < previous->second) return;
    const double busy = static_cast<double>(ticks->busy - previous->first);
    const double total = busy + static_cast<double>(ticks->idle - previous->second);
    if (total <= 0) return;
    publish(cpuPercent_, std::optional<double>(std::clamp(busy * 100.0 / total, 0.0, 100.0)), Field::cpuPercent);
}

void SystemMonitor::readMemory() {
    const std::optional<MemorySource::Reading> reading = memory_ ? memory_->read() : std::nullopt;
    if (!reading || reading->totalBytes <= 0) return;
    const qint64 used = reading->totalBytes - std::clamp<qint64>(reading->availableBytes, 0, reading->totalBytes);
    publish(memoryPercent_,
            std::optional<double>(static_cast<double>(used) * 100.0 / static_cast<double>(reading->totalBytes)),
            Field::memoryPercent);
    publish(memoryAvailableFormatted_, ByteCountFormatter::memoryStyle(reading->availableBytes),
            Field::memoryAvailableFormatted);
}

// ---- Volume and battery, off the UI thread ----

void SystemMonitor::requestSlowReadings() {
    if (slowInFlight_) {
        slowRequested_ = true;  // taken as soon as the reading under way is back
        return;
    }
    startSlowReadings();
}

void SystemMonitor::startSlowReadings() {
    slowInFlight_ = true;
    slowRequested_ = false;
    const quint64 generation = slowGeneration_;
    pool_.start([this, generation, disk = disk_, battery = battery_] {
        SlowReadings readings;
        if (disk) readings.disk = disk->read();
        if (battery) readings.battery = battery->read();
        // The destructor waits for this thread, so the object is still there.
        QMetaObject::invokeMethod(
            this, [this, generation, readings] { finishSlowReadings(generation, readings); }, Qt::QueuedConnection);
    });
}

void SystemMonitor::finishSlowReadings(quint64 generation, const SlowReadings& readings) {
    slowInFlight_ = false;
    if (generation != slowGeneration_) {
        if (slowRequested_) startSlowReadings();
        return;
    }

    // A volume that cannot be asked, or reports no size, changes nothing.
    if (readings.disk && readings.disk->totalBytes >= 1) {
        const qint64 total = readings.disk->totalBytes;
        const qint64 free = std::clamp<qint64>(readings.disk->freeBytes, 0, total);
        // In use as df and the map count it; blocks kept for the superuser are not the user's data.
        const qint64 used = std::clamp<qint64>(readings.disk->usedBytes.value_or(total - free), 0, total);
        publish(diskFreeFormatted_, ByteCountFormatter::fileStyle(free), Field::diskFreeFormatted);
        publish(diskUsedFormatted_, ByteCountFormatter::fileStyle(used), Field::diskUsedFormatted);
        publish(diskUsedFraction_, std::min(1.0, static_cast<double>(used) / static_cast<double>(total)),
                Field::diskUsedFraction);
    }

    if (!readings.battery) {
        publish(batteryPercentText_, QStringLiteral("AC"), Field::batteryPercentText);
        publish(batteryStatus_, QStringLiteral("Desktop / no battery"), Field::batteryStatus);
        publish(batteryDetail_, QStringLiteral("This computer has no battery or battery data is unavailable."),
                Field::batteryDetail);
    } else {
        const BatterySource::Reading& battery = *readings.battery;
        const QString status = battery.charging    ? QStringLiteral("Charging")
                               : battery.onAdapter ? QStringLiteral("Power adapter")
                                                   : QStringLiteral("On battery");
        publish(batteryPercentText_, QString::number(battery.capacityPercent.value_or(0)) + QLatin1Char('%'),
                Field::batteryPercentText);
        publish(batteryStatus_, status, Field::batteryStatus);
        publish(batteryDetail_,
                battery.cycleCount ? QStringLiteral("Cycle count %1. %2.").arg(*battery.cycleCount).arg(status)
                                   : status,
                Field::batteryDetail);
    }

    updateHealth();
    updateRecommendation();
    if (slowRequested_) startSlowReadings();
}

// ---- Processes ----

void SystemMonitor::refreshProcessesAsync() {
    const quint64 generation = ++processGeneration_;
    pool_.start([this, generation, source = processes_] {
        QList<Proc> processes = source ? source->sample() : QList<Proc>();
        // The destructor waits for this thread, so the object is still there.
        QMetaObject::invokeMethod(
            this, [this, generation, processes = std::move(processes)]() mutable {
                finishProcessSample(generation, std::move(processes));
            },
            Qt::QueuedConnection);
    });
}

void SystemMonitor::finishProcessSample(quint64 generation, QList<Proc> processes) {
    if (generation != processGeneration_ || !processSamplingEnabled_) return;
    if (processes.size() > topProcessLimit) processes.resize(topProcessLimit);
    publish(topProcesses_, std::move(processes), Field::topProcesses);
}

// ---- Health and recommendation ----

QString SystemMonitor::uptimeText(qint64 seconds) {
    seconds = std::max<qint64>(0, seconds);
    if (seconds < 86400) {
        return QStringLiteral("%1h %2m").arg(seconds / 3600).arg((seconds % 3600) / 60);
    }
    return QStringLiteral("%1d %2h").arg(seconds / 86400).arg((seconds % 86400) / 3600);
}

int SystemMonitor::estimatedScore(double diskUsedFraction, std::optional<double> memoryPercent,
                                  std::optional<double> cpuPercent) {
    int score = diskUsedFraction > 0.9 ? 75 : diskUsedFraction > 0.8 ? 85 : 100;
    if (memoryPercent) score -= *memoryPercent > 90 ? 20 : *memoryPercent > 80 ? 10 : 0;
    if (cpuPercent) score -= *cpuPercent > 85 ? 15 : *cpuPercent > 65 ? 8 : 0;
    return score;
}

std::optional<int> SystemMonitor::storedScore() {
    const QVariant value = Environment::current().settings()->value(healthScoreKey());
    bool ok = false;
    int score = 0;
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        score = value.toInt(&ok);
        break;
    case QMetaType::QString:
    case QMetaType::QByteArray:
        // Settings files keep every value as text: only a plain decimal integer counts.
        score = value.toString().trimmed().toInt(&ok, 10);
        break;
    default:
        break;
    }
    return ok ? std::optional<int>(score) : std::nullopt;
}

std::pair<QString, SystemMonitor::Tint> SystemMonitor::band(int score) {
    if (score >= 85) return {QStringLiteral("Excellent"), Tint::accentTeal};
    if (score >= 70) return {QStringLiteral("Good"), Tint::accent};
    if (score >= 50) return {QStringLiteral("Fair"), Tint::warning};
    return {QStringLiteral("Critical"), Tint::danger};
}

void SystemMonitor::updateHealth() {
    // A stored score beyond the scale is shown at its nearest end.
    const std::optional<int> stored = storedScore();
    const int score = stored ? std::clamp(*stored, 5, 100)
                             : estimatedScore(diskUsedFraction_, memoryPercent_, cpuPercent_);
    const auto [label, tint] = band(score);
    publish(healthScoreText_, QString::number(score), Field::healthScoreText);
    publish(healthLabel_, label, Field::healthLabel);
    publish(healthTint_, tint, Field::healthTint);
    publish(healthDetail_, QStringLiteral("Based on free disk, memory pressure, and CPU load."), Field::healthDetail);
}

void SystemMonitor::updateRecommendation() {
    QString title;
    QString detail;
    if (diskUsedFraction_ > 0.85) {
        title = QStringLiteral("Storage is filling up");
        detail = diskFreeFormatted_ + QStringLiteral(" free \u2014 clean junk to reclaim space.");
    } else if (memoryPercent_.value_or(0) > 85) {
        title = QStringLiteral("Memory under pressure");
        detail = QStringLiteral("Quit heavy apps or open Performance to free RAM.");
    } else if (cpuPercent_.value_or(0) > 85) {
        title = QStringLiteral("CPU is busy");
        detail = QStringLiteral("A few apps are using most of the processor.");
    } else {
        title = QStringLiteral("Keep your computer tidy");
        detail = QStringLiteral("Run Vidur Aded for junk, clutter, and protection.");
    }
    publish(recommendationTitle_, title, Field::recommendationTitle);
    publish(recommendationDetail_, detail, Field::recommendationDetail);
}

}  // namespace tarnwick
