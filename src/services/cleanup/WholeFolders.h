#pragma once

#include "platform/FileEntry.h"
#include "platform/Locations.h"
#include "platform/MountTable.h"
#include "platform/WalkBoundary.h"

#include <QString>
#include <QStringList>

#include <set>
#include <utility>

namespace tarnwick {

// The folders whose contents only ever move whole, and the mount points,
// as the clutter searches must know them: nothing inside such a folder is a
// finding of its own, since taking out one file would break the whole (half
// a dependency tree, a cache its program keeps an index of), and a copy
// inside one is no copy to keep either. They are every folder named
// "node_modules", the cache folders the junk scan cleans (the user's cache
// folder, the browsers' and the thumbnails' caches, the model caches and the
// caches of the design's Library places), the Flatpak apps' data folders
// (~/.var/app), the Trash (files and records) and the program's own folders.
// A mount point is never a finding either, nor entered by a walk: what is
// mounted there is not part of the folder it appears in.
//
// Built once per scan; the mount table is read then.
class WholeFolders {
public:
    WholeFolders() = default;
    WholeFolders(const Locations& locations, const QStringList& ownFolders, MountTable mounts);

    // True when the place at path is one of these folders or lies in one, by
    // its name or with the links of the folders above it resolved.
    bool covers(const QString& path) const;
    // True when a walk meets one of these folders: a folder named
    // "node_modules", or one of the others by device and inode.
    bool isWholeFolder(const FileEntry& entry) const;
    // Where a walk of folder stops: the mount points at and below it, the
    // folder's path taken in the kernel's form as resolved() gives it (a walk
    // does not enter links, so the paths below it are real).
    WalkBoundary boundaryOf(const QString& folder) const;

    // The path with the links of the folders above it resolved; the last
    // component stays as it is (a link is itself), and a path whose folders
    // do not exist stays as named.
    static QString resolved(const QString& path);

private:
    QStringList folders_;  // as named and with links resolved
    std::set<std::pair<quint64, quint64>> identities_;
    MountTable mounts_;
};

}  // namespace tarnwick
