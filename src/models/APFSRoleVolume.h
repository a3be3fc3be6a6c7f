#pragma once

#include <QString>

#include <optional>

namespace tarnwick {

// A volume of the start-up container other than its Data volume (System,
// Preboot, Recovery, VM, Update or any other role), with what it consumes.
struct APFSRoleVolume {
    QString id;    // the volume's UUID; else its name; else its role
    QString name;  // display name for the role ("Computer System", "Preboot", ...)
    QString role;  // the role as listed, in its own letter case; empty when none
    std::optional<QString> mountPoint;  // the role's usual mount point, if it has one
    qint64 consumedBytes = 0;           // always greater than 0

    friend bool operator==(const APFSRoleVolume&, const APFSRoleVolume&) = default;
};

}  // namespace tarnwick
