#include "views/map/VolumeChooserView.h"

#include "design/TaldoGhostButton.h"
#include "design/TaldoGlowButton.h"
#include "state/AppState.h"
#include "views/map/ScanningView.h"

#include "MapViewsTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>


using namespace tarnwick;

namespace {

// Answers the folder dialog while alive.
struct FolderAnswer {
    explicit FolderAnswer(QString answer) {
        VolumeChooserView::setFolderPicker([answer](QWidget*) { return answer; });
    }
    ~FolderAnswer() { VolumeChooserView::setFolderPicker({}); }
};

}  // namespace

TEST(VolumeChooser, VolumesAndFoldersStartTheRightScan) {
    test::FakeEnvironment environment;
    const QString backup = test::makeDir(environment.path("mnt/backup-disk"));
    test::writeFile(backup + "/photos/a.jpg", QByteArray(300'000, 'x'));
    const QString projects = test::makeDir(environment.home() + "/Projects");
    test::writeFile(projects + "/b.bin", QByteArray(300'000, 'y'));

    MapServices services = test::testServices();
    services.listVolumes = [backup] {
        return std::vector<VolumeInfo>{VolumeInfo{"/mnt/b", "Backup", "/mnt/b", backup, 2000, 500, false, std::nullopt}};
    };
    services.saveCache = nullptr;
    AppState state(services);
    state.start();
    VolumeChooserView chooser(state);
    chooser.show();

    ASSERT_TRUE(test::waitUntil([&] { return chooser.volumeCards().size() == 1; })) << "the list arrives from its worker";
    EXPECT_FALSE(chooser.isShowingEmptyText());
    EXPECT_FALSE(chooser.showMapButton()->isVisible());
    // Used is what the free space leaves of the total, never below nothing.
    EXPECT_EQ(VolumeChooserView::usageText(VolumeInfo{"", "", "", "", 2'000'000, 500'000, false, std::nullopt}),
              QStringLiteral("1.5 MB used of 2 MB"));
    EXPECT_EQ(VolumeChooserView::usedShare(VolumeInfo{"", "", "", "", 1000, 1500, false, std::nullopt}), 0.0);

    // A volume: its scan path under its own name.
    chooser.scanButton(0)->click();
    EXPECT_EQ(state.screen(), AppState::Screen::scanning);
    EXPECT_EQ(state.scanRootName(), QStringLiteral("Backup"));
    EXPECT_EQ(state.scanRootPath(), backup);
    ASSERT_TRUE(test::waitUntil([&] { return state.screen() == AppState::Screen::idle; }));
    ASSERT_TRUE(state.rootNode());
    EXPECT_EQ(state.rootNode()->path(), backup);
    EXPECT_TRUE(chooser.showMapButton()->isVisible());

    // A folder: its path, named by its last component.
    {
        const FolderAnswer answer(projects);
        chooser.chooseFolderButton()->click();
    }
    EXPECT_EQ(state.scanRootPath(), projects);
    EXPECT_EQ(state.scanRootName(), QStringLiteral("Projects"));
    ASSERT_TRUE(test::waitUntil([&] { return state.screen() == AppState::Screen::idle; }));
    EXPECT_EQ(state.rootNode()->path(), projects);

    // A dismissed dialog starts nothing.
    {
        const FolderAnswer answer{QString()};
        chooser.chooseFolder();
    }
    EXPECT_EQ(state.screen(), AppState::Screen::idle);
    EXPECT_EQ(state.scanRootPath(), projects);

    // No volumes at all: the empty text, and folders can still be chosen.
    services.listVolumes = [] { return std::vector<VolumeInfo>{}; };
    AppState bare(services);
    bare.start();
    VolumeChooserView empty(bare);
    empty.show();
    EXPECT_TRUE(empty.volumeCards().isEmpty());
    EXPECT_TRUE(empty.isShowingEmptyText());
    EXPECT_TRUE(empty.chooseFolderButton()->isVisible());
}

TEST(ScanningView, FollowsProgressAndCancels) {
    test::FakeEnvironment environment;
    test::HeldWalks walks;
    AppState state(test::heldServices(walks));
    state.start();
    ScanningView view(state);
    view.show();
    state.startScan("/Volumes/Backup", QStringLiteral("Backup"));
    EXPECT_EQ(view.title(), QStringLiteral("Scanning Backup\u2026"));
    EXPECT_EQ(view.counts(), QStringLiteral("0 items \u00B7 Zero KB"));
    EXPECT_EQ(view.currentPath(), QStringLiteral("/Volumes/Backup"));
    ASSERT_TRUE(test::waitUntil([&] { return state.progress().scannedFiles == 1; }));
    EXPECT_EQ(view.counts(), QStringLiteral("1 items \u00B7 1 KB"));
    EXPECT_EQ(view.currentPath(), QStringLiteral("/Volumes/Backup/a.bin"));

    view.cancelButton()->click();
    EXPECT_TRUE(walks.at(0)->cancelled);
}
