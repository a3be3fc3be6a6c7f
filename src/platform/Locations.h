#pragma once

#include "platform/Environment.h"

#include <QHash>
#include <QString>
#include <QStringList>

namespace tarnwick {

// The table of places the finders look at, each as the design names it
// ("~/Library/Caches", "/private/var/log") and where that place is on this
// computer. Where this platform keeps the same thing elsewhere, the place
// resolves to that folder (the user's cache folder, the download folder of
// the XDG user-dirs file); where it has no such thing, the named path is kept
// literally below the home folder or the root prefix, and there it normally
// finds nothing. Everything is resolved through one Environment, so tests
// build fake homes and roots.
class Locations {
public:
    enum class Place {
        userCaches,             // ~/Library/Caches as the user's cache folder
        systemCaches,           // /Library/Caches
        userLogs,               // ~/Library/Logs
        systemLogs,             // /private/var/log
        userTemp,               // the user's own temporary folder
        systemTempFolders,      // /private/var/folders
        deviceBackups,          // ~/Library/Application Support/MobileSync/Backup
        photosCaches,           // ~/Pictures/Photos Library.photoslibrary/resources/caches
        photosRepair,           // ~/Pictures/Photos Library.photoslibrary/resources/repair
        photosContainerCaches,  // ~/Library/Containers/com.apple.Photos/Data/Library/Caches
        mailDownloads,          // ~/Library/Containers/com.apple.mail/Data/Library/Mail Downloads
        legacyMailDownloads,    // ~/Library/Mail Downloads
        xcodeDerivedData,       // ~/Library/Developer/Xcode/DerivedData
        xcodeDeviceSupport,     // ~/Library/Developer/Xcode/iOS DeviceSupport
        simulatorCaches,        // ~/Library/Developer/CoreSimulator/Caches
        dockerRaw,              // the desktop container engine's disk image
        dockerQcow2,            // its older disk image format
        dockerLogs,             // its log folder
        ollamaModels,           // ~/.ollama/models
        huggingFaceCache,       // ~/.cache/huggingface
        lmStudio,               // ~/.lmstudio
        applications,           // /Applications
        userApplications,       // ~/Applications
        projects,               // ~/Projects
        developer,              // ~/Developer
        libraryApplicationSupport,  // ~/Library/Application Support
        libraryCaches,              // ~/Library/Caches, the folder itself
        libraryContainers,          // ~/Library/Containers
        libraryGroupContainers,     // ~/Library/Group Containers
        desktop,                // ~/Desktop
        documents,              // ~/Documents
        downloads,              // ~/Downloads
        pictures,               // ~/Pictures
        movies,                 // ~/Movies
        trash,                  // ~/.Trash
        screenshots,            // ~/Pictures/Screenshots, where the desktops here save screenshots
        // The performance finder's launch items and the maintenance commands' folders.
        userAutostart,          // ~/.config/autostart: the user's login items
        systemAutostart,        // /etc/xdg/autostart
        userUnits,              // ~/.config/systemd/user: the user's own service units
        systemUserUnits,        // /etc/systemd/user: user units the system provides
        systemUnits,            // /etc/systemd/system: the system's own service units
        desktopEntries,         // ~/.local/share/applications: the user's application entries
        mimeDatabase,           // ~/.local/share/mime: the user's file type database
        // The privacy finder's places and the browser folders, which the
        // design has no twin for: each is named by its own path here.
        recentlyUsed,           // ~/.local/share/recently-used.xbel
        thumbnails,             // ~/.cache/thumbnails
        chromeProfiles,         // ~/.config/google-chrome
        chromiumProfiles,       // ~/.config/chromium
        braveProfiles,          // ~/.config/BraveSoftware/Brave-Browser
        edgeProfiles,           // ~/.config/microsoft-edge
        firefoxProfiles,        // ~/.mozilla/firefox
        chromeCache,            // ~/.cache/google-chrome
        chromiumCache,          // ~/.cache/chromium
        mozillaCache,           // ~/.cache/mozilla
        // The apps a user installs here and the folders their data lives in,
        // which the design has no twin for either.
        flatpakAppData,         // ~/.var/app: each Flatpak app's own data folder, named by its id
        userFlatpakApps,        // ~/.local/share/flatpak/app: the user installation's apps
        systemFlatpakApps,      // /var/lib/flatpak/app, then the apps folder of each further
                                // installation /etc/flatpak/installations.d names
        appImages,              // ~/AppImages
        userPrograms,           // ~/.local/bin
        configFolder,           // ~/.config
        dataFolder,             // ~/.local/share
        stateFolder,            // ~/.local/state
        systemDesktopEntries,   // /usr/share/applications, then /usr/local/share/applications
    };

    explicit Locations(const Environment& environment = Environment::current());

    // Every path the place has here, first the one the design names (or its
    // twin here), then any further place this platform keeps the same data
    // in. Empty when the place does not exist here (the user's temporary
    // folder when it is the shared one). The user's caches are the cache
    // folder, then the "cache" folder of each Flatpak app's data folder
    // (~/.var/app/<id>/cache, for the first 1,000 ids that are plain
    // reverse domain names, real folders only).
    QStringList paths(Place place) const;
    // The first of paths(), or empty.
    QString path(Place place) const;
    // How the design writes the place: "~/Library/Caches", "/Applications".
    static QString namedAs(Place place);

    QString home() const { return home_; }
    // $XDG_CACHE_HOME, else ~/.cache. A value that is not absolute, or that
    // is the home folder or lies above it, counts as unset.
    QString cacheHome() const { return cacheHome_; }
    // $XDG_CONFIG_HOME, else ~/.config (a value that is not absolute counts as unset).
    QString configHome() const { return configHome_; }
    // $XDG_DATA_HOME, else ~/.local/share (likewise).
    QString dataHome() const { return dataHome_; }
    // $XDG_STATE_HOME, else ~/.local/state (likewise).
    QString stateHome() const { return stateHome_; }
    // The folder the user-dirs file (user-dirs.dirs in the config folder)
    // names for key ("DOWNLOAD", "DOCUMENTS"), read as QStandardPaths reads
    // it: lines XDG_<key>_DIR="value", the last one winning, quotes dropped,
    // a leading $HOME replaced by the home folder. Empty when the file names
    // none, or names a relative path, the home folder itself (which the
    // user-dirs tool writes for a folder the user switched off) or a folder
    // above it.
    QString userDirectory(const QString& key) const;

private:
    QString literalHome(const char* named) const;
    QString userDirectoryOr(const char* key, const char* named) const;
    QString userTemp() const;
    QStringList flatpakCaches() const;
    QStringList flatpakInstallations() const;

    Environment environment_;
    QString home_;
    QString cacheHome_;
    QString configHome_;
    QString dataHome_;
    QString stateHome_;
    QHash<QString, QString> userDirectories_;
};

}  // namespace tarnwick
