#pragma once

#include <QString>

namespace tarnwick {

// Path text rules the program relies on, written out so that they do not
// depend on QFileInfo/QDir edge behaviour.
namespace PathRules {

// The last component: "/a/b/" -> "b", "/" -> "/", "" -> "", "a" -> "a".
QString lastPathComponent(const QString& path);
// The path without its last component: "/a/b" -> "/a", "/a" -> "/", "a" -> "".
QString deletingLastPathComponent(const QString& path);
// The extension of the last component, without the dot: "a.tar.gz" -> "gz".
// A name that only starts with a dot (".bashrc") or ends with one ("a.") has none.
QString pathExtension(const QString& path);
// The last component without its extension and the dot: "a.tar.gz" -> "a.tar",
// ".bashrc" -> ".bashrc".
QString deletingPathExtension(const QString& name);
// Joins with exactly one slash between the parts.
QString appendingPathComponent(const QString& path, const QString& component);
// Expands a leading "~" or "~/" with the environment's home folder, drops
// empty and "." components, resolves ".." in absolute paths (never above "/")
// and drops a trailing slash.
QString standardizingPath(const QString& path);
// Replaces the environment's home folder at the start of path by "~".
QString abbreviatingWithTilde(const QString& path);
// True when path equals ancestor or lies below it (a component-wise prefix).
bool isSameOrBelow(const QString& path, const QString& ancestor);

}  // namespace PathRules

}  // namespace tarnwick
