#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tarnwick {

// Reads the small status files of /proc and /sys (and their stand-ins in
// tests). A file is read only when it is a regular file, opened without
// blocking and without following a link at its last component, and only up
// to a size limit, so a fake tree with a pipe or a huge file in the place of
// a status file cannot stall or flood the caller.
namespace StatusFileReader {

constexpr qsizetype defaultLimit = 1 << 20;

// The file's bytes, or nothing when it cannot be opened, is not a regular
// file, cannot be read, or is larger than the limit.
std::optional<QByteArray> read(const QString& path, qsizetype limit = defaultLimit);
// The first line of the file with surrounding white space removed.
std::optional<QByteArray> readLine(const QString& path);

}  // namespace StatusFileReader

}  // namespace tarnwick
