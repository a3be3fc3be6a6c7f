#include "services/cleanup/AppUpdaterService.h"

#include "BundleTestSupport.h"
#include "FileTreeSupport.h"
#include "JunkTestSupport.h"
#include "LinuxAppsTestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <thread>

namespace tarnwick::test {
namespace {

using namespace std::chrono_literals;

const QString kBrew = QStringLiteral("/opt/homebrew/bin/brew");
const QString kOtherBrew = QStringLiteral("/usr/local/bin/brew");

class AppUpdater : public JunkTest {
protected:
    QString applications() const { return root(QStringLiteral("/Applications")); }
    QString downloads() const { return home(QStringLiteral("Downloads")); }

    // A bundle whose own modification time is `base`.
    QString app(const QString& name, const InfoKeys& keys = {}) {
        const QString path = writeBundle(applications(), name, keys);
        setModified(path, base);
        return path;
    }
    // A file in Downloads modified `seconds` after base.
    QString installer(const QString& name, qint64 seconds) {
        const QString path = writeFile(downloads() + QLatin1Char('/') + name, "installer");
        setModified(path, base.addSecs(seconds));
        return path;
    }
    // A stand-in for brew at its usual path under the fake root.
    QString brew(const QByteArray& body, const QString& usualPath = kBrew) { return writeScript(root(usualPath), body); }
    void flatpak(const QByteArray& body) { fakeFlatpak.install(body); }
    static QStringList describe(const QList<AppUpdateItem>& items) {
        QStringList lines;
        for (const AppUpdateItem& item : items) lines.append(item.name + " | " + item.installedVersion + " | " + item.reason);
        return lines;
    }

    const QDateTime base = QDateTime::currentDateTimeUtc().addDays(-3);
    FakeFlatpak fakeFlatpak{env};
};

TEST_F(AppUpdater, InstallersInDownloadsMatchByNameAndModificationTime) {
    app("Visual Studio Code", {{"CFBundleShortVersionString", "1.89"}, {"CFBundleVersion", "1089"}});
    app("Telegram Desktop", {{"CFBundleVersion", "4.0"}});
    app("Telescope");
    app("Alpha", {{"CFBundleShortVersionString", "1"}});
    app("Omega", {{"CFBundleShortVersionString", "2"}});
    installer("Visual Studio Code 1.90.dmg", 61);
    installer("Telegram.dmg", 61);
    installer("Tele.PKG", 3600);
    installer("Alpha.zip", 60);
    const QString omega = installer("Omega.zip", 61);
    installer("Omega notes.txt", 3600);
    installer(".Omega.dmg", 3600);

    const QList<AppUpdateItem> found = AppUpdaterService::scan({});
    EXPECT_EQ(describe(found), (QStringList{
                                   "Omega | 2 | Newer installer in Downloads (Omega.zip)",
                                   "Telegram Desktop | 4.0 | Newer installer in Downloads (Tele.PKG)",
                                   "Telescope | ? | Newer installer in Downloads (Tele.PKG)",
                                   "Visual Studio Code | 1.89 | Newer installer in Downloads (Visual Studio Code 1.90.dmg)",
                               }))
        << "one finding per application, the first installer's; 60 seconds newer is not newer";
    ASSERT_EQ(found.size(), 4);
    EXPECT_EQ(found[0].installerPath, omega);
    EXPECT_EQ(found[0].path, applications() + "/Omega.app");
    EXPECT_FALSE(found[0].isSelected);
}

TEST_F(AppUpdater, UpdateFeedsComeAfterInstallersAndNameTheirHost) {
    app("Feedy", {{"SUFeedURL", "https://updates.example.com/appcast.xml"}});
    app("Relative", {{"SUFeedURL", "/appcast.xml"}});
    app("Blank", {{"SUFeedURL", ""}, {"SUFeedUrl", "https://blank.example.com/a.xml"}});
    app("Lower", {{"SUFeedUrl", "https://lower.example.org/a.xml"}});
    app("Both", {{"SUFeedURL", "https://both.example.com/a.xml"}});
    const QString typed = writeBundleWithInfo(
        applications(), "Typed",
        "<plist><dict><key>SUFeedURL</key><integer>1</integer>"
        "<key>SUFeedUrl</key><string>https://typed.example.net/x</string></dict></plist>");
    setModified(typed, base);
    installer("Both.dmg", 120);

    EXPECT_EQ(describe(AppUpdaterService::scan({})),
              (QStringList{
                  "Both | ? | Newer installer in Downloads (Both.dmg)",
                  "Feedy | ? | Supports Sparkle updates \u2014 open app to check (updates.example.com)",
                  "Lower | ? | Supports Sparkle updates \u2014 open app to check (lower.example.org)",
                  "Relative | ? | Supports Sparkle updates \u2014 open app to check (feed)",
                  "Typed | ? | Supports Sparkle updates \u2014 open app to check (typed.example.net)",
              }));
}

TEST_F(AppUpdater, HomebrewCasksComeFromTheToolsFirstFortyLines) {
    QByteArray body =
        "[ \"$*\" = 'outdated --cask --quiet' ] || echo bad-arguments\n"
        "[ \"$HOMEBREW_NO_AUTO_UPDATE\" = 1 ] || echo self-update-on\n"
        "if read line; then echo stdin-open; fi\n"
        "head -c 3000000 /dev/zero >&2\n"
        "printf '\\n  \\t\\n'\n"
        "echo '  spaced-cask\t'\n";
    for (int i = 1; i <= 45; ++i) body += "echo cask" + QByteArray::number(i).rightJustified(2, '0') + "\n";
    brew(body);

    const QList<AppUpdateItem> casks = AppUpdaterService::brewOutdated(20s);
    ASSERT_EQ(casks.size(), 40);
    EXPECT_EQ(casks[0].name, "spaced-cask");
    EXPECT_EQ(casks[0].path, applications() + "/spaced-cask.app");
    EXPECT_EQ(casks[0].installedVersion, "brew cask");
    EXPECT_EQ(casks[0].reason,
              QStringLiteral("Homebrew reports this cask as outdated \u2014 run: brew upgrade --cask spaced-cask"));
    EXPECT_EQ(casks[0].installerPath, std::nullopt);
    EXPECT_EQ(casks[39].name, "cask39");
}

TEST_F(AppUpdater, CasksJoinTheOtherSourcesByExactPathAndSortByName) {
    app("Editor");
    app("Visual Studio Code");
    installer("Editor.dmg", 61);
    installer("Visual Studio Code.dmg", 61);
    brew("printf 'vscode\\nEditor\\nalpha\\nZulu\\n'\n");
    EXPECT_EQ(describe(AppUpdaterService::scan({})),
              (QStringList{
                  "alpha | brew cask | Homebrew reports this cask as outdated \u2014 run: brew upgrade --cask alpha",
                  "Editor | ? | Newer installer in Downloads (Editor.dmg)",
                  "Visual Studio Code | ? | Newer installer in Downloads (Visual Studio Code.dmg)",
                  "vscode | brew cask | Homebrew reports this cask as outdated \u2014 run: brew upgrade --cask vscode",
                  "Zulu | brew cask | Homebrew reports this cask as outdated \u2014 run: brew upgrade --cask Zulu",
              }));
}

TEST_F(AppUpdater, NewerAppImagesInDownloadsAndFlatpakUpdatesAreCandidates) {
    const QString krita = writeAppImage(home("Applications/Krita-5.1.0-x86_64.AppImage"), 100);
    writeDesktopEntry(home(".local/share/applications"), "krita.desktop", "Krita Studio", krita);
    writeAppImage(home("Downloads/Krita-5.0-x86_64.AppImage"), 100);
    const QString newest = writeAppImage(home("Downloads/krita-5.2.2-x86_64.AppImage"), 100);
    writeAppImage(home("Downloads/krita-5.2.1-x86_64.AppImage"), 100);
    writeAppImage(home(".local/bin/Other-1.0.AppImage"), 100);
    writeAppImage(home("Downloads/Other-1.0.AppImage"), 100);                  // the same version
    writeAppImage(home(".local/bin/nvim"), 100);                              // no version to compare
    writeAppImage(home("Downloads/nvim-0.10.AppImage"), 100);
    writeFlatpakApp(home(".local/share/flatpak/app"), "org.example.Editor", "Editor", "2.4", 100);
    writeFlatpakApp(root("/var/lib/flatpak/app"), "org.example.Viewer", "Viewer", "1.0", 100);
    flatpak("case \"$*\" in\n"
            "*--user*) printf 'org.example.Editor\\t2.5\\norg.example.Gone\\t1\\n../x\\t1\\n' ;;\n"
            "*--system*) printf 'org.example.Viewer\\t\\norg.example.Editor\\t9\\n' ;;\n"
            "esac\n");

    const QList<AppUpdateItem> found = AppUpdaterService::scan({});
    EXPECT_EQ(describe(found).join('\n').toStdString(),
              QStringList({
                  "Editor | 2.4 | Flatpak update on its remote (2.5) \u2014 Update runs flatpak update",
                  "Krita | 5.0 | Newer AppImage in Downloads (krita-5.2.2-x86_64.AppImage)",
                  "krita | 5.2.1 | Newer AppImage in Downloads (krita-5.2.2-x86_64.AppImage)",
                  "Krita Studio | 5.1.0 | Newer AppImage in Downloads (krita-5.2.2-x86_64.AppImage)",
                  "Viewer | 1.0 | Flatpak update on its remote \u2014 run: flatpak update --system org.example.Viewer",
              }).join('\n').toStdString())
        << "only apps installed in the installation asked count";
    ASSERT_EQ(found.size(), 5);
    EXPECT_EQ(found[0].userFlatpakId, QStringLiteral("org.example.Editor"));
    EXPECT_EQ(found[0].path, home(".local/share/flatpak/app/org.example.Editor"));
    EXPECT_EQ(found[3].path, krita);
    EXPECT_EQ(found[3].installerPath, newest);
    EXPECT_EQ(found[4].userFlatpakId, std::nullopt);
    EXPECT_EQ(fakeFlatpak.calls(), (QStringList{"remote-ls --user --updates --app --columns=application,version",
                                           "remote-ls --system --updates --app --columns=application,version"}));
}

TEST_F(AppUpdater, HomebrewWhereItInstallsHereReportsFormulae) {
    const QString program = writeScript(home(".linuxbrew/bin/brew"),
                                        "[ \"$*\" = 'outdated --quiet' ] || echo bad-arguments\n"
                                        "printf 'node\\n../../etc\\nsub/dir\\n'\n");
    const QList<AppUpdateItem> found = AppUpdaterService::brewOutdated(20s);
    ASSERT_EQ(found.size(), 1) << "a formula's name is one path component";
    EXPECT_EQ(found[0].name, "node");
    EXPECT_EQ(found[0].path, home(".linuxbrew/opt/node"));
    EXPECT_EQ(found[0].installedVersion, "brew formula");
    EXPECT_EQ(found[0].reason, QStringLiteral("Homebrew reports this formula as outdated \u2014 run: brew upgrade node"));
    writeScript(root("/home/linuxbrew/.linuxbrew/bin/brew"), "echo shared\n");
    EXPECT_EQ(AppUpdaterService::brewOutdated(20s).value(0).path, root("/home/linuxbrew/.linuxbrew/opt/shared"))
        << "the installation for every user comes first";
}

TEST_F(AppUpdater, ABrewThatHangsCrashesOrIsMissingAddsNothing) {
    app("Omega");
    installer("Omega.zip", 61);
    EXPECT_TRUE(AppUpdaterService::brewOutdated(5s).isEmpty()) << "no brew at either path";

    brew("echo not-executable\n");
    QFile::setPermissions(root(kBrew), QFile::ReadOwner | QFile::WriteOwner);
    brew("echo from-usr-local\n", kOtherBrew);
    ASSERT_EQ(AppUpdaterService::brewOutdated(5s).size(), 1);
    EXPECT_EQ(AppUpdaterService::brewOutdated(5s)[0].name, "from-usr-local");

    brew("echo half; kill -SEGV $$\n");
    EXPECT_TRUE(AppUpdaterService::brewOutdated(5s).isEmpty()) << "a crashed run counts as no answer";
    brew("printf 'caf\\351\\n'\n");
    EXPECT_TRUE(AppUpdaterService::brewOutdated(5s).isEmpty()) << "output that is not UTF-8";

    brew("echo early\nsleep 30\n");
    writeFlatpakApp(home(".local/share/flatpak/app"), "org.example.Editor", "Editor", "2.4", 100);
    flatpak("sleep 30\n");
    QElapsedTimer timer;
    timer.start();
    const QList<AppUpdateItem> found = AppUpdaterService::scan({}, {}, 300ms);
    EXPECT_LT(timer.elapsed(), 20000) << "the hung brew and flatpak were killed";
    ASSERT_EQ(found.size(), 1) << "the other sources still count";
    EXPECT_EQ(found[0].name, "Omega");

    // A replaced scan does not wait for brew's timeout.
    std::stop_source replaced;
    std::thread stopper([&replaced] {
        std::this_thread::sleep_for(200ms);
        replaced.request_stop();
    });
    timer.restart();
    EXPECT_TRUE(AppUpdaterService::brewOutdated(60s, replaced.get_token()).isEmpty());
    stopper.join();
    EXPECT_LT(timer.elapsed(), 20000);
}

TEST_F(AppUpdater, OpenSaysWhenTheCandidateIsGone) {
    const QString log = env.path("opened.txt");
    env.tool("/usr/bin/xdg-open", "printf '%s\\n' \"$1\" >> '" + log.toUtf8() + "'\n");

    AppUpdateItem cask;
    cask.name = "gone";
    cask.path = applications() + "/gone.app";
    QStringList messages;
    AppUpdaterService::openInstaller(cask, [&](const QString& message) { messages.append(message); });
    ASSERT_EQ(messages.size(), 1) << "said at once, without asking the desktop";
    EXPECT_EQ(messages[0], QStringLiteral("Could not open \u201C") + applications() + "/gone.app\u201D: it is no longer there.");

    AppUpdateItem item;
    item.path = app("Omega");
    item.installerPath = installer("Omega.dmg", 61);
    EXPECT_EQ(AppUpdaterService::openTarget(item), *item.installerPath);
    AppUpdaterService::openInstaller(item, [&](const QString& message) { messages.append(message); });
    // The shell makes the log before it writes the line: wait for the whole line.
    auto opened = [&] {
        QFile file(log);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QElapsedTimer timer;
    timer.start();
    while (!opened().endsWith('\n') && timer.elapsed() < 10000) {
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    EXPECT_EQ(QString::fromUtf8(opened()).trimmed(), *item.installerPath);
    EXPECT_EQ(messages.size(), 1);

    // A newer AppImage is shown in its folder, never run.
    QStringList revealed;
    RevealService::setHandler([&](const QString& path) { revealed.append(path); });
    item.installerPath = writeAppImage(home("Downloads/Omega-2.0.AppImage"), 100);
    AppUpdaterService::openInstaller(item, [&](const QString& message) { messages.append(message); });
    RevealService::setHandler({});
    EXPECT_EQ(revealed, QStringList{*item.installerPath});
}

}  // namespace
}  // namespace tarnwick::test
