#pragma once

#include <QString>

namespace tarnwick {

// Application ids written as reverse domain names ("org.example.Editor"), as
// Flatpak names its apps and their data folders. Only a plain name passes, so
// that an id read from a folder or a file can be used as one path component:
// at most 255 characters, at least three parts separated by single dots, each
// part made of ASCII letters, digits, "_" and "-" and not starting with a
// digit. "..", "/", spaces and control characters never pass.
namespace ReverseDnsName {

inline constexpr qsizetype kLongest = 255;

bool isValid(const QString& name);

}  // namespace ReverseDnsName

}  // namespace tarnwick
