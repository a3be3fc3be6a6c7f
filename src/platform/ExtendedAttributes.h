#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tarnwick {

// Extended attributes of one item, read and written without following a
// link (a link's own attributes, which for user attributes means none).
namespace ExtendedAttributes {

// The attribute's value; nothing when the item has no such attribute, the
// file system keeps no user attributes, or the value is longer than maxBytes.
std::optional<QByteArray> value(const QString& path, const QString& name, qint64 maxBytes = 64 * 1024);
// Sets the attribute. False (errno set) when the item or its file system
// refuses it.
bool set(const QString& path, const QString& name, const QByteArray& value);

}  // namespace ExtendedAttributes

}  // namespace tarnwick
