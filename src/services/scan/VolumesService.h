#pragma once

#include "models/MountRecord.h"
#include "models/VolumeInfo.h"

#include <QString>

#include <vector>

struct statvfs;

namespace tarnwick {

// Which mounted volumes the user can scan, and how full they are.
namespace VolumesService {

// The mounted volumes the user sees, named, measured and sorted: the root
// volume first, then by name (case-insensitive, in the user's locale), equal
// names in the platform's order. Synchronous; never fails.
std::vector<VolumeInfo> listVolumes();
// The same for the given mounts (in the platform's order).
std::vector<VolumeInfo> listVolumes(const std::vector<MountRecord>& mounts);

// Every mount the platform lists (QStorageInfo), with its figures read along
// from the file system (statvfs). Mount points that are not folders (single
// files bound into place) are left out.
std::vector<MountRecord> mountedVolumes();

// Fills the mount's figures from the file system's block counts, in units of
// the fragment size: total f_blocks, free f_bfree (what df subtracts to show
// what is used), available f_bavail (what the user can still write).
void setFigures(MountRecord& mount, const struct statvfs& counts);

// The start-up volume's own name: the label of the mount holding the root
// file system (trimmed), else "Computer".
QString startupVolumeName(const std::vector<MountRecord>& mounts);
// The same for this machine's root file system.
QString startupVolumeName();

// True for mounts the user does not see as volumes: pseudo and system file
// systems, and mounts under /proc, /sys, /dev, /run (but not /run/media) and
// /snap. The root file system is never hidden.
bool isHiddenMount(const MountRecord& mount);

}  // namespace VolumesService

}  // namespace tarnwick
