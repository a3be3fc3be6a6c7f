#include "platform/Locations.h"

#include "platform/FileEntry.h"
#include "platform/FolderListing.h"
#include "platform/PathCodec.h"
#include "support/PathRules.h"
#include "support/ReverseDnsName.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <iterator>

namespace tarnwick {

namespace {

using Place = Locations::Place;

constexpr qsizetype kFlatpakAppsLooked = 1000;
constexpr int kInstallationFilesRead = 50;
constexpr qint64 kInstallationFileBytes = 64 * 1024;

struct Row {
    Place place;
    const char* named;
};

// One row per place, in declaration order.
constexpr Row kRows[] = {
    {Place::userCaches, "~/Library/Caches"},
    {Place::systemCaches, "/Library/Caches"},
    {Place::userLogs, "~/Library/Logs"},
    {Place::systemLogs, "/private/var/log"},
    {Place::userTemp, "$TMPDIR"},
    {Place::systemTempFolders, "/private/var/folders"},
    {Place::deviceBackups, "~/Library/Application Support/MobileSync/Backup"},
    {Place::photosCaches, "~/Pictures/Photos Library.photoslibrary/resources/caches"},
    {Place::photosRepair, "~/Pictures/Photos Library.photoslibrary/resources/repair"},
    {Place::photosContainerCaches, "~/Library/Containers/com.apple.Photos/Data/Library/Caches"},
    {Place::mailDownloads, "~/Library/Containers/com.apple.mail/Data/Library/Mail Downloads"},
    {Place::legacyMailDownloads, "~/Library/Mail Downloads"},
    {Place::xcodeDerivedData, "~/Library/Developer/Xcode/DerivedData"},
    {Place::xcodeDeviceSupport, "~/Library/Developer/Xcode/iOS DeviceSupport"},
    {Place::simulatorCaches, "~/Library/Developer/CoreSimulator/Caches"},
    {Place::dockerRaw, "~/Library/Containers/com.docker.docker/Data/vms/0/data/Docker.raw"},
    {Place::dockerQcow2, "~/Library/Containers/com.docker.docker/Data/vms/0/data/Docker.qcow2"},
    {Place::dockerLogs, "~/Library/Containers/com.docker.docker/Data/log"},
    {Place::ollamaModels, "~/.ollama/models"},
    {Place::huggingFaceCache, "~/.cache/huggingface"},
    {Place::lmStudio, "~/.lmstudio"},
    {Place::applications, "/Applications"},
    {Place::userApplications, "~/Applications"},
    {Place::projects, "~/Projects"},
    {Place::developer, "~/Developer"},
    {Place::libraryApplicationSupport, "~/Library/Application Support"},
    {Place::libraryCaches, "~/Library/Caches"},
    {Place::libraryContainers, "~/Library/Containers"},
    {Place::libraryGroupContainers, "~/Library/Group Containers"},
    {Place::desktop, "~/Desktop"},
    {Place::documents, "~/Documents"},
    {Place::downloads, "~/Downloads"},
    {Place::pictures, "~/Pictures"},
    {Place::movies, "~/Movies"},
    {Place::trash, "~/.Trash"},
    {Place::screenshots, "~/Pictures/Screenshots"},
    {Place::userAutostart, "~/.config/autostart"},
    {Place::systemAutostart, "/etc/xdg/autostart"},
    {Place::userUnits, "~/.config/systemd/user"},
    {Place::systemUserUnits, "/etc/systemd/user"},
    {Place::systemUnits, "/etc/systemd/system"},
    {Place::desktopEntries, "~/.local/share/applications"},
    {Place::mimeDatabase, "~/.local/share/mime"},
    {Place::recentlyUsed, "~/.local/share/recently-used.xbel"},
    {Place::thumbnails, "~/.cache/thumbnails"},
    {Place::chromeProfiles, "~/.config/google-chrome"},
    {Place::chromiumProfiles, "~/.config/chromium"},
    {Place::braveProfiles, "~/.config/BraveSoftware/Brave-Browser"},
    {Place::edgeProfiles, "~/.config/microsoft-edge"},
    {Place::firefoxProfiles, "~/.mozilla/firefox"},
    {Place::chromeCache, "~/.cache/google-chrome"},
    {Place::chromiumCache, "~/.cache/chromium"},
    {Place::mozillaCache, "~/.cache/mozilla"},
    {Place::flatpakAppData, "~/.var/app"},
    {Place::userFlatpakApps, "~/.local/share/flatpak/app"},
    {Place::systemFlatpakApps, "/var/lib/flatpak/app"},
    {Place::appImages, "~/AppImages"},
    {Place::userPrograms, "~/.local/bin"},
    {Place::configFolder, "~/.config"},
    {Place::dataFolder, "~/.local/share"},
    {Place::stateFolder, "~/.local/state"},
    {Place::systemDesktopEntries, "/usr/share/applications"},
};

static_assert(std::size(kRows) == static_cast<size_t>(Place::systemDesktopEntries) + 1, "one row per place");

// What follows a base folder in a named place: "/autostart" of "~/.config/autostart".
QString below(const char* named, const char* base) {
    return QString::fromUtf8(named).mid(qsizetype(std::strlen(base)));
}

QString clean(const QString& path) {
    return PathRules::standardizingPath(path);
}

// The home folder itself, or a folder above it ("/", "/home").
bool isHomeOrAbove(const QString& path, const QString& home) {
    return !path.isEmpty() && PathRules::isSameOrBelow(home, path);
}

QString baseFolder(const Environment& environment, const char* variable, const QString& fallback) {
    const QString value = environment.variable(QString::fromLatin1(variable));
    if (!value.startsWith(QLatin1Char('/'))) return fallback;
    return clean(value);
}

// Reads the user-dirs file: key ("DOWNLOAD") -> folder, as QStandardPaths
// reads it.
QHash<QString, QString> readUserDirectories(const QString& file, const QString& home) {
    QHash<QString, QString> folders;
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly)) return folders;
    const QByteArray contents = input.read(256 * 1024);
    for (const QByteArray& rawLine : contents.split('\n')) {
        QString line = PathCodec::decode(rawLine);
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        if (!line.startsWith(QLatin1String("XDG_"))) continue;
        const qsizetype marker = line.lastIndexOf(QLatin1String("_DIR="));
        if (marker < 4) continue;
        const QString key = line.mid(4, marker - 4);
        QString value = line.mid(marker + 5);
        if (value.size() > 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"'))) {
            value = value.mid(1, value.size() - 2);
        }
        if (value.startsWith(QLatin1String("$HOME"))) value = home + value.mid(5);
        folders.insert(key, value);
    }
    return folders;
}

}  // namespace

Locations::Locations(const Environment& environment) : environment_(environment) {
    home_ = clean(environment.homeDirectory);
    cacheHome_ = baseFolder(environment, "XDG_CACHE_HOME", QString());
    if (cacheHome_.isEmpty() || isHomeOrAbove(cacheHome_, home_)) cacheHome_ = home_ + QStringLiteral("/.cache");
    configHome_ = baseFolder(environment, "XDG_CONFIG_HOME", home_ + QStringLiteral("/.config"));
    dataHome_ = baseFolder(environment, "XDG_DATA_HOME", home_ + QStringLiteral("/.local/share"));
    stateHome_ = baseFolder(environment, "XDG_STATE_HOME", home_ + QStringLiteral("/.local/state"));
    userDirectories_ = readUserDirectories(configHome_ + QStringLiteral("/user-dirs.dirs"), home_);
}

QString Locations::namedAs(Place place) {
    return QString::fromUtf8(kRows[static_cast<size_t>(place)].named);
}

QString Locations::userDirectory(const QString& key) const {
    const QString raw = userDirectories_.value(key);
    if (!raw.startsWith(QLatin1Char('/'))) return QString();
    const QString value = clean(raw);
    if (isHomeOrAbove(value, home_)) return QString();
    return value;
}

QString Locations::literalHome(const char* named) const {
    return environment_.homePath(QString::fromUtf8(named));
}

QString Locations::userDirectoryOr(const char* key, const char* named) const {
    const QString folder = userDirectory(QString::fromLatin1(key));
    return folder.isEmpty() ? literalHome(named) : folder;
}

// The temporary folder only when it is the user's own: not the shared /tmp or
// /var/tmp, not the home folder or above it, a folder (not a link) that the
// user owns. Cleaning moves its entries, so anything shared is left alone.
QString Locations::userTemp() const {
    if (!environment_.tempDirectory.startsWith(QLatin1Char('/'))) return QString();
    const QString temp = clean(environment_.tempDirectory);
    if (temp == QLatin1String("/")) return QString();
    if (temp == QLatin1String("/tmp") || temp == QLatin1String("/var/tmp")) return QString();
    if (isHomeOrAbove(temp, home_)) return QString();
    const std::optional<FileEntry> entry = FileEntry::at(temp);
    if (!entry || !entry->isDirectory() || entry->owner != environment_.effectiveUserId()) return QString();
    return temp;
}

// Flatpak keeps no cache of an app in the user's cache folder: each app has
// its own below its data folder.
QStringList Locations::flatpakCaches() const {
    QStringList caches;
    const auto listing = FolderListing::list(literalHome("~/.var/app"), FolderListing::Hidden::skip);
    if (!listing) return caches;
    const qsizetype looked = std::min<qsizetype>(listing->size(), kFlatpakAppsLooked);
    for (qsizetype i = 0; i < looked; ++i) {
        const FileEntry& app = listing->at(i);
        if (!app.isDirectory() || !ReverseDnsName::isValid(app.name)) continue;
        const QString cache = app.path + QStringLiteral("/cache");
        const std::optional<FileEntry> entry = FileEntry::at(cache);
        if (entry && entry->isDirectory()) caches.append(cache);
    }
    return caches;
}

// The system installation, then each further one that a file of
// /etc/flatpak/installations.d names ("[Installation \"name\"]" groups with
// an absolute "Path="), as flatpak itself reads them.
QStringList Locations::flatpakInstallations() const {
    QStringList folders{environment_.systemPath(QStringLiteral("/var/lib/flatpak/app"))};
    const auto listing =
        FolderListing::list(environment_.systemPath(QStringLiteral("/etc/flatpak/installations.d")),
                            FolderListing::Hidden::skip);
    if (!listing) return folders;
    int read = 0;
    for (const FileEntry& file : *listing) {
        if (!file.isRegularFile() || !file.name.endsWith(QLatin1String(".conf"))) continue;
        if (++read > kInstallationFilesRead) break;
        QFile input(file.path);
        if (!input.open(QIODevice::ReadOnly)) continue;
        bool inInstallation = false;
        for (const QByteArray& rawLine : input.read(kInstallationFileBytes).split('\n')) {
            const QString line = PathCodec::decode(rawLine.trimmed());
            if (line.startsWith(QLatin1Char('['))) {
                inInstallation = line.startsWith(QLatin1String("[Installation "));
                continue;
            }
            if (!inInstallation || !line.startsWith(QLatin1String("Path="))) continue;
            const QString path = line.mid(5).trimmed();
            if (!path.startsWith(QLatin1Char('/'))) continue;
            const QString apps = clean(environment_.systemPath(path)) + QStringLiteral("/app");
            if (!folders.contains(apps)) folders.append(apps);
        }
    }
    return folders;
}

QStringList Locations::paths(Place place) const {
    const char* named = kRows[static_cast<size_t>(place)].named;
    switch (place) {
    case Place::userCaches:
        return QStringList{cacheHome_} + flatpakCaches();
    case Place::userFlatpakApps:
        return {dataHome_ + QStringLiteral("/flatpak/app")};
    case Place::systemFlatpakApps:
        return flatpakInstallations();
    case Place::configFolder:
        return {configHome_};
    case Place::dataFolder:
        return {dataHome_};
    case Place::stateFolder:
        return {stateHome_};
    case Place::systemDesktopEntries:
        return {environment_.systemPath(QString::fromUtf8(named)),
                environment_.systemPath(QStringLiteral("/usr/local/share/applications"))};
    case Place::userTemp: {
        const QString temp = userTemp();
        return temp.isEmpty() ? QStringList() : QStringList{temp};
    }
    case Place::dockerRaw:
        return {literalHome(named), literalHome("~/.docker/desktop/vms/0/data/Docker.raw")};
    case Place::dockerQcow2:
        return {literalHome(named), literalHome("~/.docker/desktop/vms/0/data/Docker.qcow2")};
    case Place::dockerLogs:
        return {literalHome(named), literalHome("~/.docker/desktop/log")};
    case Place::desktop:
        return {userDirectoryOr("DESKTOP", named)};
    case Place::documents:
        return {userDirectoryOr("DOCUMENTS", named)};
    case Place::downloads:
        return {userDirectoryOr("DOWNLOAD", named)};
    case Place::pictures:
        return {userDirectoryOr("PICTURES", named)};
    case Place::movies:
        return {userDirectoryOr("VIDEOS", named)};
    case Place::trash:
        return {dataHome_ + QStringLiteral("/Trash/files")};
    case Place::userAutostart:
        return {configHome_ + QStringLiteral("/autostart")};
    case Place::userUnits:
        return {configHome_ + QStringLiteral("/systemd/user")};
    case Place::desktopEntries:
        return {dataHome_ + QStringLiteral("/applications")};
    case Place::mimeDatabase:
        return {dataHome_ + QStringLiteral("/mime")};
    case Place::screenshots:
        return {path(Place::pictures) + QStringLiteral("/Screenshots")};
    // The XDG base folders stand where the named paths say ~/.config,
    // ~/.cache or ~/.local/share.
    case Place::chromeProfiles:
    case Place::chromiumProfiles:
    case Place::braveProfiles:
    case Place::edgeProfiles:
        return {configHome_ + below(named, "~/.config")};
    case Place::thumbnails:
    case Place::chromeCache:
    case Place::chromiumCache:
    case Place::mozillaCache:
        return {cacheHome_ + below(named, "~/.cache")};
    case Place::recentlyUsed:
        return {dataHome_ + below(named, "~/.local/share")};
    default:
        break;
    }
    if (named[0] == '~') return {literalHome(named)};
    return {environment_.systemPath(QString::fromUtf8(named))};
}

QString Locations::path(Place place) const {
    const QStringList all = paths(place);
    return all.isEmpty() ? QString() : all.first();
}

}  // namespace tarnwick
