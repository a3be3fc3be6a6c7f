#pragma once

#include "platform/ExtendedAttributes.h"
#include "support/FileError.h"

#include <QByteArray>
#include <QString>
#include <QUuid>

#include <optional>
#include <string_view>
#include <vector>

namespace tarnwick {

// What the Safe Bin's file system could not hold of an item's extended
// attributes (a bin without user attributes, a value larger than it takes),
// kept beside the item in the bin folder, in ".tarnwick-attributes-<id>",
// until the item goes back or goes for good. One line an attribute: the item
// below the stored item (empty: the stored item itself; a group's members by
// their stored names), the name and the value, each in base64. Written whole
// and synced before the item it speaks for is placed in the bin; one whose
// item is gone is removed by the next settle. Only the store itself uses this.
namespace SafeBinAttributes {

using Attribute = ExtendedAttributes::Attribute;

inline constexpr std::string_view kPrefix = ".tarnwick-attributes-";

QByteArray fileName(const QUuid& id);

// The attributes kept for the entry; none when there is no file or it cannot be read.
std::vector<Attribute> read(int binFd, const QUuid& id);
// Keeps the attributes for the entry, replacing what was kept; none removes
// the file. bin words a failure.
std::optional<FileError> write(int binFd, const QString& bin, const QUuid& id, const std::vector<Attribute>& attributes);
void remove(int binFd, const QUuid& id);

// The attributes of the item at prefix and below it, named relative to it.
std::vector<Attribute> below(const std::vector<Attribute>& attributes, const QByteArray& prefix);
// The attributes named relative to prefix instead ("" keeps them as they are).
std::vector<Attribute> under(const std::vector<Attribute>& attributes, const QByteArray& prefix);

// Removes the files among names (the bin folder's) whose entry holds no item
// there: the item "<id>-…" went back, or for good, or never arrived.
void removeOrphans(int binFd, const std::vector<QByteArray>& names);

}  // namespace SafeBinAttributes

}  // namespace tarnwick
