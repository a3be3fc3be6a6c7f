#pragma once

#include "models/SafeBinEntry.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

struct stat;

namespace tarnwick {

// What the Safe Bin's items occupy and what is left of their originals: the
// allocated sizes measured on disk, a group's size from its members, and the
// identity (device and inode) of an original that was never wholly removed.
// Only the store itself includes this.
namespace SafeBinMeasure {

// The bytes an item occupies on disk (see SafeBinService::allocatedSize()).
qint64 allocatedSize(const QString& path);
// The same for the entry name of dirFd.
qint64 allocatedSizeAt(int dirFd, const QByteArray& name);

// A group's size: the sum of its members' sizes.
qint64 sizeOfMembers(const std::vector<SafeBinEntry::Member>& members);

// The remains of an original as the manifest records them (none when its
// device or inode does not fit there), and whether st is those remains.
std::optional<SafeBinEntry::Remains> remainsOf(const struct stat& st);
bool isRemains(const std::optional<SafeBinEntry::Remains>& remains, const struct stat& st);

}  // namespace SafeBinMeasure

}  // namespace tarnwick
