#include "platform/PackageRule.h"

#include <array>
#include <cctype>

namespace tarnwick::PackageRule {

namespace {

// Lower case, sorted.
constexpr std::array<std::string_view, 38> kExtensions = {
    "action",        "app",         "appex",     "band",         "bundle",       "component",
    "docset",        "download",    "dsym",      "fcpbundle",    "framework",    "imovielibrary",
    "kext",          "key",         "logicx",    "mdimporter",   "mpkg",         "musiclibrary",
    "numbers",       "pages",       "photoslibrary", "pkg",      "playground",   "plugin",
    "prefpane",      "qlgenerator", "rtfd",      "saver",        "scptd",        "sparsebundle",
    "systemextension", "tvlibrary", "wdgt",      "workflow",     "xcarchive",    "xcodeproj",
    "xcworkspace",   "xpc",
};

bool isPackageExtension(std::string_view lowered) {
    for (std::string_view known : kExtensions) {
        if (known == lowered) return true;
    }
    return false;
}

}  // namespace

bool isPackageName(std::string_view name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) return false;
    const std::string_view extension = name.substr(dot + 1);
    if (extension.size() > 16) return false;
    char lowered[16];
    for (size_t i = 0; i < extension.size(); ++i) {
        lowered[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(extension[i])));
    }
    return isPackageExtension(std::string_view(lowered, extension.size()));
}

bool isPackageName(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || dot == name.size() - 1 || name.size() - dot - 1 > 16) return false;
    const QByteArray extension = name.mid(dot + 1).toLower().toLatin1();
    return isPackageExtension(std::string_view(extension.constData(), static_cast<size_t>(extension.size())));
}

}  // namespace tarnwick::PackageRule
