#pragma once

#include "services/health/BatterySource.h"
#include "services/health/DiskSource.h"
#include "services/health/MemorySource.h"
#include "services/health/MonitorSources.h"
#include "services/health/ProcessSource.h"
#include "services/health/ProcessorSource.h"
#include "services/health/UptimeSource.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace tarnwick::test {

// Readings a test sets; the worker-thread sources guard theirs with a lock.
struct FakeProcessor : ProcessorSource {
    std::optional<Ticks> next;
    int reads = 0;
    std::optional<Ticks> read() override {
        ++reads;
        return next;
    }
};

struct FakeMemory : MemorySource {
    std::optional<Reading> next;
    std::optional<Reading> read() override { return next; }
};

struct FakeDisk : DiskSource {
    std::mutex mutex;
    std::optional<Reading> next;
    std::atomic_int reads{0};
    void set(std::optional<Reading> reading) {
        std::lock_guard lock(mutex);
        next = reading;
    }
    std::optional<Reading> read() override {
        std::lock_guard lock(mutex);
        ++reads;
        return next;
    }
};

struct FakeBattery : BatterySource {
    std::mutex mutex;
    std::optional<Reading> next;
    std::atomic_bool hold{false};  // while set, a reading waits
    void set(std::optional<Reading> reading) {
        std::lock_guard lock(mutex);
        next = reading;
    }
    std::optional<Reading> read() override {
        while (hold) QThread::msleep(1);
        std::lock_guard lock(mutex);
        return next;
    }
};

struct FakeUptime : UptimeSource {
    std::optional<qint64> boot;
    std::optional<qint64> bootTime() override { return boot; }
};

// Processes that a sample returns: the list as it was when the sample
// started. While `hold` is set a sample waits before it returns.
struct FakeProcesses : ProcessSource {
    mutable std::mutex mutex;
    QList<SystemMonitor::Proc> list;
    std::atomic_bool hold{false};
    mutable std::atomic_int started{0};
    mutable std::atomic_int finished{0};
    void set(QList<SystemMonitor::Proc> processes) {
        std::lock_guard lock(mutex);
        list = std::move(processes);
    }
    QList<SystemMonitor::Proc> sample() const override {
        QList<SystemMonitor::Proc> snapshot;
        {
            std::lock_guard lock(mutex);
            snapshot = list;
        }
        ++started;
        while (hold) QThread::msleep(1);
        ++finished;
        return snapshot;
    }
};

struct FakeMonitorSources {
    std::shared_ptr<FakeProcessor> processor = std::make_shared<FakeProcessor>();
    std::shared_ptr<FakeMemory> memory = std::make_shared<FakeMemory>();
    std::shared_ptr<FakeDisk> disk = std::make_shared<FakeDisk>();
    std::shared_ptr<FakeBattery> battery = std::make_shared<FakeBattery>();
    std::shared_ptr<FakeUptime> uptime = std::make_shared<FakeUptime>();
    std::shared_ptr<FakeProcesses> processes = std::make_shared<FakeProcesses>();

    MonitorSources sources() const { return MonitorSources{processor, memory, disk, battery, uptime, processes}; }
};

// Spins the event loop until the condition holds or the time is up.
inline bool eventually(const std::function<bool()>& condition, int timeoutMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

// Lets queued results arrive for a while.
inline void settleFor(int milliseconds) {
    eventually([] { return false; }, milliseconds);
}

inline SystemMonitor::Proc proc(qint32 pid, const QString& name, const QString& cpu, bool canQuit = true) {
    return SystemMonitor::Proc{pid, name, cpu, ProcessIdentity{name, static_cast<quint64>(pid) * 10}, canQuit};
}

}  // namespace tarnwick::test
