#include "platform/StorageDevice.h"

#include "platform/PathCodec.h"

#include <fcntl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace tarnwick::StorageDevice {

bool isRotational(dev_t device, const QString& sysfsRoot) {
    const QString node = QStringLiteral("%1/dev/block/%2:%3").arg(sysfsRoot).arg(major(device)).arg(minor(device));
    // A partition has no queue of its own; its disk is the folder above (the
    // kernel resolves the link before the "..").
    for (const QString& queue : {node + QStringLiteral("/queue/rotational"), node + QStringLiteral("/../queue/rotational")}) {
        const int fd = ::open(PathCodec::encode(queue).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        char value = 0;
        const ssize_t read = ::read(fd, &value, 1);
        ::close(fd);
        return read == 1 && value == '1';
    }
    return false;
}

}  // namespace tarnwick::StorageDevice
