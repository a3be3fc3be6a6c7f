// The one module-scan pattern every module's scan is a table entry of,
// tested on the junk scan; and the rule each section follows on opening.
#include "state/AppState.h"

#include "StateTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

const QString kStart = QStringLiteral("Starting Junk Cleanup\u2026");

CleanupItem finding(qint64 size, bool selected = false) {
    CleanupItem item = test::finding<CleanupItem>(QStringLiteral("/nowhere/%1").arg(size), size, selected);
    item.isSafeDefault = selected;
    return item;
}

// The junk scan of AppState over a finder the test holds.
class AppStateModuleScanTest : public ::testing::Test {
protected:
    AppStateModuleScanTest() {
        ModuleServices modules;
        modules.cleanupScan = finders.finder();
        state = std::make_unique<AppState>(test::testServices(), modules);
        QObject::connect(state.get(), &AppState::changed, &context, [this](AppState::Field field) {
            if (field == AppState::Field::cleanupProgressLabel) labels.append(state->cleanupProgressLabel());
        });
    }
    bool scanEnded() {
        return test::waitUntil([&] { return !state->isCleanupScanning(); });
    }

    test::FakeEnvironment env;
    test::HeldFinders<CleanupItem> finders{{QStringLiteral("Scanning caches\u2026"), QStringLiteral("Scanning logs\u2026")}};
    std::unique_ptr<AppState> state;
    QObject context;
    QStringList labels;
};

TEST_F(AppStateModuleScanTest, ReportsLabelsThenPublishesTheTrimmedListAndDone) {
    state->runCleanupScan();
    EXPECT_TRUE(state->isCleanupScanning());
    EXPECT_EQ(state->cleanupProgressLabel(), kStart);
    auto call = finders.waitFor(0);
    ASSERT_TRUE(call);
    ASSERT_TRUE(test::waitUntil([&] { return state->cleanupProgressLabel() == "Scanning logs\u2026"; }));
    EXPECT_TRUE(state->cleanupItems().isEmpty());
    QList<CleanupItem> many;
    for (int i = 0; i < 100; ++i) many.append(finding(1000 + i));
    call->release(many);
    ASSERT_TRUE(scanEnded());
    EXPECT_EQ(state->cleanupItems().size(), 80) << "the budget is applied before publishing";
    EXPECT_EQ(state->cleanupItems().front().size, 1099) << "largest first";
    EXPECT_EQ(state->cleanupProgressLabel(), "Done");
    EXPECT_EQ(labels.front(), kStart);
    EXPECT_EQ(labels.back(), "Done") << "no label of the scan arrives after its end";
}

TEST_F(AppStateModuleScanTest, ASupersededScanStopsAndPublishesNothing) {
    state->runCleanupScan();
    auto first = finders.waitFor(0);
    ASSERT_TRUE(first);
    {
        std::lock_guard lock(first->mutex);
        first->lateLabel = QStringLiteral("stale label");
        first->result = {finding(1)};
    }
    state->runCleanupScan();
    EXPECT_EQ(state->cleanupProgressLabel(), kStart) << "the label goes back to the start at once";
    ASSERT_TRUE(test::waitUntil([&] { return first->stopped.load(); })) << "the replaced finder is asked to stop";
    auto second = finders.waitFor(1);
    ASSERT_TRUE(second);
    test::spin(50);  // whatever the first scan returned has had time to arrive
    EXPECT_TRUE(state->isCleanupScanning()) << "the flag stays on until the newest scan ends";
    EXPECT_TRUE(state->cleanupItems().isEmpty());
    EXPECT_FALSE(labels.contains("stale label")) << "labels of a replaced scan are dropped";

    second->release({finding(5), finding(7)});
    ASSERT_TRUE(scanEnded());
    ASSERT_EQ(state->cleanupItems().size(), 2);
    EXPECT_EQ(state->cleanupItems()[0].size, 7);
    EXPECT_EQ(labels.count("Done"), 1);
}

// While a rescan runs the status shows its label, even with findings
// listed; a tick flips one finding in place and the selected bytes follow.
TEST_F(AppStateModuleScanTest, TheStatusLineAndTheTicksFollowTheScanAndTheSelection) {
    state->runCleanupScan();
    finders.waitFor(0)->release({finding(1000000, true), finding(2000000), finding(500000, true)});
    ASSERT_TRUE(scanEnded());
    EXPECT_EQ(state->cleanupSelectedBytes(), 1500000);
    EXPECT_EQ(state->cleanupStatusText(), AppState::selectionLine(3, "findings", 2, 1500000));

    test::FieldLog log(*state);
    state->toggleCleanupItem(state->cleanupItems()[0].id);  // selected first: 1,000,000 bytes
    EXPECT_FALSE(state->cleanupItems()[0].isSelected);
    EXPECT_TRUE(state->cleanupItems()[0].isSafeDefault) << "the finder's judgement stays";
    EXPECT_EQ(state->cleanupSelectedBytes(), 500000);
    state->toggleCleanupItem(QUuid::createUuid());  // not in the list
    state->toggleCleanupItem(state->cleanupItems()[2].id);
    EXPECT_EQ(state->cleanupSelectedBytes(), 2500000);
    EXPECT_EQ(log.count(AppState::Field::cleanupItems), 2u);

    state->runCleanupScan();
    EXPECT_EQ(state->cleanupStatusText(), kStart);
    finders.waitFor(1)->release({});
    ASSERT_TRUE(scanEnded());
}

TEST_F(AppStateModuleScanTest, DestroyingTheStateStopsItsScan) {
    state->runCleanupScan();
    auto call = finders.waitFor(0);
    ASSERT_TRUE(call);
    state.reset();
    EXPECT_TRUE(call->stopped);
    EXPECT_TRUE(call->finished);
}

// Opening a module's section scans only an empty list, and never while its
// scan runs; the apps section starts the apps scan alone.
template <class Item>
void expectOpeningScansOnce(AppSection section, ModuleServices::Finder<Item> ModuleServices::*slot,
                            bool (AppState::*scanning)() const, bool listedStays = true) {
    SCOPED_TRACE(rawValue(section).toStdString());
    test::FakeEnvironment env;
    test::HeldFinders<Item> finders;
    test::HeldFinders<AppUpdateItem> updates;
    ModuleServices modules = test::quietModules();
    modules.updatesScan = updates.finder();
    modules.*slot = finders.finder();
    AppState state(test::testServices(), modules);
    state.openSection(section);
    state.openSection(section);
    ASSERT_TRUE(finders.waitFor(0));
    test::spin(20);
    EXPECT_EQ(finders.count(), 1u) << "the running scan is not started again";
    EXPECT_EQ(updates.count(), 0u);
    finders.at(0)->release({Item{}});
    ASSERT_TRUE(test::waitUntil([&] { return !(state.*scanning)(); }));
    if (!listedStays) return;
    state.openSection(AppSection::home);
    state.openSection(section);
    test::spin(20);
    EXPECT_EQ(finders.count(), 1u) << "a listed section is not scanned again";
}

TEST(AppStateOpenSection, EachModuleScansOnlyAnEmptyListWithNoScanRunning) {
    expectOpeningScansOnce(AppSection::cleanup, &ModuleServices::cleanupScan, &AppState::isCleanupScanning);
    expectOpeningScansOnce(AppSection::clutter, &ModuleServices::clutterScan, &AppState::isClutterScanning);
    expectOpeningScansOnce(AppSection::performance, &ModuleServices::performanceScan, &AppState::isPerformanceScanning);
    // The apps list is let go of when the section closes.
    expectOpeningScansOnce(AppSection::apps, &ModuleServices::appsScan, &AppState::isAppsScanning, false);
}

}  // namespace
}  // namespace tarnwick
