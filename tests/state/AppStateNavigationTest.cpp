#include "state/AppState.h"

#include "StateTestSupport.h"
#include "TestSupport.h"
#include "services/store/ActivityService.h"
#include "services/safebin/SafeBinService.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

const QDateTime kNow(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC);

// `count` unselected items of a module list, each adjusted by `adjust`.
template <class Item>
QList<Item> items(int count, const std::function<void(Item&)>& adjust = {}) {
    QList<Item> list;
    for (int i = 0; i < count; ++i) {
        Item item;
        if constexpr (requires { item.size; }) item.size = 10 + i;
        if (adjust) adjust(item);
        list.append(item);
    }
    return list;
}

ScanNodePtr make(const QString& path, NodeKind kind, qint64 size, std::vector<ScanNodePtr> children = {}) {
    return ScanNode::create(QUuid::createUuid(), path.section('/', -1), path, kind, size, std::move(children));
}

// A tree: /t/root with Documents (holding a.txt), downloads, a file, an empty
// folder and a restricted one.
struct Tree {
    ScanNodePtr a = make("/t/root/Documents/a.txt", NodeKind::file, 300);
    ScanNodePtr documents = make("/t/root/Documents", NodeKind::dir, 300, {a});
    ScanNodePtr downloads =
        make("/t/root/downloads", NodeKind::dir, 200, {make("/t/root/downloads/b", NodeKind::file, 200)});
    ScanNodePtr music = make("/t/root/Music", NodeKind::dir, 0);
    ScanNodePtr file = make("/t/root/big.iso", NodeKind::file, 100);
    ScanNodePtr locked = make("/t/root/locked", NodeKind::restricted, 0);
    ScanNodePtr root = make("/t/root", NodeKind::dir, 600, {documents, downloads, file, music, locked});
};

class AppStateNavigationTest : public ::testing::Test {
protected:
    AppStateNavigationTest() : tree(), state(servicesWithTree(), test::quietModules()) {
        env.setNow(kNow);
        EXPECT_TRUE(test::startAndRestore(state));
    }
    MapServices servicesWithTree() {
        MapServices services = test::testServices();
        services.loadCache = [root = tree.root] {
            return std::optional(CachedScan{"/t/root", "root", kNow.addSecs(-2 * 3600), root,
                                                         ScanInsights::empty()});
        };
        return services;
    }

    test::FakeEnvironment env;
    Tree tree;
    AppState state;
};

TEST_F(AppStateNavigationTest, InactiveSectionsAreTrimmed) {
    AppStateTesting::setClutterItems(state, items<ClutterItem>(15));
    AppStateTesting::setCleanupItems(state, items<CleanupItem>(10));
    state.openSection(AppSection::cleanup);
    EXPECT_TRUE(state.clutterItems().isEmpty()) << "15 unselected clutter items are dropped";
    EXPECT_EQ(state.cleanupItems().size(), 10) << "the kept section stays whole";
    state.openSection(AppSection::clutter);
    EXPECT_EQ(state.cleanupItems().size(), 10) << "losing only 10 items is not worth a publish";

    AppStateTesting::setProtectionFindings(state, items<ProtectionFinding>(20, [](ProtectionFinding& f) { f.severity = ProtectionFinding::Severity::low; }));
    AppStateTesting::setPrivacyItems(state, items<PrivacyItem>(20));
    state.openSection(AppSection::protection);
    EXPECT_EQ(state.protectionFindings().size(), 20);
    EXPECT_EQ(state.privacyItems().size(), 20);
    state.openSection(AppSection::insights);
    EXPECT_TRUE(state.protectionFindings().isEmpty());
    EXPECT_TRUE(state.privacyItems().isEmpty());

    AppStateTesting::setInstalledApps(state, items<InstalledApp>(3));
    AppStateTesting::setAppUpdates(state, QList<AppUpdateItem>(45));
    AppStateTesting::setPerformanceItems(state, items<PerformanceItem>(20, [](PerformanceItem& p) { p.kind = PerformanceItem::Kind::process; }));
    state.openSection(AppSection::apps);
    EXPECT_EQ(state.installedApps().size(), 3);
    EXPECT_EQ(state.appUpdates().size(), 45);
    EXPECT_EQ(state.performanceItems().size(), 12);
    state.openSection(AppSection::home);
    EXPECT_TRUE(state.installedApps().isEmpty());
    EXPECT_EQ(state.appUpdates().size(), 30);
}

TEST_F(AppStateNavigationTest, OpeningASectionWhileScanningOnlySelectsIt) {
    test::HeldWalks walks;
    AppState scanning(test::heldServices(walks));
    scanning.start();
    scanning.startScan(env.path());
    AppStateTesting::setClutterItems(scanning, items<ClutterItem>(15));
    scanning.setAnalysisTab(AnalysisTab::map);
    scanning.openSection(AppSection::insights);
    EXPECT_EQ(scanning.section(), AppSection::insights);
    EXPECT_EQ(scanning.screen(), AppState::Screen::scanning);
    EXPECT_EQ(scanning.clutterItems().size(), 15);
    EXPECT_EQ(scanning.analysisTab(), AnalysisTab::map);
}

TEST_F(AppStateNavigationTest, EachSectionPreparesItself) {
    state.setAnalysisTab(AnalysisTab::map);
    state.openSection(AppSection::insights);
    EXPECT_EQ(state.analysisTab(), AnalysisTab::largest);
    state.setAnalysisTab(AnalysisTab::oldest);
    state.openSection(AppSection::insights);
    EXPECT_EQ(state.analysisTab(), AnalysisTab::oldest);

    // Activity and the Safe Bin read what other processes wrote.
    ActivityService::log("Junk", "cleaned", 100, 2);
    state.openSection(AppSection::activity);
    EXPECT_EQ(state.activityEvents().size(), 1);
    ASSERT_FALSE(SafeBinService::moveToSafeBin({test::writeFile(env.home("Trash me.txt"), "bye")}).error);
    state.openSection(AppSection::safeBin);
    ASSERT_TRUE(test::safeBinSettled(state));
    EXPECT_EQ(state.safeBinItems().size(), 1u);

    // Junk, Apps, Clutter, Performance and Protection scan when their lists
    // are empty; the other sections start nothing.
    for (AppSection section : allAppSections()) {
        if (section == AppSection::cleanup || section == AppSection::apps || section == AppSection::clutter ||
            section == AppSection::performance || section == AppSection::protection) {
            continue;
        }
        state.openSection(section);
        EXPECT_EQ(state.section(), section);
        EXPECT_EQ(state.screen(), AppState::Screen::idle);
    }
    EXPECT_FALSE(state.isCleanupScanning() || state.isAppsScanning() || state.isClutterScanning() ||
                 state.isPerformanceScanning() || state.isProtectionScanning() || state.isPrivacyScanning() ||
                 state.isUpdatesScanning());
}

TEST_F(AppStateNavigationTest, OpenTheCachedMapDrillAndNavigateUp) {
    EXPECT_EQ(state.section(), AppSection::home) << "the cached tree does not leave home";
    state.loadCachedScan(true);
    EXPECT_EQ(state.section(), AppSection::map);
    state.openSection(AppSection::insights);
    state.setSearchQuery("doc");
    state.setHoveredNode(tree.file);
    state.drill(tree.documents);
    EXPECT_EQ(state.focusNode(), tree.documents);
    EXPECT_EQ(state.hoveredNode(), nullptr);
    EXPECT_EQ(state.searchQuery(), "");
    EXPECT_EQ(state.section(), AppSection::map);

    state.drill(tree.file);
    state.drill(tree.locked);
    EXPECT_EQ(state.focusNode(), tree.documents);
    EXPECT_FALSE(state.errorMessage());

    state.drill(tree.music);
    EXPECT_EQ(state.focusNode(), tree.documents);
    ASSERT_TRUE(state.errorMessage());
    EXPECT_TRUE(state.errorMessage()->contains("Music"));
    state.clearErrorMessage();

    state.setSearchQuery("a");
    state.navigateUp();
    EXPECT_EQ(state.focusNode(), tree.root);
    EXPECT_EQ(state.searchQuery(), "");
    EXPECT_EQ(state.section(), AppSection::map);
    state.navigateUp();
    EXPECT_EQ(state.focusNode(), tree.root);
    EXPECT_EQ(state.section(), AppSection::home);
}

}  // namespace
}  // namespace tarnwick
