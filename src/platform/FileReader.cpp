#include "platform/FileReader.h"

#include "platform/PathCodec.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

namespace tarnwick {

namespace {

std::atomic<quint64> bytesRead{0};
std::atomic<quint64> filesOpened{0};

}  // namespace

std::optional<FileReader> FileReader::open(const QString& path) {
    if (path.isEmpty()) return std::nullopt;
    // O_NONBLOCK keeps a FIFO put in the file's place from holding the open.
    const int fd = ::open(PathCodec::encode(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    FileReader reader;
    reader.fd_ = fd;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    reader.device_ = static_cast<quint64>(st.st_dev);
    reader.inode_ = static_cast<quint64>(st.st_ino);
    reader.size_ = static_cast<qint64>(st.st_size);
    filesOpened.fetch_add(1, std::memory_order_relaxed);
    return reader;
}

FileReader::~FileReader() {
    if (fd_ >= 0) ::close(fd_);
}

FileReader::FileReader(FileReader&& other) noexcept
    : fd_(other.fd_), device_(other.device_), inode_(other.inode_), size_(other.size_) {
    other.fd_ = -1;
}

FileReader& FileReader::operator=(FileReader&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        device_ = other.device_;
        inode_ = other.inode_;
        size_ = other.size_;
        other.fd_ = -1;
    }
    return *this;
}

qint64 FileReader::read(char* buffer, qint64 size) {
    qint64 done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd_, buffer + done, static_cast<size_t>(size - done));
        if (got < 0) {
            if (errno == EINTR) continue;
            return done > 0 ? done : -1;
        }
        if (got == 0) break;
        done += got;
    }
    bytesRead.fetch_add(static_cast<quint64>(done), std::memory_order_relaxed);
    return done;
}

QByteArray FileReader::read(qint64 maxBytes) {
    if (maxBytes <= 0) return {};
    // Room for what the file held when opened and a byte more, grown only when
    // it grew since: a small file read with a large cap takes little memory.
    QByteArray data(std::min(maxBytes, std::max<qint64>(size_, 0) + 1), Qt::Uninitialized);
    qint64 got = 0;
    for (;;) {
        const qint64 step = read(data.data() + got, data.size() - got);
        if (step < 0) return {};
        got += step;
        if (got < data.size() || got == maxBytes) break;  // end of file, or the cap
        data.resize(std::min(maxBytes, std::max<qint64>(got * 2, got + 64 * 1024)));
    }
    if (got <= 0) return {};
    data.truncate(got);
    return data;
}

quint64 FileReader::totalBytesRead() {
    return bytesRead.load(std::memory_order_relaxed);
}

quint64 FileReader::totalFilesOpened() {
    return filesOpened.load(std::memory_order_relaxed);
}

}  // namespace tarnwick
