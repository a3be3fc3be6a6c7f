#pragma once

#include <memory>

namespace tarnwick {

class BatterySource;
class DiskSource;
class MemorySource;
class ProcessSource;
class ProcessorSource;
class UptimeSource;

// The readings a SystemMonitor takes, one source each. The processor, memory
// and uptime sources are read on the UI thread; the disk and battery sources
// on one worker thread, one reading at a time; the process source on worker
// threads, possibly two samples at once.
struct MonitorSources {
    std::shared_ptr<ProcessorSource> processor;
    std::shared_ptr<MemorySource> memory;
    std::shared_ptr<DiskSource> disk;
    std::shared_ptr<BatterySource> battery;
    std::shared_ptr<UptimeSource> uptime;
    std::shared_ptr<ProcessSource> processes;

    // This machine's: /proc, /sys and the root file system under the current
    // environment's root prefix, and its "ps".
    static MonitorSources system();
};

}  // namespace tarnwick
