#pragma once

#include "platform/FileDescriptor.h"

#include <QByteArray>
#include <QString>

#include <optional>

struct stat;

namespace tarnwick {

// Whole-file reads and atomic whole-file writes for the program's own stores.
namespace AtomicFile {

// Writes data to a new temporary file beside path, checks that every byte was
// written, flushes it to the disk, and only then renames it into place (and
// flushes the folder), so a reader sees either the old contents or the whole
// new ones, never a mix, an empty file or a truncated one; a full disk or a
// failing device is reported, not committed. On failure the old file is
// untouched, the temporary file is gone, error (when given) holds the reason
// and errorNumber (when given) the errno value.
// Consults the file-operation fault hook ("write" and "sync" with path).
bool write(const QString& path, const QByteArray& data, QString* error = nullptr, int* errorNumber = nullptr);

// Reads a whole regular file of at most maxBytes; nullopt when it is missing,
// not a regular file, unreadable or larger than the cap (also when it grows
// past the cap while being read). The memory taken follows what the file
// holds, never the cap.
std::optional<QByteArray> read(const QString& path, qint64 maxBytes = qint64(256) << 20);

// Opens a store's file, the entry name of dirFd (AT_FDCWD: a path), for
// reading: never through a link at its name, never held up by a FIFO or
// device put in its place, and refused unless it is a regular file. The
// descriptor reads blocking as usual; st (when given) gets its fstat. On
// failure error (when given) holds the errno value, EINVAL for what is not a
// regular file.
FileDescriptor openForReading(int dirFd, const QByteArray& name, struct stat* st = nullptr, int* error = nullptr);
// The rest of an open file, up to maxBytes; nullopt when it holds more or a read fails.
std::optional<QByteArray> readOpened(int fd, qint64 maxBytes, qint64 sizeHint = 0);

}  // namespace AtomicFile

}  // namespace tarnwick
