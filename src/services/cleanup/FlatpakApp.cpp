#include "services/cleanup/FlatpakApp.h"

#include "platform/FileEntry.h"
#include "platform/FileReader.h"
#include "platform/FolderListing.h"
#include "services/cleanup/DesktopEntry.h"
#include "services/shared/CappedText.h"
#include "services/shared/DesktopEntryFile.h"
#include "support/ReverseDnsName.h"

#include <QXmlStreamReader>

#include <algorithm>

namespace tarnwick {

namespace {

// The first <release version="..."> of the app's metainfo, wherever the app
// keeps it.
QString metainfoVersion(const QString& files, const QString& id) {
    const QString candidates[] = {
        files + QStringLiteral("/share/metainfo/") + id + QStringLiteral(".metainfo.xml"),
        files + QStringLiteral("/share/metainfo/") + id + QStringLiteral(".appdata.xml"),
        files + QStringLiteral("/share/appdata/") + id + QStringLiteral(".appdata.xml"),
    };
    for (const QString& path : candidates) {
        std::optional<FileReader> reader = FileReader::open(path);
        if (!reader) continue;
        QXmlStreamReader xml(reader->read(FlatpakApp::kMetainfoLimit));
        while (!xml.atEnd() && !xml.hasError()) {
            if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QLatin1String("release")) continue;
            const QString version = xml.attributes().value(QLatin1String("version")).toString().trimmed();
            if (!version.isEmpty() && version.size() <= 64) return version;
            break;
        }
        break;
    }
    return QStringLiteral("?");
}

std::optional<FlatpakApp> readApp(const FileEntry& folder, bool isSystem) {
    if (!folder.isDirectory() || !ReverseDnsName::isValid(folder.name)) return std::nullopt;
    const QString active = folder.path + QStringLiteral("/current/active");
    const std::optional<QString> metadata =
        CappedText::read(active + QStringLiteral("/metadata"), FlatpakApp::kMetadataLimit);
    if (!metadata) return std::nullopt;
    const DesktopEntryFile file = DesktopEntryFile::parse(*metadata);
    if (file.value(QStringLiteral("Application"), QStringLiteral("name")) != folder.name) return std::nullopt;

    FlatpakApp app;
    app.id = folder.name;
    app.path = folder.path;
    app.isSystem = isSystem;
    const std::optional<DesktopEntry> entry = DesktopEntry::read(
        active + QStringLiteral("/export/share/applications/") + app.id + QStringLiteral(".desktop"));
    const QString name = entry ? entry->name.simplified() : QString();
    app.name = name.isEmpty() || name.size() > 200 ? app.id.section(QLatin1Char('.'), -1) : name;
    app.version = metainfoVersion(active + QStringLiteral("/files"), app.id);
    return app;
}

}  // namespace

QList<FlatpakApp> FlatpakApp::list(const QString& appsFolder, bool isSystem, const std::stop_token& stop) {
    QList<FlatpakApp> apps;
    const auto listing = FolderListing::list(appsFolder, FolderListing::Hidden::skip);
    if (!listing) return apps;
    const qsizetype looked = std::min(listing->size(), kAppsLooked);
    for (qsizetype i = 0; i < looked; ++i) {
        if (stop.stop_requested()) break;
        if (std::optional<FlatpakApp> app = readApp(listing->at(i), isSystem)) apps.append(std::move(*app));
    }
    return apps;
}

QList<FlatpakApp> FlatpakApp::installed(const Locations& locations, const std::stop_token& stop) {
    const QString user = locations.path(Locations::Place::userFlatpakApps);
    QList<FlatpakApp> apps = list(user, false, stop);
    for (const QString& system : locations.paths(Locations::Place::systemFlatpakApps)) {
        if (system != user) apps.append(list(system, true, stop));
    }
    return apps;
}

std::optional<QSet<QString>> FlatpakApp::installedIds(const Locations& locations, const std::stop_token& stop) {
    QStringList folders{locations.path(Locations::Place::userFlatpakApps)};
    folders.append(locations.paths(Locations::Place::systemFlatpakApps));
    QSet<QString> ids;
    for (const QString& folder : folders) {
        if (!FileEntry::at(folder)) continue;
        const auto listing = FolderListing::list(folder, FolderListing::Hidden::skip);
        if (!listing || stop.stop_requested()) return std::nullopt;
        // Every folder with a usable id counts, deployed in full or not.
        for (const FileEntry& entry : *listing) {
            if (ReverseDnsName::isValid(entry.name)) ids.insert(entry.name);
        }
    }
    return ids;
}

}  // namespace tarnwick
