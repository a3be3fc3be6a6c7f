#pragma once

#include "models/APFSRoleVolume.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace tarnwick {

// Reads the container listing of the disk tool ("diskutil apfs list -plist")
// and answers questions about the boot container: its role volumes, what its
// Data volume consumes and what all its volumes have in use. Every query
// fetches the listing afresh; nothing is kept between calls. Queries block
// while the tool runs and may be called on any thread.
namespace APFSAccounting {

// Yields the listing as a property-list document (XML or binary), or nothing
// when no listing can be had.
using ListingSource = std::function<std::optional<QByteArray>()>;

// Runs the disk tool (resolved through the environment) with "apfs", "list",
// "-plist" and returns its standard output. Nothing when the tool cannot be
// started, is killed or outlives the timeout; its exit status is not examined.
std::optional<QByteArray> diskToolListing();

// A listing made up for a machine without the disk tool: one container with
// one Data volume, built from the file system that holds path. The volume's
// "CapacityInUse" is the file system's used blocks, so space the walk could
// not see shows up as hidden space. Nothing when the file system cannot be read.
std::optional<QByteArray> fileSystemListing(const QString& path);

// The disk tool when this machine has it, otherwise the listing of the file
// system that holds path.
ListingSource systemListingSource(const QString& path = QStringLiteral("/"));

// The boot container's volumes other than its Data volume that consume more
// than 0 bytes, in listing order. Empty without a boot container.
std::vector<APFSRoleVolume> siblingRoleVolumes(const ListingSource& source = systemListingSource());

// The "CapacityInUse" of the boot container's first Data volume (0 when it
// lists none); nothing without a boot container or without a Data volume.
std::optional<qint64> dataVolumeConsumedBytes(const ListingSource& source = systemListingSource());

// The boot container's "CapacityInUseByVolumes" (0 when absent); nothing
// without a boot container.
std::optional<qint64> bootContainerBytesInUse(const ListingSource& source = systemListingSource());

}  // namespace APFSAccounting

}  // namespace tarnwick
