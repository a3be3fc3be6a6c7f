#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tarnwick {

// Reads a regular file for the finders: opened without following a link and
// without blocking on a pipe or device that took a file's place, refused when
// it is not a regular file. Counts what all readers read, so a benchmark can
// tell how often each file was read.
class FileReader {
public:
    enum class Links { refuse, follow };

    // Nothing when path is not a regular file that can be opened for reading.
    static std::optional<FileReader> open(const QString& path);
    // The same, following a link at the last component to its target when
    // asked. On failure `failure` (when given) receives the open's errno, or
    // 0 when what is there is not a regular file.
    static std::optional<FileReader> open(const QString& path, Links links, int* failure = nullptr);

    ~FileReader();
    FileReader(FileReader&& other) noexcept;
    FileReader& operator=(FileReader&& other) noexcept;
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // Reads up to size bytes into buffer, retrying interrupted reads and
    // short reads until end of file; returns the bytes read, -1 on failure.
    qint64 read(char* buffer, qint64 size);
    // Up to maxBytes from the current position; empty at end of file or on failure.
    QByteArray read(qint64 maxBytes);
    // Up to maxBytes from the current position, grown as it is read (never
    // allocated whole up front); nothing when a read fails.
    std::optional<QByteArray> readUpTo(qint64 maxBytes);
    // Reads up to size bytes at offset, without moving the position; the
    // bytes read, -1 on failure.
    qint64 readAt(qint64 offset, char* buffer, qint64 size);
    // Where the next data lies at or after offset (holes of a sparse file
    // skipped): the offset itself for a file system that keeps no holes, the
    // file's end when only a hole follows; nothing on failure.
    std::optional<qint64> nextData(qint64 offset) const;
    // Where the hole after offset starts (the file's end when none follows);
    // nothing on failure.
    std::optional<qint64> nextHole(qint64 offset) const;
    // Tells the kernel the file will be read through once, front to back.
    void adviseSequential() const;

    // The file's values as fstat gave them after opening.
    quint64 device() const { return device_; }
    quint64 inode() const { return inode_; }
    qint64 size() const { return size_; }
    qint64 allocatedSize() const { return allocated_; }  // st_blocks × 512
    qint64 modifiedNSecs() const { return modified_; }
    qint64 changedNSecs() const { return changed_; }
    // Whether fstat still gives the size and the modification and change
    // times of the opening: false once the file was written meanwhile.
    bool unchangedSinceOpened() const;

    // Totals over every reader since the program started (any thread).
    static quint64 totalBytesRead();
    static quint64 totalFilesOpened();

private:
    FileReader() = default;
    // lseek with SEEK_DATA or SEEK_HOLE; the end when nothing of that kind follows.
    std::optional<qint64> seek(qint64 offset, int whence) const;

    int fd_ = -1;
    quint64 device_ = 0;
    quint64 inode_ = 0;
    qint64 size_ = 0;
    qint64 allocated_ = 0;
    qint64 modified_ = 0;
    qint64 changed_ = 0;
};

}  // namespace tarnwick
