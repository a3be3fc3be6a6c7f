#pragma once

#include <QtGlobal>

#include <optional>

namespace tarnwick {

// Where the memory figures come from.
class MemorySource {
public:
    struct Reading {
        qint64 totalBytes = 0;
        qint64 availableBytes = 0;  // what programs could still get without swapping
        bool operator==(const Reading&) const = default;
    };

    virtual ~MemorySource() = default;
    // Nothing when the figures cannot be read.
    virtual std::optional<Reading> read() = 0;
};

}  // namespace tarnwick
