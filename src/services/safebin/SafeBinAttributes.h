#pragma once

#include "platform/AttributePolicy.h"
#include "support/FileError.h"

#include <QByteArray>
#include <QString>
#include <QUuid>

#include <optional>
#include <string_view>
#include <vector>

namespace tarnwick {

// What the Safe Bin keeps beside an item, in the bin folder, in
// ".tarnwick-attributes-<id>", until the item goes back or goes for good:
// what the bin's file system could not hold of its extended attributes (a bin
// without user attributes, a value larger than it takes), and, for each item
// of the tree whose copy in the bin carries attributes the item had not (an
// ACL inherited from the bin's folders), the attributes it had, which alone
// it must keep on the way back (AttributePolicy). One line an attribute kept:
// the item below the stored item (empty: the stored item itself; a group's
// members by their stored names), the name and the value, each in base64;
// one line an item's record: the item and its names, NUL-separated, in
// base64. Files written before the record was kept hold no such lines.
// Written whole and synced before the item it speaks for is placed in the
// bin; one whose item is gone is removed by the next settle. The file is
// input: anything but a whole regular file of the user's own, a line that is
// not one of these, or an item named from "/" or with an empty, "." or ".."
// part makes it unreadable; a line keeping one of the system's own attributes
// (security.*, trusted.*), never written, is passed over. Only the store
// itself uses this.
namespace SafeBinAttributes {

using Attribute = ExtendedAttributes::Attribute;
using Had = AttributePolicy::Had;

inline constexpr std::string_view kPrefix = ".tarnwick-attributes-";

// What is kept beside one entry's item.
struct Kept {
    std::vector<Attribute> attributes;
    std::vector<Had> had;
    bool unreadable = false;  // a file was there but could not be read: nothing of it is used
    bool empty() const { return attributes.empty() && had.empty(); }
};

QByteArray fileName(const QUuid& id);

// What is kept for the entry; nothing when there is no file.
Kept read(int binFd, const QUuid& id);
// Keeps it for the entry, replacing what was kept; nothing removes the
// file. bin words a failure.
std::optional<FileError> write(int binFd, const QString& bin, const QUuid& id, const Kept& kept);
void remove(int binFd, const QUuid& id);

// What is kept for the item at prefix and below it, named relative to it.
Kept below(const Kept& kept, const QByteArray& prefix);
// What is kept, named relative to prefix instead ("" keeps it as it is).
Kept under(const Kept& kept, const QByteArray& prefix);
// Adds more to kept.
void add(Kept& kept, const Kept& more);

// Removes the files among names (the bin folder's) whose entry holds no item
// there: the item "<id>-…" went back, or for good, or never arrived.
void removeOrphans(int binFd, const std::vector<QByteArray>& names);

}  // namespace SafeBinAttributes

}  // namespace tarnwick
