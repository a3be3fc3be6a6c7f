#include "services/health/MonitorSources.h"

#include "platform/Environment.h"
#include "services/health/LinuxBatterySource.h"
#include "services/health/LinuxDiskSource.h"
#include "services/health/LinuxMemorySource.h"
#include "services/health/LinuxProcessorSource.h"
#include "services/health/LinuxUptimeSource.h"
#include "services/health/PsProcessSource.h"

namespace tarnwick {

MonitorSources MonitorSources::system() {
    const Environment& environment = Environment::current();
    const QString root = environment.rootPrefix;
    return MonitorSources{
        std::make_shared<LinuxProcessorSource>(root),
        std::make_shared<LinuxMemorySource>(root),
        std::make_shared<LinuxDiskSource>(root),
        std::make_shared<LinuxBatterySource>(root),
        std::make_shared<LinuxUptimeSource>(root),
        std::make_shared<PsProcessSource>(environment.toolPath(QStringLiteral("/usr/bin/ps")), root),
    };
}

}  // namespace tarnwick
