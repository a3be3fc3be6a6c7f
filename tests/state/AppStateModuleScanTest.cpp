#include "state/AppState.h"

#include "StateTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

const QString kStart = QStringLiteral("Starting Junk Cleanup\u2026");

CleanupItem finding(qint64 size, bool selected = false, CleanupCategory category = CleanupCategory::caches) {
    CleanupItem item;
    item.title = QStringLiteral("item %1").arg(size);
    item.path = QStringLiteral("/nowhere/%1").arg(size);
    item.size = size;
    item.category = category;
    item.isSelected = selected;
    item.isSafeDefault = selected;
    return item;
}

QList<CleanupItem> findings(int count) {
    QList<CleanupItem> list;
    for (int i = 0; i < count; ++i) list.append(finding(1000 + i));
    return list;
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

    call->release(findings(100));
    ASSERT_TRUE(test::waitUntil([&] { return !state->isCleanupScanning(); }));
    EXPECT_EQ(state->cleanupItems().size(), 80) << "the junk budget is applied before publishing";
    EXPECT_EQ(state->cleanupItems().front().size, 1099) << "largest first";
    EXPECT_EQ(state->cleanupProgressLabel(), "Done");
    ASSERT_FALSE(labels.isEmpty());
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
    EXPECT_NE(state->cleanupProgressLabel(), "Done");
    EXPECT_FALSE(labels.contains("stale label")) << "labels of a replaced scan are dropped";

    second->release({finding(5), finding(7)});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isCleanupScanning(); }));
    ASSERT_EQ(state->cleanupItems().size(), 2);
    EXPECT_EQ(state->cleanupItems()[0].size, 7);
    EXPECT_EQ(state->cleanupProgressLabel(), "Done");
    EXPECT_EQ(labels.count("Done"), 1);
}

TEST_F(AppStateModuleScanTest, StatusTextFollowsScanAndSelection) {
    EXPECT_EQ(state->cleanupStatusText(),
              "Find caches, leftovers, duplicates & developer junk \u2014 review before anything moves.");
    state->runCleanupScan();
    auto call = finders.waitFor(0);
    call->release({finding(1000000, true), finding(2000000), finding(500000, true)});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isCleanupScanning(); }));
    EXPECT_EQ(state->cleanupSelectedBytes(), 1500000);
    EXPECT_EQ(state->cleanupStatusText(), AppState::selectionLine(3, "findings", 2, 1500000));
    EXPECT_EQ(AppState::selectionLine(24, "findings", 9, 0), "24 findings \u00B7 9 selected \u00B7 Zero KB");

    // While a rescan runs the label shows, even with findings listed.
    state->runCleanupScan();
    EXPECT_EQ(state->cleanupStatusText(), kStart);
    finders.waitFor(1)->release({});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isCleanupScanning(); }));
}

TEST_F(AppStateModuleScanTest, ToggleFlipsOneFindingInPlace) {
    state->runCleanupScan();
    finders.waitFor(0)->release({finding(300, true), finding(200)});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isCleanupScanning(); }));
    const QUuid first = state->cleanupItems()[0].id;
    test::FieldLog log(*state);

    state->toggleCleanupItem(first);
    EXPECT_FALSE(state->cleanupItems()[0].isSelected);
    EXPECT_TRUE(state->cleanupItems()[0].isSafeDefault) << "the finder's judgement stays";
    EXPECT_EQ(state->cleanupSelectedBytes(), 0);
    state->toggleCleanupItem(QUuid::createUuid());  // not in the list
    state->toggleCleanupItem(state->cleanupItems()[1].id);
    EXPECT_TRUE(state->cleanupItems()[1].isSelected);
    EXPECT_EQ(log.count(AppState::Field::cleanupItems), 2u);
    EXPECT_EQ(state->cleanupItems().size(), 2);
}

TEST_F(AppStateModuleScanTest, OpeningJunkScansOnlyAnEmptyListWithNoScanRunning) {
    state->openSection(AppSection::cleanup);
    state->openSection(AppSection::cleanup);
    ASSERT_TRUE(finders.waitFor(0));
    test::spin(20);
    EXPECT_EQ(finders.count(), 1u) << "the running scan is not started again";
    finders.at(0)->release({finding(10)});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isCleanupScanning(); }));
    state->openSection(AppSection::home);
    state->openSection(AppSection::cleanup);
    test::spin(20);
    EXPECT_EQ(finders.count(), 1u) << "findings listed: no scan";
}

TEST_F(AppStateModuleScanTest, DestroyingTheStateStopsItsScan) {
    state->runCleanupScan();
    auto call = finders.waitFor(0);
    ASSERT_TRUE(call);
    state.reset();
    EXPECT_TRUE(call->stopped);
    EXPECT_TRUE(call->finished);
}

}  // namespace
}  // namespace tarnwick
