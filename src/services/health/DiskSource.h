#pragma once

#include <QtGlobal>

#include <optional>

namespace tarnwick {

// Where the space of the start-up volume comes from. May block (a file
// system that does not answer), so the monitor reads it off the UI thread.
class DiskSource {
public:
    struct Reading {
        qint64 totalBytes = 0;
        qint64 freeBytes = 0;  // what the user may still write
        // In use as df counts it: the total less the free blocks, so blocks
        // kept for the superuser count as free. Absent: total less free.
        std::optional<qint64> usedBytes{};
        bool operator==(const Reading&) const = default;
    };

    virtual ~DiskSource() = default;
    // Nothing when the volume cannot be asked.
    virtual std::optional<Reading> read() = 0;
};

}  // namespace tarnwick
