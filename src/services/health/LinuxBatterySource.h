#pragma once

#include "services/health/BatterySource.h"

#include <QString>

namespace tarnwick {

// The battery as /sys/class/power_supply (under a root, "" being the real
// one) describes it. The battery is the first supply, in name order, of type
// "Battery" that is present and whose scope is not "Device" (the batteries of
// mice, keyboards and headsets have that scope). Its charge is "capacity",
// else energy_now / energy_full or charge_now / charge_full; it is charging
// when "status" says "Charging"; the computer runs on its adapter when a
// supply of type "Mains" or "USB" (again not a device's) is online; the cycle
// count is "cycle_count" when there is one.
class LinuxBatterySource : public BatterySource {
public:
    explicit LinuxBatterySource(QString root) : root_(std::move(root)) {}

    std::optional<Reading> read() override;

private:
    QString root_;
};

}  // namespace tarnwick
