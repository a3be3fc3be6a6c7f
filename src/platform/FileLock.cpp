#include "platform/FileLock.h"

#include "platform/PathCodec.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tarnwick {

FileLock::FileLock(const QString& path, Wait wait) {
    const QByteArray native = PathCodec::encode(path);
    fd_.reset(::open(native.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd_.valid()) {
        error_ = errno;
        return;
    }
    const int operation = LOCK_EX | (wait == Wait::no ? LOCK_NB : 0);
    while (::flock(fd_.get(), operation) != 0) {
        if (errno == EINTR) continue;
        error_ = errno;
        fd_.reset();
        return;
    }
    locked_ = true;
}

}  // namespace tarnwick
