#pragma once

#include <QString>

namespace tarnwick {

// Decides whether a path may be collected (and so moved to the Safe Bin).
namespace TrashService {

// False for "/", the home folder itself, the system's own folders, the
// program's bundle and its support folders (and anything below the latter
// ones), for empty or relative paths, and for a path whose folders lead into
// one of those through symbolic links. The path is standardised first; a link
// as the last component is judged as itself, since collecting moves the link.
bool canCollect(const QString& path);

}  // namespace TrashService

}  // namespace tarnwick
