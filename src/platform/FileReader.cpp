#include "platform/FileReader.h"

#include "platform/PathCodec.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace tarnwick {

namespace {

std::atomic<quint64> bytesRead{0};
std::atomic<quint64> filesOpened{0};

qint64 nanoseconds(const struct timespec& time) {
    return static_cast<qint64>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

}  // namespace

std::optional<FileReader> FileReader::open(const QString& path) {
    return open(path, Links::refuse);
}

std::optional<FileReader> FileReader::open(const QString& path, Links links, int* failure) {
    auto fail = [failure](int error) -> std::optional<FileReader> {
        if (failure) *failure = error;
        return std::nullopt;
    };
    if (path.isEmpty()) return fail(ENOENT);
    // O_NONBLOCK keeps a FIFO put in the file's place from holding the open.
    const int noFollow = links == Links::refuse ? O_NOFOLLOW : 0;
    const int fd = ::open(PathCodec::encode(path).constData(), O_RDONLY | noFollow | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return fail(errno);
    FileReader reader;
    reader.fd_ = fd;
    struct stat st {};
    if (::fstat(fd, &st) != 0) return fail(errno);
    if (!S_ISREG(st.st_mode)) return fail(0);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    reader.device_ = static_cast<quint64>(st.st_dev);
    reader.inode_ = static_cast<quint64>(st.st_ino);
    reader.size_ = static_cast<qint64>(st.st_size);
    reader.allocated_ = static_cast<qint64>(st.st_blocks) * 512;
    reader.modified_ = nanoseconds(st.st_mtim);
    reader.changed_ = nanoseconds(st.st_ctim);
    filesOpened.fetch_add(1, std::memory_order_relaxed);
    return reader;
}

FileReader::~FileReader() {
    if (fd_ >= 0) ::close(fd_);
}

FileReader::FileReader(FileReader&& other) noexcept
    : fd_(other.fd_),
      device_(other.device_),
      inode_(other.inode_),
      size_(other.size_),
      allocated_(other.allocated_),
      modified_(other.modified_),
      changed_(other.changed_) {
    other.fd_ = -1;
}

FileReader& FileReader::operator=(FileReader&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        device_ = other.device_;
        inode_ = other.inode_;
        size_ = other.size_;
        allocated_ = other.allocated_;
        modified_ = other.modified_;
        changed_ = other.changed_;
        other.fd_ = -1;
    }
    return *this;
}

namespace {

// Reads until size bytes, end of file or an error, from the current position
// or, when at holds one, from that offset on; counts what it read.
qint64 readFully(int fd, std::optional<qint64> at, char* buffer, qint64 size) {
    qint64 done = 0;
    while (done < size) {
        const size_t want = static_cast<size_t>(size - done);
        const ssize_t got =
            at ? ::pread(fd, buffer + done, want, *at + done) : ::read(fd, buffer + done, want);
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

}  // namespace

qint64 FileReader::read(char* buffer, qint64 size) {
    return readFully(fd_, std::nullopt, buffer, size);
}

qint64 FileReader::readAt(qint64 offset, char* buffer, qint64 size) {
    return readFully(fd_, offset, buffer, size);
}

std::optional<qint64> FileReader::seek(qint64 offset, int whence) const {
    if (offset >= size_) return size_;
    const off_t at = ::lseek(fd_, offset, whence);
    if (at >= 0) return static_cast<qint64>(at);
    if (errno == ENXIO) return size_;  // past the last data (or hole): the end
    return std::nullopt;
}

std::optional<qint64> FileReader::nextData(qint64 offset) const {
    return seek(offset, SEEK_DATA);
}

std::optional<qint64> FileReader::nextHole(qint64 offset) const {
    return seek(offset, SEEK_HOLE);
}

void FileReader::adviseSequential() const {
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

bool FileReader::unchangedSinceOpened() const {
    struct stat st {};
    return ::fstat(fd_, &st) == 0 && static_cast<qint64>(st.st_size) == size_ && nanoseconds(st.st_mtim) == modified_ &&
           nanoseconds(st.st_ctim) == changed_;
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

std::optional<QByteArray> FileReader::readUpTo(qint64 maxBytes) {
    QByteArray data;
    char buffer[65536];
    while (data.size() < maxBytes) {
        const qint64 wanted = std::min<qint64>(qint64(sizeof buffer), maxBytes - data.size());
        const qint64 got = read(buffer, wanted);
        if (got < 0) return std::nullopt;
        data.append(buffer, qsizetype(got));
        if (got < wanted) break;  // end of file
    }
    return data;
}

quint64 FileReader::totalBytesRead() {
    return bytesRead.load(std::memory_order_relaxed);
}

quint64 FileReader::totalFilesOpened() {
    return filesOpened.load(std::memory_order_relaxed);
}

}  // namespace tarnwick
