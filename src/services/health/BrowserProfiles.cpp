#include "services/health/BrowserProfiles.h"

#include "services/shared/DesktopEntryFile.h"
#include "support/PathRules.h"

namespace tarnwick::BrowserProfiles {

namespace {

using Place = Locations::Place;

struct ChromiumRow {
    const char* name;
    Place place;
    QStringList processNames;  // the command name is cut to 15 bytes by the kernel
};

const QList<ChromiumRow>& chromiumRows() {
    static const QList<ChromiumRow> rows = {
        {"Chrome", Place::chromeProfiles, {"chrome", "google-chrome", "google-chrome-stable"}},
        {"Chromium", Place::chromiumProfiles, {"chromium", "chromium-browser", "chromium-browse"}},
        {"Brave", Place::braveProfiles, {"brave", "brave-browser"}},
        {"Edge", Place::edgeProfiles, {"msedge", "microsoft-edge"}},
    };
    return rows;
}

struct Section {
    QString path;
    bool relative = true;
};

QString profileFolder(const Section& section, const QString& root) {
    if (section.path.isEmpty()) return QString();
    if (!section.relative) {
        return section.path.startsWith(QLatin1Char('/')) ? PathRules::standardizingPath(section.path) : QString();
    }
    if (section.path.startsWith(QLatin1Char('/'))) return QString();
    const QString folder = PathRules::standardizingPath(root + QLatin1Char('/') + section.path);
    // "../.." climbs out of the Firefox folder: not a profile of it.
    if (folder == root || !PathRules::isSameOrBelow(folder, root)) return QString();
    return folder;
}

}  // namespace

QList<Chromium> chromiumFamily(const Locations& locations) {
    QList<Chromium> browsers;
    for (const ChromiumRow& row : chromiumRows()) {
        browsers.append(Chromium{QString::fromUtf8(row.name), locations.path(row.place), row.processNames});
    }
    return browsers;
}

BrowserUse use(const Chromium& browser) {
    return BrowserUse{browser.name, browser.processNames, {browser.userDataFolder + QStringLiteral("/SingletonLock")}, {}};
}

QStringList firefoxProfiles(const Locations& locations) {
    const QString root = PathRules::standardizingPath(locations.path(Place::firefoxProfiles));
    // Read as the file system stores it: a byte that is not UTF-8 (in one
    // profile's name, say) stays that byte, so every other profile is still
    // found and that one still names its own folder.
    const DesktopEntryFile file = DesktopEntryFile::read(root + QStringLiteral("/profiles.ini"));
    if (!file.isRead()) return {};

    QList<Section> sections;
    for (const DesktopEntryFile::Group& group : file.groups()) {
        if (!group.name.trimmed().startsWith(QLatin1String("Profile"))) continue;
        Section section;
        for (const auto& [key, value] : group.entries) {
            if (key == QLatin1String("Path")) section.path = value;
            if (key == QLatin1String("IsRelative")) section.relative = value != QLatin1String("0");
        }
        sections.append(section);
    }

    QStringList folders;
    for (const Section& section : std::as_const(sections)) {
        const QString folder = profileFolder(section, root);
        if (folder.isEmpty() || folders.contains(folder)) continue;
        folders.append(folder);
        if (folders.size() == kMaxFirefoxProfiles) break;
    }
    return folders;
}

BrowserUse firefoxUse(const QString& profileFolder) {
    return BrowserUse{QStringLiteral("Firefox"),
                      {QStringLiteral("firefox"), QStringLiteral("firefox-esr"), QStringLiteral("firefox-bin")},
                      {profileFolder + QStringLiteral("/lock")},
                      {profileFolder + QStringLiteral("/.parentlock")}};
}

}  // namespace tarnwick::BrowserProfiles
