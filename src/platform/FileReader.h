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
    // The file's device and inode, as fstat gives them after opening.
    quint64 device() const { return device_; }
    quint64 inode() const { return inode_; }
    qint64 size() const { return size_; }

    // Totals over every reader since the program started (any thread).
    static quint64 totalBytesRead();
    static quint64 totalFilesOpened();

private:
    FileReader() = default;

    int fd_ = -1;
    quint64 device_ = 0;
    quint64 inode_ = 0;
    qint64 size_ = 0;
};

}  // namespace tarnwick
