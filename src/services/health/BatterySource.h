#pragma once

#include <QtGlobal>

#include <optional>

namespace tarnwick {

// Where the battery figures come from. Battery drivers may take their time
// to answer, so the monitor reads it off the UI thread.
class BatterySource {
public:
    struct Reading {
        std::optional<int> capacityPercent{};  // charge, 0 to 100
        bool charging = false;
        bool onAdapter = false;  // running from an external power supply
        std::optional<qint64> cycleCount{};
        bool operator==(const Reading&) const = default;
    };

    virtual ~BatterySource() = default;
    // The computer's own battery; nothing when it has none or it cannot be read.
    virtual std::optional<Reading> read() = 0;
};

}  // namespace tarnwick
