#include "services/cleanup/JunkContext.h"

#include "platform/PathCodec.h"
#include "support/AppIdentity.h"
#include "support/PathRules.h"

#include <QFileInfo>

#include <algorithm>

#include <sys/stat.h>

namespace tarnwick {

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
    wholeFolders = WholeFolders(locations, ownFolders_, mounts);
}

bool JunkContext::isOwn(const QString& path) const {
    const QString named = PathRules::standardizingPath(path);
    const QString real = WholeFolders::resolved(named);
    return std::any_of(ownFolders_.begin(), ownFolders_.end(), [&](const QString& own) {
        return PathRules::isSameOrBelow(named, own) || PathRules::isSameOrBelow(real, own);
    });
}

bool JunkContext::holdsOwn(const QString& path) const {
    const QString named = PathRules::standardizingPath(path);
    const QString real = WholeFolders::resolved(named);
    return std::any_of(ownFolders_.begin(), ownFolders_.end(), [&](const QString& own) {
        return (own != named && PathRules::isSameOrBelow(own, named)) ||
               (own != real && PathRules::isSameOrBelow(own, real));
    });
}

bool JunkContext::isOwnFolder(const FileEntry& entry) const {
    return entry.isDirectory() && ownIdentities_.count({entry.device, entry.inode}) > 0;
}

}  // namespace tarnwick
