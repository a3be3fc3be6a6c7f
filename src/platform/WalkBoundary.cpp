#include "platform/WalkBoundary.h"

#include "support/PathRules.h"

#include <QFileInfo>

#include <utility>

namespace tarnwick {

WalkBoundary::WalkBoundary(MountTable table, const QString& root, const QString& kernelRoot)
    : table_(std::move(table)), root_(root), kernelRoot_(kernelRoot) {
    rootMount_ = table_.mountOf(kernelRoot_);
    if (kernelRoot_.isEmpty()) return;
    for (const QString& mount : table_.mountPoints()) {
        if (mount == kernelRoot_) {
            rootIsMount_ = true;
        } else if (PathRules::isSameOrBelow(mount, kernelRoot_)) {
            below_.insert(mount);
        }
    }
}

std::optional<QString> WalkBoundary::firstMountPoint() const {
    if (kernelRoot_.isEmpty() || (!rootIsMount_ && below_.isEmpty())) return std::nullopt;
    const std::optional<QString> mount = table_.mountAtOrBelow(kernelRoot_);
    if (!mount) return std::nullopt;
    return root_ + mount->mid(kernelRoot_.size());
}

WalkBoundary WalkBoundary::resolving(MountTable table, const QString& root) {
    return WalkBoundary(std::move(table), root, QFileInfo(root).canonicalFilePath());
}

}  // namespace tarnwick
