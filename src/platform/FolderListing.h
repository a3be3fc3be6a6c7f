#pragma once

#include "platform/FileEntry.h"

#include <QList>
#include <QString>

#include <optional>

namespace tarnwick {

// The direct entries of one folder, for the finders. Entries come sorted by
// the bytes of their names (the same order on every machine), each with its
// values read by fstatat without following links. Nothing here follows a
// link: a folder given as a link to a folder cannot be listed.
namespace FolderListing {

enum class Hidden { skip, include };

// Nothing when the folder cannot be opened or read (missing, not a folder, a
// link, no permission). An entry that vanishes between the listing and its
// look-up is left out.
std::optional<QList<FileEntry>> list(const QString& folder, Hidden hidden);

// The path of name inside folder: exactly one "/" between them.
QString childPath(const QString& folder, const QString& name);

}  // namespace FolderListing

}  // namespace tarnwick
