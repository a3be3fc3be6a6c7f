#include "state/AppState.h"

#include "StateTestSupport.h"
#include "TestSupport.h"
#include "services/cleanup/FlatpakTool.h"
#include "services/cleanup/LinuxAppsTestSupport.h"

#include <QFileInfo>
#include <gtest/gtest.h>

#include <cerrno>

namespace tarnwick {
namespace {

constexpr qint64 MB = 1000 * 1000;

InstalledApp::Leftover leftover(const QString& path, qint64 size) {
    InstalledApp::Leftover item;
    item.path = path;
    item.size = size;
    return item;
}

// The apps and updates actions of AppState over finders the test holds, and
// a real Safe Bin in the temporary support folder.
class AppStateAppsTest : public ::testing::Test {
protected:
    AppStateAppsTest() {
        ModuleServices modules = test::quietModules();
        modules.appsScan = appFinders.finder();
        modules.updatesScan = updateFinders.finder();
        state = test::startedState(modules);
    }

    // An application bundle on disk with leftover folders in the Library.
    InstalledApp installed(const QString& name, qint64 size, const QList<qint64>& leftovers, bool ticked) {
        InstalledApp app;
        app.name = name;
        app.path = test::writeFile(env.root() + "/Applications/" + name + ".app/Contents/Info.plist", "x")
                       .section('/', 0, -3);
        app.size = size;
        for (int i = 0; i < leftovers.size(); ++i) {
            const QString path = env.home() + QStringLiteral("/Library/Caches/%1 %2").arg(name).arg(i);
            test::writeFile(path + "/data", "cache");
            app.leftovers.append(leftover(path, leftovers[i]));
        }
        app.isSelected = ticked;
        return app;
    }
    void flatpak(const QByteArray& body) { fakeFlatpak.install(body); }
    QStringList flatpakCalls() const { return fakeFlatpak.calls(); }
    // A Flatpak app's folder in an installation and its data folder as a leftover.
    InstalledApp flatpakApp(const QString& id, const QString& name, InstalledApp::Kind kind) {
        InstalledApp app;
        app.name = name;
        app.kind = kind;
        app.bundleId = id;
        app.path = test::writeFile(env.home() + "/.local/share/flatpak/app/" + id + "/current/active/metadata", "m")
                       .section('/', 0, -4);
        app.size = 40 * MB;
        const QString data = test::writeFile(env.home() + "/.var/app/" + id + "/config/settings", "s").section('/', 0, -3);
        app.leftovers.append(leftover(data, 2 * MB));
        app.isSelected = true;
        return app;
    }
    QStringList listed() const {
        QStringList names;
        for (const InstalledApp& app : state->installedApps()) names.append(app.name);
        return names;
    }

    test::FakeEnvironment env;
    test::FakeFlatpak fakeFlatpak{env};
    test::HeldFinders<InstalledApp> appFinders{{QStringLiteral("Listing applications\u2026"),
                                                QStringLiteral("Inspecting Editor\u2026")}};
    test::HeldFinders<AppUpdateItem> updateFinders{{QStringLiteral("Checking Homebrew\u2026")}};
    std::unique_ptr<AppState> state;
};

// Update candidates are published whole, without a final label.
TEST_F(AppStateAppsTest, TheScansPublishTheirListsWithTheirOwnLabels) {
    state->runAppsScan();
    auto apps = appFinders.waitFor(0);
    ASSERT_TRUE(apps);
    ASSERT_TRUE(test::waitUntil([&] { return state->appsStatusText() == "Inspecting Editor\u2026"; }));
    QList<InstalledApp> many;
    for (int i = 0; i < 100; ++i) many.append(installed(QStringLiteral("App%1").arg(i), 1000 + i, {}, false));
    apps->release(many);
    ASSERT_TRUE(test::waitUntil([&] { return !state->isAppsScanning(); }));
    EXPECT_EQ(state->installedApps().size(), 80) << "the apps budget";
    EXPECT_EQ(state->installedApps().front().name, "App99");
    EXPECT_EQ(state->appsProgressLabel(), "Done");

    state->runUpdatesScan();
    auto updates = updateFinders.waitFor(0);
    ASSERT_TRUE(updates);
    updates->release(QList<AppUpdateItem>(100));
    ASSERT_TRUE(test::waitUntil([&] { return !state->isUpdatesScanning(); }));
    EXPECT_EQ(state->appUpdates().size(), 100);
    EXPECT_EQ(state->updatesProgressLabel(), "Checking Homebrew\u2026");
}

TEST_F(AppStateAppsTest, UninstallMovesEachTickedBundleWithItsLeftovers) {
    const InstalledApp editor = installed("Editor", 100 * MB, {5 * MB, 1 * MB}, true);
    const InstalledApp viewer = installed("Viewer", 50 * MB, {7 * MB}, false);
    AppStateTesting::setInstalledApps(*state, {editor, viewer});
    state->uninstallSelectedApps();
    ASSERT_TRUE(test::safeBinSettled(*state));

    EXPECT_EQ(listed(), QStringList{"Viewer"});
    EXPECT_EQ(test::safeBinNames(*state), QStringList{"Editor.app"}) << "one Safe Bin item per app";
    EXPECT_FALSE(QFileInfo::exists(editor.path));
    EXPECT_TRUE(QFileInfo::exists(viewer.path));
    EXPECT_TRUE(QFileInfo::exists(viewer.leftovers[0].path));
    ASSERT_EQ(state->activityEvents().size(), 1);
    const ActivityEvent& event = state->activityEvents()[0];
    EXPECT_EQ(event.kind, "Apps");
    EXPECT_EQ(event.bytesFreed, test::safeBinBytes(*state)) << "what reached the Safe Bin";
    EXPECT_EQ(event.itemsAffected, 3) << "the bundle and its two leftovers";
    EXPECT_FALSE(state->errorMessage());

    state->uninstallSelectedApps();
    EXPECT_FALSE(state->hasSafeBinWork()) << "nothing ticked: nothing to do";

    // A bundle that cannot move keeps its row, its tick, and says why.
    state->toggleInstalledApp(viewer.id);
    test::FileFault fault([&](std::string_view operation, const QString& path) {
        return operation == "move" && path == viewer.path ? EACCES : 0;
    });
    state->uninstallSelectedApps();
    ASSERT_TRUE(test::safeBinSettled(*state));
    EXPECT_EQ(listed(), QStringList{"Viewer"});
    EXPECT_TRUE(state->installedApps()[0].isSelected);
    ASSERT_TRUE(state->errorMessage());
    EXPECT_TRUE(state->errorMessage()->contains("Viewer.app")) << state->errorMessage()->toStdString();
    EXPECT_EQ(state->activityEvents().size(), 1);
}

TEST_F(AppStateAppsTest, AnAppImageGoesWithItsEntriesAndAFlatpakAppThroughFlatpakAfterItsData) {
    InstalledApp image;
    image.name = "Krita";
    image.kind = InstalledApp::Kind::appImage;
    image.path = test::writeFile(env.home() + "/Applications/krita-5.2.AppImage", "elf");
    image.size = 50 * MB;
    image.desktopEntries = {test::writeFile(env.home() + "/.local/share/applications/krita.desktop", "[Desktop Entry]")};
    image.leftovers = {leftover(test::writeFile(env.home() + "/.config/krita/kritarc", "k").section('/', 0, -2), MB)};
    image.isSelected = true;
    const InstalledApp paint = flatpakApp("org.example.Paint", "Paint", InstalledApp::Kind::flatpak);
    const InstalledApp viewer = flatpakApp("org.example.Viewer", "Viewer", InstalledApp::Kind::systemFlatpak);
    // The data must already be in the Safe Bin when flatpak runs.
    flatpak("[ -e '" + paint.leftovers[0].path.toUtf8() + "' ] && { echo 'data still there' >&2; exit 1; }\nexit 0\n");
    AppStateTesting::setInstalledApps(*state, {image, paint, viewer});
    state->uninstallSelectedApps();
    ASSERT_TRUE(test::safeBinSettled(*state));

    EXPECT_EQ(listed(), QStringList{"Viewer"});
    EXPECT_EQ(test::safeBinNames(*state), (QStringList{"krita-5.2.AppImage", "org.example.Paint"}))
        << "an app with what goes with it is one Safe Bin item";
    EXPECT_TRUE(QFileInfo::exists(paint.path)) << "flatpak removes the app itself; here a stand-in did nothing";
    EXPECT_TRUE(QFileInfo::exists(viewer.leftovers[0].path)) << "a refused app moves nothing";
    EXPECT_EQ(flatpakCalls(), QStringList{"uninstall --user --noninteractive org.example.Paint"});
    ASSERT_TRUE(state->errorMessage());
    EXPECT_EQ(*state->errorMessage(), QStringLiteral("\u201CViewer\u201D belongs to a system installation of Flatpak: "
                                                     "removing it needs administrator rights, which Tarnwick never "
                                                     "asks for."));
    ASSERT_EQ(state->activityEvents().size(), 1);
    EXPECT_EQ(state->activityEvents()[0].itemsAffected, 5) << "AppImage, entry, leftover; Flatpak app and its data";
}

// An uninstall that cannot go through leaves the app as it was: nothing
// moves while flatpak is missing or cannot run, its data comes back when
// flatpak fails, and the log holds only the app that went.
TEST_F(AppStateAppsTest, AFlatpakUninstallThatCannotGoThroughLeavesTheAppAsItWas) {
    const InstalledApp paint = flatpakApp("org.example.Paint", "Paint", InstalledApp::Kind::flatpak);
    const QString data = paint.leftovers[0].path;
    const auto expectAsItWas = [&](const QString& why) {
        EXPECT_EQ(listed(), QStringList{"Paint"});
        EXPECT_TRUE(state->installedApps()[0].isSelected);
        EXPECT_TRUE(QFileInfo::exists(data + "/config/settings")) << "the app keeps its data";
        EXPECT_EQ(test::safeBinNames(*state), QStringList{"Editor.app"}) << "nothing of Paint is held";
        ASSERT_TRUE(state->errorMessage());
        EXPECT_TRUE(state->errorMessage()->startsWith("Could not uninstall \u201CPaint\u201D: " + why))
            << state->errorMessage()->toStdString();
        state->clearErrorMessage();
    };

    // No flatpak at all, beside an app that goes.
    env.noTool(FlatpakTool::kUsualPath);
    const InstalledApp editor = installed("Editor", 100 * MB, {5 * MB}, true);
    AppStateTesting::setInstalledApps(*state, {paint, editor});
    state->uninstallSelectedApps();
    ASSERT_TRUE(test::safeBinSettled(*state));
    EXPECT_FALSE(QFileInfo::exists(editor.path));
    expectAsItWas("flatpak is not installed on this computer.");
    ASSERT_EQ(state->activityEvents().size(), 1);
    EXPECT_EQ(state->activityEvents()[0].summary, "Uninstalled 1 apps") << "only the app that went";
    EXPECT_EQ(state->activityEvents()[0].itemsAffected, 2) << "Editor and its leftover";

    // A flatpak that cannot be run.
    const QString tool = env.tool(FlatpakTool::kUsualPath, "exit 0\n");
    ASSERT_TRUE(QFile::setPermissions(tool, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    state->uninstallSelectedApps();
    ASSERT_TRUE(test::safeBinSettled(*state));
    expectAsItWas("flatpak could not be started.");

    // flatpak refuses: the data it had moved comes back.
    flatpak("[ -e '" + data.toUtf8() + "' ] && exit 3\necho 'error: org.example.Paint is running' >&2\nexit 1\n");
    state->uninstallSelectedApps();
    ASSERT_TRUE(test::safeBinSettled(*state));
    EXPECT_EQ(flatpakCalls(), QStringList{"uninstall --user --noninteractive org.example.Paint"});
    const QString said = *state->errorMessage();
    expectAsItWas("error: org.example.Paint is running");
    EXPECT_TRUE(said.contains("Put back from the Safe Bin: \u201C~/.var/app/org.example.Paint\u201D."))
        << said.toStdString();
    EXPECT_EQ(state->activityEvents().size(), 1) << "nothing more was uninstalled";
}

TEST_F(AppStateAppsTest, OpeningAUserFlatpakCandidateRunsItsUpdate) {
    AppUpdateItem editor;
    editor.name = "Editor";
    editor.path = env.home() + "/.local/share/flatpak/app/org.example.Editor";
    editor.userFlatpakId = "org.example.Editor";
    AppUpdateItem viewer = editor;
    viewer.id = QUuid::createUuid();
    viewer.name = "Viewer";
    viewer.userFlatpakId = "org.example.Viewer";
    AppStateTesting::setAppUpdates(*state, {editor, viewer});
    flatpak("case \"$*\" in *Viewer*) echo 'error: no network' >&2; exit 1 ;; esac\n");

    state->openUpdateCandidate(editor);
    EXPECT_TRUE(state->appUpdates()[0].isUpdating);
    state->openUpdateCandidate(editor);  // already running: not again
    ASSERT_TRUE(test::waitUntil([&] { return state->appUpdates().size() == 1; }));
    ASSERT_TRUE(test::safeBinSettled(*state));
    EXPECT_EQ(flatpakCalls(), QStringList{"update --user --noninteractive org.example.Editor"});
    ASSERT_EQ(state->activityEvents().size(), 1);

    state->openUpdateCandidate(viewer);
    ASSERT_TRUE(test::waitUntil([&] { return state->errorMessage().has_value(); }));
    EXPECT_EQ(*state->errorMessage(), QStringLiteral("Could not update \u201CViewer\u201D: error: no network"));
    ASSERT_EQ(state->appUpdates().size(), 1);
    EXPECT_FALSE(state->appUpdates()[0].isUpdating) << "it may be tried again";
}

// The leftovers go together or not at all, and the app stays in place.
TEST_F(AppStateAppsTest, ResetMovesOnlyTheLeftoversAndKeepsTheAppInPlace) {
    const InstalledApp first = installed("First", 10 * MB, {}, false);
    const InstalledApp editor = installed("Editor", 100 * MB, {5 * MB, 1 * MB}, true);
    AppStateTesting::setInstalledApps(*state, {first, editor});
    state->resetApp(first);
    EXPECT_FALSE(state->hasSafeBinWork()) << "no leftovers: nothing to move";
    {
        test::FileFault fault([&](std::string_view operation, const QString& path) {
            return operation == "move" && path == editor.leftovers[1].path ? EACCES : 0;
        });
        state->resetApp(editor);
        ASSERT_TRUE(test::safeBinSettled(*state));
    }
    ASSERT_EQ(state->installedApps()[1].leftovers.size(), 2);
    EXPECT_TRUE(QFileInfo::exists(editor.leftovers[0].path));
    EXPECT_TRUE(state->errorMessage());
    EXPECT_TRUE(state->activityEvents().isEmpty());
    state->clearErrorMessage();

    state->resetApp(editor);
    ASSERT_TRUE(test::safeBinSettled(*state));
    EXPECT_EQ(listed(), (QStringList{"First", "Editor"}));
    const InstalledApp& kept = state->installedApps()[1];
    EXPECT_TRUE(kept.leftovers.isEmpty());
    EXPECT_TRUE(kept.isSelected);
    EXPECT_TRUE(QFileInfo::exists(editor.path)) << "the application stays";
    EXPECT_EQ(state->appsSelectedBytes(), 100 * MB);
    EXPECT_EQ(test::safeBinNames(*state), QStringList{"Editor 0"}) << "the leftovers are one item";
    ASSERT_EQ(state->activityEvents().size(), 1);
    EXPECT_EQ(state->activityEvents()[0].bytesFreed, 6 * MB);
    EXPECT_EQ(state->activityEvents()[0].itemsAffected, 2);
}


}  // namespace
}  // namespace tarnwick
