#include "services/cleanup/WholeFolders.h"

#include "platform/PathCodec.h"
#include "support/PathRules.h"

#include <QFileInfo>

#include <algorithm>
#include <utility>

#include <sys/stat.h>

namespace tarnwick {

namespace {

using Place = Locations::Place;

const QString kNodeModules = QStringLiteral("node_modules");

// The cache folders the junk scan cleans, and those of the browsers and thumbnails within the user's.
constexpr Place kCachePlaces[] = {
    Place::userCaches,        Place::systemCaches,       Place::libraryCaches,
    Place::photosCaches,      Place::photosContainerCaches, Place::xcodeDerivedData,
    Place::simulatorCaches,   Place::huggingFaceCache,   Place::thumbnails,
    Place::chromeCache,       Place::chromiumCache,      Place::mozillaCache,
};

bool hasNodeModulesFolder(const QString& path) {
    return path.split(QLatin1Char('/'), Qt::SkipEmptyParts).contains(kNodeModules);
}

}  // namespace

WholeFolders::WholeFolders(const Locations& locations, const QStringList& ownFolders, MountTable mounts)
    : mounts_(std::move(mounts)) {
    QStringList named;
    for (Place place : kCachePlaces) named.append(locations.path(place));
    // The Flatpak apps' own cache folders lie in their data folders.
    named.append(locations.path(Place::flatpakAppData));
    // The Trash: its files and the records beside them.
    named.append(PathRules::deletingLastPathComponent(locations.path(Place::trash)));
    named.append(ownFolders);
    for (const QString& path : named) {
        if (path.isEmpty()) continue;
        const QString standard = PathRules::standardizingPath(path);
        if (!folders_.contains(standard)) folders_.append(standard);
        const QString real = QFileInfo(standard).canonicalFilePath();
        if (!real.isEmpty() && !folders_.contains(real)) folders_.append(real);
        struct stat st {};
        if (::stat(PathCodec::encode(standard).constData(), &st) == 0 && S_ISDIR(st.st_mode)) {
            identities_.insert({static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino)});
        }
    }
}

QString WholeFolders::resolved(const QString& path) {
    const QString standard = PathRules::standardizingPath(path);
    const QString parent = PathRules::deletingLastPathComponent(standard);
    if (parent.isEmpty() || parent == standard) return standard;
    const QString real = QFileInfo(parent).canonicalFilePath();
    if (real.isEmpty()) return standard;
    return PathRules::appendingPathComponent(real, PathRules::lastPathComponent(standard));
}

bool WholeFolders::covers(const QString& path) const {
    const QString named = PathRules::standardizingPath(path);
    const QString real = resolved(named);
    if (hasNodeModulesFolder(named) || hasNodeModulesFolder(real)) return true;
    return std::any_of(folders_.begin(), folders_.end(), [&](const QString& folder) {
        return PathRules::isSameOrBelow(named, folder) || PathRules::isSameOrBelow(real, folder);
    });
}

bool WholeFolders::isWholeFolder(const FileEntry& entry) const {
    if (!entry.isDirectory()) return false;
    return entry.name == kNodeModules || identities_.count({entry.device, entry.inode}) > 0;
}

WalkBoundary WholeFolders::boundaryOf(const QString& folder) const {
    const QString named = PathRules::standardizingPath(folder);
    return WalkBoundary(mounts_, named, resolved(named));
}

}  // namespace tarnwick
