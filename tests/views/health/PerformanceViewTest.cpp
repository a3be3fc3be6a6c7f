#include "views/health/PerformanceView.h"

#include "design/TaldoButton.h"
#include "services/store/RevealService.h"
#include "state/AppState.h"
#include "views/common/FindingCard.h"
#include "views/common/ModuleHeader.h"
#include "views/common/ModuleScreenFrame.h"
#include "views/common/PlainButton.h"
#include "views/health/MaintenanceRow.h"
#include "views/health/PerformanceRow.h"

#include "TestSupport.h"
#include "state/StateTestSupport.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <gtest/gtest.h>

using namespace tarnwick;
using Kind = PerformanceItem::Kind;

namespace {

PerformanceItem processRow(const QString& title, qint32 pid) {
    PerformanceItem item;
    item.title = title;
    item.detail = QStringLiteral("PID %1").arg(pid);
    item.kind = Kind::process;
    item.metric = QStringLiteral("12% CPU \u00B7 1.0% MEM \u00B7 80 MB");
    item.pid = pid;
    item.canQuit = true;
    return item;
}

PerformanceItem launchRow(const QString& title, Kind kind) {
    PerformanceItem item;
    item.title = title;
    item.detail = "~/.config/autostart/" + title + ".desktop";
    item.kind = kind;
    item.metric = rawValue(kind);
    item.path = "/nowhere/" + title + ".desktop";
    return item;
}

// The Performance screen over a performance finder the test holds.
class PerformanceViewTest : public ::testing::Test {
protected:
    PerformanceViewTest() {
        ModuleServices modules = test::quietModules();
        modules.performanceScan = finders.finder();
        state = std::make_unique<AppState>(test::testServices(), modules);
        view = std::make_unique<PerformanceView>(*state);
        view->resize(1000, 800);
    }
    ~PerformanceViewTest() override {
        view.reset();
        state.reset();
    }

    void showWith(const QList<PerformanceItem>& items) {
        const size_t index = finders.count();
        view->show();
        auto call = finders.waitFor(index);
        ASSERT_TRUE(call);
        call->release(items);
        ASSERT_TRUE(test::waitUntil([&] { return !state->isPerformanceScanning(); }));
    }
    ModuleScreenFrame::Body body() const { return view->frame()->body(); }
    QStringList cardTitles() const {
        QStringList titles;
        for (FindingCard* card : view->cards()) titles.append(card->title());
        return titles;
    }

    test::FakeEnvironment env;
    test::HeldFinders<PerformanceItem> finders{{QStringLiteral("Reading processes\u2026")}};
    std::unique_ptr<AppState> state;
    std::unique_ptr<PerformanceView> view;
};

}  // namespace

TEST_F(PerformanceViewTest, ShownEmptyItScansWithRefreshDisabledThenShowsTheEmptyState) {
    EXPECT_EQ(view->frame()->header()->title(), "Performance");
    view->show();
    ASSERT_TRUE(finders.waitFor(0));
    EXPECT_EQ(body(), ModuleScreenFrame::Body::scanning);
    EXPECT_FALSE(view->refreshButton()->isEnabled());
    ASSERT_TRUE(test::waitUntil([&] { return view->frame()->progressLabel() == "Reading processes\u2026"; }));
    finders.at(0)->release({});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isPerformanceScanning(); }));
    EXPECT_EQ(body(), ModuleScreenFrame::Body::empty);
    EXPECT_EQ(view->findChild<QLabel*>("moduleEmptyText")->text(),
              "Find heavy processes, login items, and services that slow your computer.");
    EXPECT_EQ(view->emptyButton()->text(), "Scan Performance");
    EXPECT_EQ(view->frame()->header()->statusText(), "Heavy processes, login items, and services.");
    view->emptyButton()->click();
    EXPECT_TRUE(state->isPerformanceScanning());
    finders.waitFor(1)->release({});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isPerformanceScanning(); }));
}

TEST_F(PerformanceViewTest, ProcessRowsQuitAndLaunchItemRowsDisableAndReveal) {
    showWith({processRow("player", 4000), launchRow("chat", Kind::loginItem), launchRow("sync", Kind::launchAgent)});
    EXPECT_EQ(body(), ModuleScreenFrame::Body::content);
    EXPECT_EQ(cardTitles(), QStringList({"Heavy processes", "Login / background items", "Maintenance"}));
    EXPECT_EQ(view->frame()->header()->statusText(), "1 processes \u00B7 2 login/services");
    EXPECT_TRUE(view->refreshButton()->isEnabled());
    EXPECT_TRUE(view->cards()[0]->findChild<QLabel*>("cardDescription")->isHidden()) << "item cards have no description";

    ASSERT_EQ(view->rows().size(), 3);
    PerformanceRow* process = view->rows()[0];
    EXPECT_NE(process->quitButton(), nullptr);
    EXPECT_EQ(process->disableButton(), nullptr);
    EXPECT_EQ(process->revealButton(), nullptr);
    EXPECT_EQ(process->findChild<QLabel*>("performanceMetric")->text(), "12% CPU \u00B7 1.0% MEM \u00B7 80 MB");
    PerformanceRow* login = view->rows()[1];
    EXPECT_EQ(login->quitButton(), nullptr);
    ASSERT_NE(login->disableButton(), nullptr);
    ASSERT_NE(login->revealButton(), nullptr);

    QStringList revealed;
    RevealService::setHandler([&](const QString& path) { revealed.append(path); });
    login->revealButton()->click();
    RevealService::setHandler({});
    EXPECT_EQ(revealed, QStringList{"/nowhere/chat.desktop"});

    login->disableButton()->click();  // the file is not in an autostart folder
    EXPECT_TRUE(state->errorMessage()->startsWith("Could not disable chat: "));
    EXPECT_EQ(view->rows().size(), 3) << "the row stays after a failed disable";

    process->quitButton()->click();  // listed without an identity: not signalled
    EXPECT_EQ(state->errorMessage(), "Could not quit process 4000.");
}

TEST_F(PerformanceViewTest, WithoutLaunchItemsOnlyTheProcessAndMaintenanceCardsShow) {
    showWith({processRow("player", 4000)});
    EXPECT_EQ(cardTitles(), QStringList({"Heavy processes", "Maintenance"}));
    view->refreshButton()->click();
    EXPECT_EQ(body(), ModuleScreenFrame::Body::scanning) << "the cards, Maintenance too, hide during a scan";
    finders.waitFor(1)->release({processRow("player", 4000)});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isPerformanceScanning(); }));
}

TEST_F(PerformanceViewTest, MaintenanceRunIsDisabledWhileTheTaskRunsThenShowsItsResult) {
    const QString gate = env.path(QStringLiteral("gate"));
    env.environment().toolPaths.insert(
        QStringLiteral("/usr/bin/fc-cache"),
        test::writeScript(env.path(QStringLiteral("bin/fc-cache")),
                          "while [ ! -e '" + gate.toUtf8() + "' ]; do sleep 0.01; done\necho 'caches rebuilt'\n"));
    env.apply();
    showWith({processRow("player", 4000)});
    ASSERT_EQ(view->maintenanceRows().size(), 6);
    MaintenanceRow* fonts = nullptr;
    for (MaintenanceRow* row : view->maintenanceRows()) {
        EXPECT_TRUE(row->resultText().isEmpty()) << "never run: no result line";
        EXPECT_TRUE(row->findChild<QWidget*>("maintenanceResult")->isHidden());
        if (row->task().kind == MaintenanceTask::Kind::clearFontCaches) fonts = row;
    }
    ASSERT_NE(fonts, nullptr);
    EXPECT_EQ(fonts->findChild<QLabel*>("maintenanceTitle")->text(), "Clear font caches");

    fonts->runButton()->click();
    EXPECT_FALSE(fonts->runButton()->isEnabled());
    EXPECT_TRUE(view->maintenanceRows()[0]->runButton()->isEnabled()) << "the other tasks stay available";
    test::writeFile(gate);
    ASSERT_TRUE(test::waitUntil([&] { return fonts->runButton()->isEnabled(); }));
    EXPECT_EQ(fonts->resultText(), "caches rebuilt");
    EXPECT_FALSE(fonts->findChild<QWidget*>("maintenanceResult")->isHidden());
    ASSERT_TRUE(test::safeBinSettled(*state));
}

TEST(MaintenanceRowResult, KeepsItsLineBreaksAndScrollsToTheEnd) {
    QStringList lines;
    for (int i = 1; i <= 14; ++i) lines << QStringLiteral("line %1 of the report").arg(i);
    MaintenanceTask task;
    task.lastResult = lines.join('\n');
    MaintenanceRow row(task);
    row.resize(600, 300);
    row.show();
    QPlainTextEdit* shown = row.resultView();
    EXPECT_EQ(shown->document()->blockCount(), 14) << "line breaks kept";
    EXPECT_EQ(shown->toPlainText(), *task.lastResult) << "the whole text";
    EXPECT_LT(shown->height(), (MaintenanceRow::resultLines + 1) * shown->fontMetrics().lineSpacing());
    EXPECT_GT(shown->verticalScrollBar()->maximum(), 0) << "the rest scrolls into view";
}
