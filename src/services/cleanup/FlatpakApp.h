#pragma once

#include "platform/Locations.h"

#include <QList>
#include <QSet>
#include <QString>

#include <optional>
#include <stop_token>

namespace tarnwick {

// One app of a Flatpak installation, read from the files flatpak deploys
// (no tool runs): <installation>/app/<id>/current/active holds its metadata
// and the desktop entry it exports. Only ids that are plain reverse domain
// names count, every file is read up to a cap, and nothing is written.
struct FlatpakApp {
    static constexpr qsizetype kAppsLooked = 1000;
    static constexpr qint64 kMetadataLimit = 64 * 1024;
    static constexpr qint64 kMetainfoLimit = 256 * 1024;

    QString id;
    QString name;     // Name= of its exported desktop entry, else the id's last part
    QString version;  // the first release its metainfo lists, else "?"
    QString path;     // <installation>/app/<id>, a real folder
    bool isSystem = false;  // of a system installation, which only the administrator may change

    // The apps of one installation's apps folder, in listing order: folders
    // with a usable id whose metadata has an "[Application]" group naming
    // that same id. A stop request ends the listing with what was read.
    static QList<FlatpakApp> list(const QString& appsFolder, bool isSystem, const std::stop_token& stop = {});
    // The user installation's apps, then every system installation's.
    static QList<FlatpakApp> installed(const Locations& locations, const std::stop_token& stop = {});
    // The ids installed in any installation; nothing when an installation's
    // apps folder exists but cannot be read (then nobody can tell what is
    // installed).
    static std::optional<QSet<QString>> installedIds(const Locations& locations, const std::stop_token& stop = {});
};

}  // namespace tarnwick
