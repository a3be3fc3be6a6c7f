#include "services/cleanup/AppUpdaterService.h"

#include "platform/Environment.h"
#include "platform/FileEntry.h"
#include "platform/FolderListing.h"
#include "platform/Locations.h"
#include "platform/ToolRunner.h"
#include "services/cleanup/AppBundle.h"
#include "services/cleanup/AppImageFile.h"
#include "services/cleanup/FlatpakApp.h"
#include "services/cleanup/FlatpakTool.h"
#include "support/FileError.h"
#include "support/PathRules.h"

#include <QCollator>
#include <QFileInfo>
#include <QSet>
#include <QStringDecoder>
#include <QUrl>

#include <algorithm>

namespace tarnwick::AppUpdaterService {

namespace {

constexpr qint64 kNewerByMSecs = 60 * 1000;
constexpr qsizetype kStemPrefix = 8;

const QString kBrewPaths[] = {QStringLiteral("/opt/homebrew/bin/brew"), QStringLiteral("/usr/local/bin/brew")};
// Where Homebrew installs on this platform: for every user, then for one.
const QString kLinuxBrew = QStringLiteral("/home/linuxbrew/.linuxbrew/bin/brew");
const QString kUserLinuxBrew = QStringLiteral("~/.linuxbrew/bin/brew");

void report(const Progress& progress, const QString& label) {
    if (progress) progress(label);
}

QString spacelessLower(const QString& text) {
    QString key = text.toLower();
    key.remove(QLatin1Char(' '));
    return key;
}

// The installer's name belongs to the application's.
bool belongsTo(const QString& stemKey, const QString& appKey) {
    if (stemKey.isEmpty() || appKey.isEmpty()) return false;
    return stemKey.contains(appKey) || appKey.contains(stemKey.left(kStemPrefix));
}

AppUpdateItem candidate(const AppBundle& bundle, const QString& reason) {
    AppUpdateItem item;
    item.name = bundle.name;
    item.path = bundle.path;
    item.installedVersion = bundle.version;
    item.reason = reason;
    return item;
}

QList<AppUpdateItem> downloadsInstallers(const QList<AppBundle>& bundles, const QString& downloads) {
    QList<AppUpdateItem> found;
    const auto listing = FolderListing::list(downloads, FolderListing::Hidden::skip);
    if (!listing) return found;
    static const QSet<QString> kinds = {QStringLiteral("dmg"), QStringLiteral("pkg"), QStringLiteral("zip")};
    for (const FileEntry& entry : *listing) {
        if (!kinds.contains(PathRules::pathExtension(entry.name).toLower())) continue;
        const QString stemKey = spacelessLower(PathRules::deletingPathExtension(entry.name));
        for (const AppBundle& bundle : bundles) {
            if (!belongsTo(stemKey, spacelessLower(bundle.name))) continue;
            if (entry.modifiedMSecs <= bundle.modifiedMSecs + kNewerByMSecs) continue;
            AppUpdateItem item = candidate(bundle, QStringLiteral("Newer installer in Downloads (") + entry.name +
                                                       QLatin1Char(')'));
            item.installerPath = entry.path;
            found.append(std::move(item));
        }
    }
    return found;
}

QList<AppUpdateItem> updateFeeds(const QList<AppBundle>& bundles, const QList<AppUpdateItem>& before) {
    QSet<QString> listed;
    for (const AppUpdateItem& item : before) listed.insert(item.path);
    QList<AppUpdateItem> found;
    for (const AppBundle& bundle : bundles) {
        if (!bundle.hasInfo || !bundle.feed || bundle.feed->isEmpty() || listed.contains(bundle.path)) continue;
        const QUrl url(*bundle.feed, QUrl::StrictMode);
        const QString host = url.isValid() && !url.host().isEmpty() ? url.host() : QStringLiteral("feed");
        found.append(candidate(bundle, QStringLiteral("Supports Sparkle updates \u2014 open app to check (") + host +
                                           QLatin1Char(')')));
        listed.insert(bundle.path);
    }
    return found;
}

bool isExecutableFile(const QString& program) {
    const QFileInfo info(program);
    return info.isFile() && info.isExecutable();
}

// The brew to ask and whether it manages casks (the other platform's
// installs) or formulae (this platform's).
struct Brew {
    QString program;
    bool casks = true;
    QString prefix;  // a formula's files are under <prefix>/opt/<token>
};

std::optional<Brew> findBrew() {
    const Environment& environment = Environment::current();
    for (const QString& usual : kBrewPaths) {
        const QString program = environment.toolPath(usual);
        if (isExecutableFile(program)) return Brew{program, true, {}};
    }
    for (const QString& program : {environment.toolPath(kLinuxBrew), environment.homePath(kUserLinuxBrew)}) {
        if (!isExecutableFile(program)) continue;
        return Brew{program, false, PathRules::deletingLastPathComponent(PathRules::deletingLastPathComponent(program))};
    }
    return std::nullopt;
}

// The AppImages anywhere the apps finder looks, each matched with the newest
// AppImage of the same name in Downloads that has a higher version.
QList<AppUpdateItem> newerAppImages(const Locations& locations, const std::stop_token& stop) {
    const QString downloads = locations.path(Locations::Place::downloads);
    const QList<AppImageFile> installed = AppImageFile::list(
        {{locations.path(Locations::Place::userApplications)},
         {locations.path(Locations::Place::appImages)},
         {locations.path(Locations::Place::userPrograms)},
         {downloads, false}},
        locations.path(Locations::Place::desktopEntries), stop);
    const QString downloadsPrefix = downloads + QLatin1Char('/');
    QList<AppUpdateItem> found;
    for (const AppImageFile& app : installed) {
        if (app.version == QLatin1String("?")) continue;
        const AppImageFile* newest = nullptr;
        for (const AppImageFile& download : installed) {
            if (!download.path.startsWith(downloadsPrefix) || download.version == QLatin1String("?")) continue;
            if (spacelessLower(download.baseName) != spacelessLower(app.baseName)) continue;
            if (AppImageFile::compareVersions(download.version, newest ? newest->version : app.version) <= 0) continue;
            newest = &download;
        }
        if (!newest) continue;
        AppUpdateItem item;
        item.name = app.name;
        item.path = app.path;
        item.installedVersion = app.version;
        item.reason = QStringLiteral("Newer AppImage in Downloads (") + PathRules::lastPathComponent(newest->path) +
                      QLatin1Char(')');
        item.installerPath = newest->path;
        found.append(std::move(item));
    }
    return found;
}

// The installed Flatpak apps that flatpak reports an update for. An
// installation without apps is not asked.
QList<AppUpdateItem> flatpakUpdates(const Locations& locations, std::chrono::milliseconds timeout,
                                    const std::stop_token& stop) {
    const QList<FlatpakApp> installed = FlatpakApp::installed(locations, stop);
    QList<AppUpdateItem> found;
    for (const bool system : {false, true}) {
        const bool any = std::any_of(installed.begin(), installed.end(),
                                     [system](const FlatpakApp& app) { return app.isSystem == system; });
        if (!any || stop.stop_requested()) continue;
        for (const FlatpakTool::Update& update : FlatpakTool::updates(system, timeout, stop)) {
            const auto app = std::find_if(installed.begin(), installed.end(), [&](const FlatpakApp& a) {
                return a.isSystem == system && a.id == update.id;
            });
            if (app == installed.end()) continue;
            AppUpdateItem item;
            item.name = app->name;
            item.path = app->path;
            item.installedVersion = app->version;
            const QString offered =
                update.version.isEmpty() ? QString() : QStringLiteral(" (") + update.version + QLatin1Char(')');
            if (system) {
                item.reason = QStringLiteral("Flatpak update on its remote") + offered +
                              QStringLiteral(" \u2014 run: flatpak update --system ") + app->id;
            } else {
                item.reason = QStringLiteral("Flatpak update on its remote") + offered +
                              QStringLiteral(" \u2014 Update runs flatpak update");
                item.userFlatpakId = app->id;
            }
            found.append(std::move(item));
        }
    }
    return found;
}

}  // namespace

QList<AppUpdateItem> brewOutdated(std::chrono::milliseconds timeout, const std::stop_token& stop) {
    QList<AppUpdateItem> found;
    const std::optional<Brew> brew = findBrew();
    if (!brew) return found;
    QStringList arguments{QStringLiteral("outdated")};
    if (brew->casks) arguments.append(QStringLiteral("--cask"));
    arguments.append(QStringLiteral("--quiet"));
    const ToolResult result = ToolRunner::run(brew->program, arguments, timeout, ToolRunner::Stderr::discard,
                                              {QStringLiteral("HOMEBREW_NO_AUTO_UPDATE=1")}, stop);
    // A run that was killed may have stopped in the middle of a line.
    if (result.status != ToolResult::Status::finished) return found;
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(result.output);
    if (decoder.hasError()) return found;

    const QString applications = Locations(Environment::current()).path(Locations::Place::applications);
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (found.size() >= kBrewLinesKept) break;
        qsizetype start = 0;
        qsizetype end = line.size();
        auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r'); };
        while (start < end && blank(line.at(start))) ++start;
        while (end > start && blank(line.at(end - 1))) --end;
        if (start == end) continue;
        const QString token = line.mid(start, end - start);
        AppUpdateItem item;
        item.name = token;
        if (brew->casks) {
            item.path = PathRules::appendingPathComponent(applications, token + QStringLiteral(".app"));
            item.installedVersion = QStringLiteral("brew cask");
            item.reason = QStringLiteral("Homebrew reports this cask as outdated \u2014 run: brew upgrade --cask ") + token;
        } else {
            // A formula's name is one path component at most.
            if (token.contains(QLatin1Char('/')) || token == QLatin1String("..")) continue;
            item.path = brew->prefix + QStringLiteral("/opt/") + token;
            item.installedVersion = QStringLiteral("brew formula");
            item.reason = QStringLiteral("Homebrew reports this formula as outdated \u2014 run: brew upgrade ") + token;
        }
        found.append(std::move(item));
    }
    return found;
}

QList<AppUpdateItem> scan(const Progress& progress, std::stop_token stop, std::chrono::milliseconds toolTimeout) {
    const Environment& environment = Environment::current();
    const Locations locations(environment);
    QList<AppUpdateItem> found;

    report(progress, QStringLiteral("Listing applications\u2026"));
    QList<AppBundle> bundles = AppBundle::list(AppBundle::applicationFolders(locations), stop);
    bundles.removeIf([](const AppBundle& bundle) { return !bundle.isFolder; });
    if (!stop.stop_requested()) {
        report(progress, QStringLiteral("Matching Downloads installers\u2026"));
        found.append(downloadsInstallers(bundles, locations.path(Locations::Place::downloads)));
        found.append(newerAppImages(locations, stop));
    }
    if (!stop.stop_requested()) {
        report(progress, QStringLiteral("Checking Flatpak updates\u2026"));
        found.append(updateFeeds(bundles, found));
        found.append(flatpakUpdates(locations, toolTimeout, stop));
    }
    if (!stop.stop_requested()) {
        report(progress, QStringLiteral("Checking Homebrew\u2026"));
        found.append(brewOutdated(toolTimeout, stop));
    }

    // One candidate per application: the first source that found it.
    QList<AppUpdateItem> unique;
    QSet<QString> paths;
    for (AppUpdateItem& item : found) {
        if (paths.contains(item.path)) continue;
        paths.insert(item.path);
        unique.append(std::move(item));
    }
    found = std::move(unique);
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(found.begin(), found.end(), [&collator](const AppUpdateItem& a, const AppUpdateItem& b) {
        return collator.compare(a.name, b.name) < 0;
    });
    return found;
}

QString openTarget(const AppUpdateItem& item) {
    return item.installerPath.value_or(item.path);
}

void openInstaller(const AppUpdateItem& item, const RevealService::FailureHandler& onFailure) {
    const QString target = openTarget(item);
    if (!FileEntry::at(target)) {
        if (onFailure) {
            onFailure(QStringLiteral("Could not open ") + FileError::quoted(PathRules::abbreviatingWithTilde(target)) +
                      QStringLiteral(": it is no longer there."));
        }
        return;
    }
    // An AppImage is a program, not a document: it is shown, not run.
    if (target.endsWith(QLatin1String(".appimage"), Qt::CaseInsensitive)) {
        RevealService::reveal(target, onFailure);
        return;
    }
    RevealService::open(QUrl::fromLocalFile(target), onFailure);
}

}  // namespace tarnwick::AppUpdaterService
