#pragma once

#include "models/MountRecord.h"
#include "models/VolumeInfo.h"

#include <vector>

namespace tarnwick {

// Which mounted volumes the user can scan, and how full they are.
namespace VolumesService {

// The mounted volumes the user sees, named, measured and sorted: the root
// volume first, then by name (case-insensitive, in the user's locale), equal
// names in the platform's order. Synchronous; never fails.
std::vector<VolumeInfo> listVolumes();
// The same for the given mounts (in the platform's order).
std::vector<VolumeInfo> listVolumes(const std::vector<MountRecord>& mounts);

// Every mount the platform lists, with its figures read along (QStorageInfo).
// Mount points that are not folders (single files bound into place) are left out.
std::vector<MountRecord> mountedVolumes();

// True for mounts the user does not see as volumes: pseudo and system file
// systems, and mounts under /proc, /sys, /dev, /run (but not /run/media) and
// /snap. The root file system is never hidden.
bool isHiddenMount(const MountRecord& mount);

}  // namespace VolumesService

}  // namespace tarnwick
