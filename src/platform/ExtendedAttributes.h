#pragma once

#include "support/FileError.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace tarnwick {

// Extended attributes of one item, read and written without following a
// link (a link's own attributes, which for user attributes means none), and
// of the items of a tree.
namespace ExtendedAttributes {

// The attribute's value; nothing when the item has no such attribute, the
// file system keeps no user attributes, or the value is longer than maxBytes.
std::optional<QByteArray> value(const QString& path, const QString& name, qint64 maxBytes = 64 * 1024);
// Sets the attribute. False (errno set) when the item or its file system
// refuses it.
bool set(const QString& path, const QString& name, const QByteArray& value);

// One attribute of an item inside a tree: the item as a path relative to the
// tree's top (empty: the top itself), the attribute's name and its value.
struct Attribute {
    QByteArray item;
    QByteArray name;
    QByteArray value;
    bool operator==(const Attribute&) const = default;
};

// Sets the attribute on an open item; path names the item for the fault hook
// of FileOperations ("attribute", "<path>:<name>"). Returns 0 or errno.
int setOn(int fd, const QByteArray& name, const QByteArray& value, const QString& path);

// True when a failure to set a value of that many bytes on the open item fd
// means that its file system cannot hold the attribute, not that it is out
// of space: no such attributes there (ENOTSUP), a value larger than it takes
// (E2BIG, ERANGE), or "no space" while it has room for far more (ext4 says
// that of a value that fits no block).
bool cannotHold(int error, int fd, qint64 valueBytes);

// The failure for an attribute that cannot be held (cannotHold()): what, then
// the true reason; never "no space".
FileError unheldError(int error, const QString& what, qint64 valueBytes);

// Gives the items of the tree at the entry name of dirFd (path words it) the
// attributes; an attribute whose item is not there, or is a link, is passed
// over. A failure names the attribute and the item, with the true reason.
std::optional<FileError> setBelow(int dirFd, const QByteArray& name, const QString& path,
                                  const std::vector<Attribute>& attributes);

}  // namespace ExtendedAttributes

}  // namespace tarnwick
