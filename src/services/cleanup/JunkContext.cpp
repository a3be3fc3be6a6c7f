#include "services/cleanup/JunkContext.h"

#include "platform/PathCodec.h"
#include "support/AppIdentity.h"
#include "support/PathRules.h"

#include <QFileInfo>

#include <algorithm>

#include <sys/stat.h>

namespace tarnwick {

namespace {

// The path with the links of the folders above it resolved; the last
// component stays as it is (a link is itself). Folders that do not exist
// stay as named.
QString resolvedParent(const QString& path) {
    const QString standard = PathRules::standardizingPath(path);
    const QString parent = PathRules::deletingLastPathComponent(standard);
    if (parent.isEmpty() || parent == standard) return standard;
    const QString real = QFileInfo(parent).canonicalFilePath();
    if (real.isEmpty()) return standard;
    return PathRules::appendingPathComponent(real, PathRules::lastPathComponent(standard));
}

}  // namespace

JunkContext::JunkContext(const Environment& environment, std::stop_token stopToken)
    : locations(environment),
      home(locations.home()),
      now(environment.now()),
      userId(environment.effectiveUserId()),
      stop(std::move(stopToken)),
      mounts(MountTable::current()) {
    for (const QString& folder : {AppIdentity::supportDirectory(), AppIdentity::legacySupportDirectory()}) {
        if (folder.isEmpty()) continue;
        const QString named = PathRules::standardizingPath(folder);
        ownFolders_.append(named);
        const QString real = QFileInfo(named).canonicalFilePath();
        if (!real.isEmpty() && real != named) ownFolders_.append(real);
        struct stat st {};
        if (::stat(PathCodec::encode(named).constData(), &st) == 0 && S_ISDIR(st.st_mode)) {
            ownIdentities_.insert({static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino)});
        }
    }
    wholeFolders = WholeFolders(locations, ownFolders_, MountTable::current());
}

bool JunkContext::isOwn(const QString& path) const {
    const QString named = PathRules::standardizingPath(path);
    const QString real = resolvedParent(named);
    return std::any_of(ownFolders_.begin(), ownFolders_.end(), [&](const QString& own) {
        return PathRules::isSameOrBelow(named, own) || PathRules::isSameOrBelow(real, own);
    });
}

bool JunkContext::holdsOwn(const QString& path) const {
    const QString named = PathRules::standardizingPath(path);
    const QString real = resolvedParent(named);
    return std::any_of(ownFolders_.begin(), ownFolders_.end(), [&](const QString& own) {
        return (own != named && PathRules::isSameOrBelow(own, named)) ||
               (own != real && PathRules::isSameOrBelow(own, real));
    });
}

bool JunkContext::isOwnFolder(const FileEntry& entry) const {
    return entry.isDirectory() && ownIdentities_.count({entry.device, entry.inode}) > 0;
}

}  // namespace tarnwick
