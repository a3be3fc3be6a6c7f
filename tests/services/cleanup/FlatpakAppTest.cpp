#include "services/cleanup/FlatpakApp.h"
#include "services/cleanup/FlatpakTool.h"
#include "support/ReverseDnsName.h"

#include "LinuxAppsTestSupport.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

namespace tarnwick::test {
namespace {

using namespace std::chrono_literals;

TEST(ReverseDnsName, OnlyPlainNamesPass) {
    for (const char* good : {"org.gnome.Maps", "com.example.My_App-2", "io.x.y"}) {
        EXPECT_TRUE(ReverseDnsName::isValid(QString::fromUtf8(good))) << good;
    }
    for (const char* bad : {"", "org.gnome", "..", "org..x.y", ".org.x.y", "org.x.y.", "org.x/../y", "/etc/passwd",
                            "org.x.2y", "org.x.y z", "org.x.\xc3\xa9t\xc3\xa9", "org.x.y\n"}) {
        EXPECT_FALSE(ReverseDnsName::isValid(QString::fromUtf8(bad))) << bad;
    }
    EXPECT_FALSE(ReverseDnsName::isValid("org.x." + QString(300, 'a')));
}

class FlatpakTest : public ::testing::Test {
protected:
    QString userApps() const { return env.home() + "/.local/share/flatpak/app"; }
    QString systemApps() const { return env.root() + "/var/lib/flatpak/app"; }
    Locations locations() const { return Locations(Environment::current()); }
    void fakeFlatpak(const QByteArray& body) { flatpak.install(body); }
    QStringList calls() const { return flatpak.calls(); }
    FakeEnvironment env;
    FakeFlatpak flatpak{env};
};

TEST_F(FlatpakTest, InstalledAppsComeFromTheirDeployedFilesAndHostileOnesAreLeftOut) {
    writeFlatpakApp(userApps(), "org.example.Editor", "Editor", "2.4.1", 5000);
    writeFlatpakApp(userApps(), "org.example.Bare", "", "", 100);
    writeFlatpakApp(userApps(), "org.example.Liar", "Liar", "1", 100, "org.other.App");   // metadata names another id
    writeFlatpakApp(userApps(), "not-an-id", "Bad", "1", 100);
    writeFlatpakApp(userApps(), "org.example.Binary", "Binary", "1", 100);
    writeFile(userApps() + "/org.example.Binary/x86_64/stable/0a1b2c/metadata", "\xff\xfe[Application]\n");
    writeFile(userApps() + "/org.example.Huge/current/active/metadata",
              QByteArray(100000, '#') + "\n[Application]\nname=org.example.Huge\n");
    writeFile(userApps() + "/org.example.Named/current/active/metadata", "[Application]\nname=org.example.Named\n");
    writeFile(userApps() + "/org.example.Named/current/active/export/share/applications/org.example.Named.desktop",
              "[Desktop Entry]\nName=" + QByteArray(5000, 'n') + "\n");
    writeFlatpakApp(systemApps(), "org.example.Editor", "Editor", "2.0", 100);
    writeFile(env.root() + "/etc/flatpak/installations.d/extra.conf",
              "[Installation \"extra\"]\nPath=/mnt/flatpak\nDisplayName=Extra\n");
    writeFlatpakApp(env.root() + "/mnt/flatpak/app", "org.example.Extra", "Extra", "", 100);

    const QList<FlatpakApp> apps = FlatpakApp::installed(locations());
    QStringList seen;
    for (const FlatpakApp& app : apps) {
        seen.append(app.id + " | " + app.name + " | " + app.version + (app.isSystem ? " | system" : ""));
    }
    EXPECT_EQ(seen, (QStringList{"org.example.Bare | Bare | ?", "org.example.Editor | Editor | 2.4.1",
                                 "org.example.Named | Named | ?", "org.example.Editor | Editor | 2.0 | system",
                                 "org.example.Extra | Extra | ? | system"}))
        << "metadata past the cap, not UTF-8 or naming another id, and names that are no ids, count for nothing";
    EXPECT_EQ(apps[1].path, userApps() + "/org.example.Editor");

    const auto ids = FlatpakApp::installedIds(locations());
    ASSERT_TRUE(ids);
    EXPECT_TRUE(ids->contains("org.example.Huge")) << "a folder of the id is enough to count as installed";
    ::chmod(QFile::encodeName(systemApps()).constData(), 0);
    if (::geteuid() != 0) EXPECT_FALSE(FlatpakApp::installedIds(locations())) << "unreadable: unknown";
    ::chmod(QFile::encodeName(systemApps()).constData(), 0755);
}

TEST_F(FlatpakTest, TheToolsAnswersAreCheckedAndAMissingOrHangingToolGivesNothing) {
    EXPECT_TRUE(FlatpakTool::updates(false, 5s).isEmpty()) << "no flatpak here";
    EXPECT_EQ(FlatpakTool::uninstall("org.example.Editor", "Editor", 5s),
              QStringLiteral("Could not uninstall \u201CEditor\u201D: flatpak is not installed on this computer."));

    fakeFlatpak("printf 'org.example.Editor\\t2.5\\n../../etc\\t1\\nnot an id\\norg.example.Quiet\\t\\n'\n");
    const QList<FlatpakTool::Update> updates = FlatpakTool::updates(true, 5s);
    ASSERT_EQ(updates.size(), 2);
    EXPECT_EQ(updates[0].id, "org.example.Editor");
    EXPECT_EQ(updates[0].version, "2.5");
    EXPECT_EQ(updates[1].version, "");
    EXPECT_EQ(calls().last(), "remote-ls --system --updates --app --columns=application,version");

    EXPECT_EQ(FlatpakTool::uninstall("org.example.Editor", "Editor", 5s), std::nullopt);
    EXPECT_EQ(calls().last(), "uninstall --user --noninteractive org.example.Editor");
    EXPECT_EQ(FlatpakTool::uninstall("--system", "Evil", 5s),
              QStringLiteral("Could not uninstall \u201CEvil\u201D: it has no usable Flatpak id."));
    EXPECT_EQ(calls().size(), 2) << "a bad id never reaches the tool";

    fakeFlatpak("echo 'error: app is running' >&2\nexit 1\n");
    EXPECT_EQ(FlatpakTool::update("org.example.Editor", "Editor", 5s),
              QStringLiteral("Could not update \u201CEditor\u201D: error: app is running"));
    fakeFlatpak("printf 'org.example.Editor\\t1\\n'\nexit 3\n");
    EXPECT_TRUE(FlatpakTool::updates(false, 5s).isEmpty()) << "a failed run's output does not count";
    fakeFlatpak("printf 'org.example.\\351\\n'\n");
    EXPECT_TRUE(FlatpakTool::updates(false, 5s).isEmpty()) << "output that is not UTF-8";

    fakeFlatpak("sleep 30\n");
    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(FlatpakTool::updates(false, 1s).isEmpty());
    EXPECT_TRUE(FlatpakTool::uninstall("org.example.Editor", "Editor", 1s)->contains("did not finish"));
    std::stop_source replaced;
    replaced.request_stop();
    EXPECT_TRUE(FlatpakTool::updates(false, 60s, replaced.get_token()).isEmpty());
    EXPECT_LT(timer.elapsed(), 20000) << "the hung tool was killed";
}

}  // namespace
}  // namespace tarnwick::test
