#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tarnwick {

// Whole-file reads and atomic whole-file writes for the program's own stores.
namespace AtomicFile {

// Writes data to a temporary file beside path and renames it into place, so a
// reader sees either the old contents or the new ones, never a mix. On failure
// the old file is untouched and error (when given) holds the reason.
bool write(const QString& path, const QByteArray& data, QString* error = nullptr);

// Reads a whole regular file of at most maxBytes; nullopt when it is missing,
// not a regular file, unreadable or larger than the cap.
std::optional<QByteArray> read(const QString& path, qint64 maxBytes = qint64(256) << 20);

}  // namespace AtomicFile

}  // namespace tarnwick
