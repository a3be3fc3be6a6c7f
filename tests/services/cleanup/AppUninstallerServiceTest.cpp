#include "services/cleanup/AppUninstallerService.h"

#include "BundleTestSupport.h"
#include "FileTreeSupport.h"
#include "JunkTestSupport.h"
#include "LinuxAppsTestSupport.h"
#include "platform/PropertyList.h"

#include <gtest/gtest.h>

#include <QDir>

#include <sys/stat.h>

namespace tarnwick::test {
namespace {

constexpr qint64 MB = 1000 * 1000;

class AppUninstaller : public JunkTest {
protected:
    QString applications() const { return root(QStringLiteral("/Applications")); }
    QString userApplications() const { return home(QStringLiteral("Applications")); }
    QString library(const QString& relative) const { return home(QStringLiteral("Library/") + relative); }

    // A bundle with an executable of `bytes` (sparse: its logical size counts).
    QString bundle(const QString& folder, const QString& name, const char* id, qint64 bytes,
                   PlistFormat format = PlistFormat::xml) {
        InfoKeys keys;
        if (id) keys.append({"CFBundleIdentifier", QString::fromUtf8(id)});
        const QString path = writeBundle(folder, name, keys, format);
        writeSparse(path + QStringLiteral("/Contents/MacOS/") + name, bytes);
        return path;
    }
    // A leftover of `bytes` below the Library.
    QString leftover(const QString& relative, qint64 bytes) {
        writeSparse(library(relative) + QStringLiteral("/data"), bytes);
        return library(relative);
    }

    QList<InstalledApp> scan() { return AppUninstallerService::scan({}); }
    static const InstalledApp* named(const QList<InstalledApp>& apps, const QString& name) {
        for (const InstalledApp& app : apps) {
            if (app.name == name) return &app;
        }
        return nullptr;
    }
    QStringList leftoverNames(const QList<InstalledApp>& apps, const QString& name) const {
        QStringList names;
        if (const InstalledApp* app = named(apps, name)) {
            for (const InstalledApp::Leftover& l : app->leftovers) names.append(l.path.mid(library("").size()));
        }
        return names;
    }
};

TEST_F(AppUninstaller, LeftoversFollowTheNameAndIdentifierRules) {
    bundle(applications(), "Google Chrome", "com.google.Chrome", 50 * MB);
    bundle(applications(), "Hammer", "com.example.Tool", 40 * MB);
    bundle(applications(), "Safari", "com.apple.Safari", 20 * MB);

    leftover("Application Support/Google Chrome", 5 * MB);
    leftover("Caches/googlechrome-helper", 1 * MB);
    leftover("Application Support/.google chrome", 9 * MB);  // hidden: never looked at
    leftover("Saved Application State/com.example.Tool.savedState", 2 * MB);
    leftover("Caches/com.example.tool.agent", 3 * MB);
    leftover("Containers/com.example.Tool", 4 * MB);
    leftover("Caches/com.example.Toolbox", 6 * MB);
    writeSparse(library("Preferences/com.example.Tool.plist"), 100);
    makeDir(library("Application Support/Hammer"));  // empty: nothing to list
    leftover("Logs/com.apple.Safari", 8 * MB);
    writeSparse(library("Preferences/com.apple.Safari.plist"), 200);

    const QList<InstalledApp> apps = scan();
    EXPECT_EQ(leftoverNames(apps, "Google Chrome"),
              (QStringList{"Application Support/Google Chrome", "Caches/googlechrome-helper"}));
    EXPECT_EQ(leftoverNames(apps, "Hammer"),
              (QStringList{"Containers/com.example.Tool", "Caches/com.example.tool.agent",
                           "Saved Application State/com.example.Tool.savedState",
                           "Preferences/com.example.Tool.plist"}))
        << "the preferences file counts once; com.example.Toolbox is someone else's";
    EXPECT_EQ(leftoverNames(apps, "Safari"), QStringList{"Preferences/com.apple.Safari.plist"})
        << "the system's entries are never leftovers, the identifier's preferences file is";
    const InstalledApp* chrome = named(apps, "Google Chrome");
    ASSERT_TRUE(chrome);
    EXPECT_EQ(chrome->leftoversBytes(), 6 * MB);
    EXPECT_EQ(AppUninstallerService::resetPaths(*chrome),
              (QStringList{library("Application Support/Google Chrome"), library("Caches/googlechrome-helper")}));
}

TEST_F(AppUninstaller, DataAnotherAppOrThisProgramClaimsIsNoLeftover) {
    env.environment().applicationSupport = library("Application Support");
    env.apply();
    bundle(applications(), "Notes", "com.acme.notes", 10 * MB);
    bundle(applications(), "Sticky Notes", "com.other.sticky", 10 * MB);
    bundle(applications(), "Wick", nullptr, 10 * MB);
    bundle(applications(), "Keep", nullptr, 10 * MB);
    makeLink(env.path("elsewhere/Keeper.app"), userApplications() + "/Keeper.app");  // only a name here

    leftover("Application Support/Notes", 1 * MB);
    leftover("Application Support/Sticky Notes", 2 * MB);
    leftover("Caches/StickyNotes", 3 * MB);
    leftover("Caches/com.other.sticky", 4 * MB);
    leftover("Application Support/Tarnwick/Safe Bin", 5 * MB);
    leftover("Caches/Taldovane-wick", 5 * MB);
    leftover("Logs/Wick", 1 * MB);
    leftover("Application Support/Keeper", 6 * MB);
    leftover("Caches/Keep", 1 * MB);

    const QList<InstalledApp> apps = scan();
    EXPECT_EQ(leftoverNames(apps, "Notes"), QStringList{"Application Support/Notes"});
    EXPECT_EQ(leftoverNames(apps, "Sticky Notes"), QStringList{"Caches/com.other.sticky"})
        << "entries that both apps' names claim belong to neither";
    EXPECT_EQ(leftoverNames(apps, "Wick"), QStringList{"Logs/Wick"}) << "the program's own folders stay";
    EXPECT_EQ(leftoverNames(apps, "Keep"), QStringList{"Caches/Keep"}) << "a linked app's name still claims its data";
    EXPECT_EQ(named(apps, "Keeper"), nullptr);
}

TEST_F(AppUninstaller, CopiesThatShareANameOrIdentifierKeepTheirData) {
    bundle(applications(), "Editor", "com.acme.Editor", 10 * MB);
    bundle(userApplications(), "Editor", "com.acme.Editor", 10 * MB);
    bundle(applications(), "Alpha", "com.acme.same", 5 * MB);
    bundle(applications(), "Beta", "com.acme.same", 5 * MB);
    bundle(applications(), "Gamma", "com.acme.gamma", 5 * MB);
    leftover("Application Support/Editor", 1 * MB);
    leftover("Caches/com.acme.same", 1 * MB);
    leftover("Caches/com.acme.gamma", 1 * MB);

    const QList<InstalledApp> apps = scan();
    ASSERT_EQ(apps.size(), 5);
    EXPECT_EQ(apps[0].path, applications() + "/Editor.app") << "equal totals keep the listing order";
    EXPECT_EQ(apps[1].path, userApplications() + "/Editor.app");
    for (const InstalledApp& app : apps) {
        EXPECT_EQ(app.leftovers.isEmpty(), app.name != "Gamma") << app.name.toStdString();
    }
}

TEST_F(AppUninstaller, HostileBundlesAreListedWithoutWhatTheyCannotProve) {
    bundle(applications(), "Good", "com.acme.good", 1 * MB);
    QByteArray huge = infoPlist({{"CFBundleIdentifier", "com.acme.huge"}});
    huge.insert(huge.indexOf("<dict>"), QByteArray(PropertyList::kMaxBytes, ' '));
    writeBundleWithInfo(applications(), "Huge", huge);
    const QByteArray binary = infoPlist({{"CFBundleIdentifier", "com.acme.cut"}}, PlistFormat::binary);
    writeBundleWithInfo(applications(), "Cut", binary.left(binary.size() - 7));
    QByteArray deep = "<plist><dict><key>CFBundleIdentifier</key><string>com.acme.deep</string><key>x</key>";
    for (int i = 0; i < 50000; ++i) deep += "<array>";
    writeBundleWithInfo(applications(), "Deep", deep);
    writeBundleWithInfo(applications(), "Typed",
                        "<plist><dict><key>CFBundleIdentifier</key><integer>7</integer></dict></plist>");
    bundle(applications(), "Escape", "../../Documents/secret", 1 * MB);
    writeFile(home("Documents/secret.plist"), "keep me");
    makeDir(applications() + "/Pipe.app/Contents");
    ASSERT_EQ(::mkfifo((applications() + "/Pipe.app/Contents/Info.plist").toUtf8().constData(), 0600), 0);
    makeDir(applications() + "/Linked.app");
    makeLink(applications() + "/Good.app/Contents", applications() + "/Linked.app/Contents");

    const QList<InstalledApp> apps = scan();
    EXPECT_EQ(apps.size(), 8);
    for (const InstalledApp& app : apps) {
        SCOPED_TRACE(app.name.toStdString());
        EXPECT_EQ(app.bundleId.has_value(), app.name == "Good");
        EXPECT_TRUE(app.leftovers.isEmpty());
    }
}

TEST_F(AppUninstaller, ListsFlatpakAppsAndAppImagesWithTheDataTheyLeft) {
    const QString userApps = home(".local/share/flatpak/app");
    const QString systemApps = root("/var/lib/flatpak/app");
    writeFlatpakApp(userApps, "org.example.Paint", "Paint Box", "3.1", 40 * MB);
    writeFlatpakApp(systemApps, "org.example.Viewer", "Viewer", "1.0", 30 * MB);
    writeFlatpakApp(userApps, "org.example.Twice", "Twice", "1.0", 1 * MB);
    writeFlatpakApp(systemApps, "org.example.Twice", "Twice", "1.0", 1 * MB);
    const QString krita = writeAppImage(home("Applications/krita-5.2.2-x86_64.AppImage"), 50 * MB);
    const QString entry = writeDesktopEntry(home(".local/share/applications"), "krita.desktop", "Krita", krita);
    writeAppImage(home("AppImages/Pulse-1.0.AppImage"), 20 * MB);
    writeAppImage(home("Downloads/GIMP-2.10.AppImage"), 10 * MB);
    writeAppImage(home("Downloads/Tarnwick-1.0.AppImage"), 10 * MB);
    writeDesktopEntry(root("/usr/share/applications"), "org.gimp.GIMP.desktop", "GNU Image Manipulation Program",
                      "/usr/bin/gimp");

    const QString data = home(".var/app/");
    writeSparse(data + "org.example.Paint/config/settings", 3 * MB);
    writeSparse(data + "org.example.Viewer/data/db", 2 * MB);
    writeSparse(data + "org.example.Twice/data/db", 2 * MB);
    writeSparse(home(".config/org.example.Paint.conf"), 1 * MB);
    writeSparse(home(".config/krita/kritarc"), 4 * MB);
    writeSparse(home(".cache/krita/thumbs"), 5 * MB);
    writeSparse(home(".local/state/kritastate"), 1 * MB);
    writeSparse(home(".config/pulse/cookie"), 1 * MB);           // the desktop's sound server: shared
    writeSparse(home(".config/pulse-presets/a"), 1 * MB);
    writeSparse(home(".config/GIMP/2.10/gimprc"), 1 * MB);        // the system's GIMP claims it too
    writeSparse(home(".local/share/flatpak/repo/objects/x"), 1 * MB);
    makeLink(home("Documents"), data + "org.example.Elsewhere");

    const QList<InstalledApp> apps = scan();
    QStringList seen;
    for (const InstalledApp& app : apps) {
        QStringList leftovers;
        for (const InstalledApp::Leftover& l : app.leftovers) leftovers.append(l.path.mid(env.home().size() + 1));
        seen.append(app.name + " | " + QString::number(int(app.kind)) + " | " + leftovers.join(", "));
    }
    EXPECT_EQ(seen.join('\n').toStdString(), QStringList({
                        "Krita | 1 | .cache/krita, .config/krita, .local/state/kritastate",
                        "Paint Box | 2 | .var/app/org.example.Paint, .config/org.example.Paint.conf",
                        "Viewer | 3 | .var/app/org.example.Viewer",
                        "Pulse | 1 | .config/pulse-presets",
                        "GIMP | 1 | ",
                        "Twice | 2 | ",
                        "Twice | 3 | ",
                    }).join('\n').toStdString());
    const InstalledApp& first = apps[0];
    EXPECT_EQ(first.path, krita);
    EXPECT_GE(first.size, 50 * MB) << "the blocks of the AppImage file itself";
    EXPECT_LT(first.size, 50 * MB + MB);
    EXPECT_EQ(first.desktopEntries, QStringList{entry});
    EXPECT_EQ(apps[1].path, userApps + "/org.example.Paint");
    EXPECT_EQ(apps[1].bundleId, QStringLiteral("org.example.Paint"));
    EXPECT_GE(apps[1].size, 40 * MB);
    EXPECT_LT(apps[1].size, 40 * MB + MB);
}

TEST_F(AppUninstaller, ABaseFolderSetToTheHomeFolderOrAboveOffersNothing) {
    writeAppImage(home("Applications/Documents-1.0.AppImage"), 1 * MB);
    writeSparse(home("Documents/letter.odt"), 1 * MB);
    writeSparse(home("Downloads/documents-archive/a"), 1 * MB);
    for (const QString& value : {env.home(), QStringLiteral("/"), env.home() + "/"}) {
        env.environment().variables.insert("XDG_CONFIG_HOME", value);
        env.environment().variables.insert("XDG_DATA_HOME", value);
        env.apply();
        const QList<InstalledApp> apps = scan();
        ASSERT_EQ(apps.size(), 1);
        EXPECT_TRUE(apps[0].leftovers.isEmpty()) << value.toStdString();
    }
}

}  // namespace
}  // namespace tarnwick::test
