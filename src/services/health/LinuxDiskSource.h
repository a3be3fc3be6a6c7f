#pragma once

#include "services/health/DiskSource.h"

#include <QString>

namespace tarnwick {

// The root file system's size, the space left to the user and the space in
// use as df counts it (statvfs of "/" under a root prefix, "" being the real
// root).
class LinuxDiskSource : public DiskSource {
public:
    explicit LinuxDiskSource(QString root) : root_(std::move(root)) {}

    std::optional<Reading> read() override;

private:
    QString root_;
};

}  // namespace tarnwick
