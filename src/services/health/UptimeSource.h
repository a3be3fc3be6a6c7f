#pragma once

#include <QtGlobal>

#include <optional>

namespace tarnwick {

// Where the boot time comes from.
class UptimeSource {
public:
    virtual ~UptimeSource() = default;
    // When the computer started, in seconds since 1970; nothing when unknown.
    virtual std::optional<qint64> bootTime() = 0;
};

}  // namespace tarnwick
