#pragma once

#include <QString>

#include <string_view>

namespace tarnwick {

// Folders that the user sees as one document or program (an application
// bundle, a photo library, a framework): walks that stay out of packages count
// such a folder as one entry and leave its contents alone. A package is told
// by its name's extension, compared without regard to case; only a folder can
// be one.
namespace PackageRule {

bool isPackageName(const QString& name);
bool isPackageName(std::string_view name);

}  // namespace PackageRule

}  // namespace tarnwick
