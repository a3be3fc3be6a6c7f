#include "services/cleanup/AppBundle.h"

#include "platform/FolderListing.h"
#include "platform/PropertyList.h"
#include "support/PathRules.h"

namespace tarnwick {

namespace {

constexpr qsizetype kLongestIdentifier = 255;

}  // namespace

bool AppBundle::isThisProgram() const {
    const QString lowered = name.toLower();
    return lowered == QLatin1String("tarnwick") || lowered == QLatin1String("taldovane");
}

bool AppBundle::isUsableIdentifier(const QString& identifier) {
    if (identifier.isEmpty() || identifier.size() > kLongestIdentifier) return false;
    if (identifier.startsWith(QLatin1Char('.'))) return false;
    for (const QChar c : identifier) {
        if (c == QLatin1Char('/') || c.category() == QChar::Other_Control) return false;
    }
    return true;
}

AppBundle AppBundle::read(const FileEntry& entry) {
    AppBundle bundle;
    bundle.name = PathRules::deletingPathExtension(entry.name);
    bundle.path = entry.path;
    bundle.modifiedMSecs = entry.modifiedMSecs;
    bundle.isFolder = entry.isDirectory();
    if (!bundle.isFolder) return bundle;
    const QString contents = entry.path + QStringLiteral("/Contents");
    const std::optional<FileEntry> folder = FileEntry::at(contents);
    if (!folder || !folder->isDirectory()) return bundle;
    const std::optional<PropertyList> info = PropertyList::read(contents + QStringLiteral("/Info.plist"));
    if (!info || !info->isDictionary()) return bundle;
    bundle.hasInfo = true;
    const std::optional<QString> identifier = info->text("CFBundleIdentifier");
    if (identifier && isUsableIdentifier(*identifier)) bundle.bundleId = identifier;
    if (std::optional<QString> version = info->text("CFBundleShortVersionString")) {
        bundle.version = *version;
    } else if (std::optional<QString> build = info->text("CFBundleVersion")) {
        bundle.version = *build;
    }
    bundle.feed = info->text("SUFeedURL");
    if (!bundle.feed) bundle.feed = info->text("SUFeedUrl");
    return bundle;
}

QList<AppBundle> AppBundle::list(const QStringList& folders, const std::stop_token& stop) {
    QList<AppBundle> bundles;
    for (const QString& folder : folders) {
        const auto listing = FolderListing::list(folder, FolderListing::Hidden::skip);
        if (!listing) continue;
        for (const FileEntry& entry : *listing) {
            if (stop.stop_requested()) return bundles;
            if (PathRules::pathExtension(entry.name) != QLatin1String("app")) continue;
            bundles.append(read(entry));
        }
    }
    return bundles;
}

QStringList AppBundle::applicationFolders(const Locations& locations) {
    return {locations.path(Locations::Place::applications), locations.path(Locations::Place::userApplications)};
}

}  // namespace tarnwick
