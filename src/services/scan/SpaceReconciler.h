#pragma once

#include "models/ScanNode.h"
#include "services/scan/APFSAccounting.h"

namespace tarnwick {

// Reconciles a walk of the start-up volume with the container's own
// accounting: the walked tree (named after what was walked, "/" for the root
// file system) goes under a root named after the start-up volume, beside one
// node per role volume, with nodes for the space the walk could not see and
// for purgeable and snapshot space.
namespace SpaceReconciler {

// Hidden space is shown only when the Data volume holds more than this beyond the walk.
inline constexpr qint64 kHiddenSpaceThreshold = 50'000'000;
// Purgeable space is shown only when the container holds more than this beyond the root.
inline constexpr qint64 kPurgeableSpaceThreshold = 100'000'000;

// Takes the finalized root of a walk of the start-up volume and returns the
// new root, named rootName. The walked root's children move under the Data
// volume node, which keeps the walked root's name, path and size (their parent
// links change); the walked root itself is not part of the result.
// Never fails: without a listing the result holds only the Data volume node.
// Blocks while the listing is fetched (the disk tool runs once per query);
// call it off the UI thread. A null root gives null.
ScanNodePtr enrichMacintoshHD(const ScanNodePtr& dataRoot, const QString& rootName);
// The same with the listing taken from source.
ScanNodePtr enrichMacintoshHD(const ScanNodePtr& dataRoot, const QString& rootName,
                              const APFSAccounting::ListingSource& source);

}  // namespace SpaceReconciler

}  // namespace tarnwick
