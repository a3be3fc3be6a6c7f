#pragma once

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

// Sets the attribute on an open item (one opened O_PATH too, never a link);
// path names the item for the fault hook of FileOperations ("attribute",
// "<path>:<name>"). Returns 0 or errno. What may go with a copy and what
// becomes of one that cannot be held is AttributePolicy's to say.
int setOn(int fd, const QByteArray& name, const QByteArray& value, const QString& path);

}  // namespace ExtendedAttributes

}  // namespace tarnwick
