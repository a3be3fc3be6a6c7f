#pragma once

#include "platform/MountTable.h"

#include <QLatin1Char>
#include <QSet>
#include <QString>

#include <optional>

namespace tarnwick {

// Where a walk of one folder (its root) stops: at the mount points of the
// mount table. What is mounted at a mount point is not part of the folder it
// appears in, so no walk, measure or clean counts it, enters it or moves it.
// A bind mount of the walked file system shares its device number, so the
// device alone does not tell; the table does, in the kernel's form of paths
// (links resolved).
//
// A walk names its paths from the root as it was given; below the root they
// differ from the kernel's form only by the root's own path, so a path below
// the root maps to the kernel's by swapping that prefix. A walk that follows
// links below its root knows the kernel paths of its folders itself: it asks
// by a subfolder's name, with the folder's kernel path put together only
// when some mount point bears that name.
class WalkBoundary {
public:
    // No mount point anywhere.
    WalkBoundary() = default;
    // The boundary of a walk of root (as the walk names it), whose path in the
    // kernel's form is kernelRoot (absolute, without a trailing slash; empty
    // when unknown: then no path below the root is taken for a mount point).
    WalkBoundary(MountTable table, const QString& root, const QString& kernelRoot);
    // The same, with the kernel's form found by resolving every link of root.
    static WalkBoundary resolving(MountTable table, const QString& root);

    const QString& kernelRoot() const { return kernelRoot_; }

    // Whether the root itself is a mount point.
    bool rootIsMountPoint() const { return rootIsMount_; }
    // Whether some mount point lies below the root.
    bool holdsMountPoint() const { return !below_.isEmpty(); }
    // Whether path, as the walk names it below the root, is a mount point:
    // nothing is put together when no mount point lies below the root.
    bool isMountPointBelow(const QString& path) const {
        if (below_.isEmpty() || !path.startsWith(root_)) return false;
        return below_.contains(kernelRoot_ + path.mid(root_.size()));
    }

    // Whether the subfolder `name` of a folder is a mount point. The name is
    // looked up first (one hash lookup rules out most folders); the folder's
    // kernel path (folderKernelPath(), a QString) is asked for only when some
    // mount point bears that name.
    template <typename FolderKernelPath>
    bool isMountPoint(const QString& name, FolderKernelPath folderKernelPath) const {
        if (!table_.namesMountPoint(name)) return false;
        const QString folder = folderKernelPath();
        return table_.isMountPoint(folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name);
    }
    // The first mount point of the table that is the root or lies below it,
    // named as the walk names the root; none when there is none.
    std::optional<QString> firstMountPoint() const;
    // Whether a folder at kernelPath (reached through a link) lies on the
    // mount the root lies on.
    bool onRootMount(const QString& kernelPath) const { return table_.mountOf(kernelPath) == rootMount_; }

private:
    MountTable table_;
    QString root_;
    QString kernelRoot_;
    QString rootMount_;       // the mount point the root lies on; empty when unknown
    bool rootIsMount_ = false;
    QSet<QString> below_;     // the mount points below the root, in the kernel's form
};

}  // namespace tarnwick
