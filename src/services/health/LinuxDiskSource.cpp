#include "services/health/LinuxDiskSource.h"

#include "platform/PathCodec.h"
#include "support/Saturating.h"

#include <sys/statvfs.h>

namespace tarnwick {

std::optional<DiskSource::Reading> LinuxDiskSource::read() {
    const QByteArray path = PathCodec::encode(root_ + QStringLiteral("/"));
    struct statvfs info;
    if (::statvfs(path.constData(), &info) != 0) return std::nullopt;
    const __int128 unit = info.f_frsize ? info.f_frsize : info.f_bsize;
    // Space a user can write: blocks available to unprivileged users. In
    // use: what the free blocks (reserved ones included) leave, as df says.
    const __int128 used = info.f_blocks >= info.f_bfree ? __int128(info.f_blocks - info.f_bfree) : 0;
    return Reading{Saturating::clamp(unit * info.f_blocks), Saturating::clamp(unit * info.f_bavail),
                   Saturating::clamp(unit * used)};
}

}  // namespace tarnwick
