#pragma once

#include <QString>

#include <optional>

namespace tarnwick {

// Text files the apps finders read from places other programs write
// (application entries, Flatpak metadata): never more than a fixed number of
// bytes, and only as valid UTF-8. The autostart entries, unit files and
// profile lists the health finders judge are read whole and losslessly by
// DesktopEntryFile instead.
namespace CappedText {

inline constexpr qint64 kLimit = 1024 * 1024;

// The first limit bytes of a regular file (opened without following a link)
// as text. A character cut at the limit is dropped; bytes that are not valid
// UTF-8 anywhere else give nothing, as does a file that cannot be read.
std::optional<QString> read(const QString& path, qint64 limit = kLimit);

}  // namespace CappedText

}  // namespace tarnwick
