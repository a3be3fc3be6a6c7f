#pragma once

#include "platform/FileDescriptor.h"

#include <QString>

namespace tarnwick {

// An exclusive advisory lock (flock) on a lock file, held for the lifetime of
// the object. It excludes other processes and also other FileLock objects of
// this process (each opens the file anew), but a thread that already holds
// the lock must not take it again. Released when the object goes, or when the
// process ends in any way, so a killed holder never leaves it taken.
class FileLock {
public:
    enum class Wait { untilFree, no };

    // Opens (creating it, mode 0600) the lock file at path and takes the lock;
    // with Wait::no, gives up at once when another holder has it (EWOULDBLOCK).
    explicit FileLock(const QString& path, Wait wait = Wait::untilFree);
    FileLock(FileLock&&) = default;

    bool isLocked() const { return locked_; }
    // 0 when locked, else the errno value of what failed.
    int error() const { return error_; }
    // The lock file's descriptor (valid while locked).
    int fd() const { return fd_.get(); }

private:
    FileDescriptor fd_;
    bool locked_ = false;
    int error_ = 0;
};

}  // namespace tarnwick
