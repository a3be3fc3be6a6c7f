#pragma once

#include <QtGlobal>

#include <optional>

namespace tarnwick {

// Where the processor load comes from: cumulative tick counters of all
// processors together, read as often as the monitor refreshes.
class ProcessorSource {
public:
    struct Ticks {
        quint64 busy = 0;  // time spent running anything
        quint64 idle = 0;  // time spent idle or waiting for input and output
        bool operator==(const Ticks&) const = default;
    };

    virtual ~ProcessorSource() = default;
    // The counters now; nothing when they cannot be read.
    virtual std::optional<Ticks> read() = 0;
};

}  // namespace tarnwick
