// An AppImage as a user meets it in the Apps section: found with the desktop
// entry that starts it and the settings it left, ticked, uninstalled into
// the Safe Bin from the screen, and put back from the Safe Bin's screen.

#include "app/MainWindow.h"
#include "app/TarnwickApp.h"
#include "design/TaldoButton.h"
#include "state/AppState.h"
#include "views/cleanup/AppsView.h"
#include "views/cleanup/InstalledAppRow.h"
#include "views/cleanup/SafeBinListView.h"
#include "views/cleanup/SafeBinView.h"
#include "views/common/PlainButton.h"
#include "views/shell/AppShell.h"
#include "views/shell/DetailArea.h"

#include "AppTestSupport.h"
#include "TestSupport.h"
#include "services/cleanup/LinuxAppsTestSupport.h"
#include "state/StateTestSupport.h"
#include "views/map/MapViewsTestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

using namespace tarnwick;

namespace {

constexpr qint64 kAppBytes = 3'000'000;

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(AppsFlowTest, AnAppImageIsUninstalledWithItsEntryAndDataAndComesBackFromTheSafeBin) {
    test::FakeEnvironment env;
    const QString home = env.home();
    const QString image = test::writeAppImage(home + "/Applications/Quillpad-2.1-x86_64.AppImage", kAppBytes);
    const QString entry =
        test::writeDesktopEntry(home + "/.local/share/applications", "quillpad.desktop", "Quillpad", image);
    const QString settings = test::writeFile(home + "/.config/Quillpad/settings.json", QByteArray(60'000, 's'));
    const QString unrelated = test::writeFile(home + "/.config/editor/settings.json", "keep");
    const QByteArray imageBytes = contents(image);
    const QByteArray entryBytes = contents(entry);

    TarnwickApp app(test::testServices());
    ASSERT_TRUE(test::startSettled(app));
    AppState& state = app.state();

    // The section's screen finds the AppImage with what it left.
    state.openSection(AppSection::apps);
    auto* apps = qobject_cast<AppsView*>(app.mainWindow().shell()->detailArea()->screen(AppSection::apps));
    ASSERT_NE(apps, nullptr);
    ASSERT_TRUE(test::waitUntil([&] { return !state.isAppsScanning() && !state.isUpdatesScanning(); }));
    ASSERT_EQ(apps->appRows().size(), 1);
    InstalledAppRow* row = apps->appRows().front();
    const InstalledApp found = row->app();
    EXPECT_EQ(found.name, "Quillpad");
    EXPECT_EQ(found.path, image);
    EXPECT_EQ(found.desktopEntries, QStringList{entry});
    ASSERT_EQ(found.leftovers.size(), 1);
    EXPECT_EQ(found.leftovers[0].path, home + "/.config/Quillpad");

    // Ticked and uninstalled from the screen.
    row->findChild<PlainButton*>("appCheck")->click();
    ASSERT_TRUE(apps->uninstallButton()->isEnabled());
    apps->uninstallButton()->click();
    ASSERT_TRUE(test::safeBinSettled(state));
    EXPECT_EQ(state.errorMessage(), std::nullopt);
    EXPECT_TRUE(apps->appRows().isEmpty());
    for (const QString& gone : {image, entry, settings}) EXPECT_FALSE(QFileInfo::exists(gone)) << gone.toStdString();
    EXPECT_TRUE(QFileInfo::exists(unrelated));
    ASSERT_FALSE(state.activityEvents().isEmpty());
    EXPECT_EQ(state.activityEvents()[0].summary, "Uninstalled 1 apps");

    // Everything comes back from the Safe Bin's screen.
    state.openSection(AppSection::safeBin);
    auto* bin = qobject_cast<SafeBinView*>(app.mainWindow().shell()->detailArea()->screen(AppSection::safeBin));
    ASSERT_NE(bin, nullptr);
    ASSERT_TRUE(test::safeBinSettled(state));
    ASSERT_FALSE(state.safeBinItems().empty());
    for (int guard = 0; !state.safeBinItems().empty() && guard < 10; ++guard) {
        const QRect restore = bin->list()->buttonRect(0, SafeBinListView::Button::restore);
        ASSERT_FALSE(restore.isEmpty());
        test::clickAt(bin->list()->viewport(), restore.center());
        ASSERT_TRUE(test::safeBinSettled(state));
    }
    EXPECT_TRUE(state.safeBinItems().empty());
    EXPECT_EQ(state.errorMessage(), std::nullopt);
    EXPECT_EQ(contents(image), imageBytes);
    EXPECT_TRUE(QFileInfo(image).isExecutable()) << "it still runs";
    EXPECT_EQ(contents(entry), entryBytes);
    EXPECT_EQ(contents(settings), QByteArray(60'000, 's'));

    // And the screen lists it again.
    state.openSection(AppSection::apps);
    state.runAppsScan();
    ASSERT_TRUE(test::waitUntil([&] { return !state.isAppsScanning(); }));
    ASSERT_EQ(apps->appRows().size(), 1);
    EXPECT_EQ(apps->appRows().front()->app().path, image);
}

}  // namespace
