#include "views/health/PerformanceView.h"

#include "design/TaldoButton.h"
#include "services/store/RevealService.h"
#include "views/common/PlainButton.h"
#include "views/health/MaintenanceRow.h"
#include "views/health/PerformanceRow.h"

#include "views/cleanup/FindingsScreenTestSupport.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <gtest/gtest.h>

using namespace tarnwick;
using Kind = PerformanceItem::Kind;

namespace {

PerformanceItem processRow(const QString& title, qint32 pid) {
    PerformanceItem item;
    item.title = title;
    item.kind = Kind::process;
    item.pid = pid;
    item.canQuit = true;
    return item;
}

PerformanceItem launchRow(const QString& title, Kind kind) {
    PerformanceItem item;
    item.title = title;
    item.kind = kind;
    item.path = "/nowhere/" + title + ".desktop";
    return item;
}

// The Performance screen over a performance finder the test holds.
class PerformanceViewTest : public test::FindingsScreenTest<PerformanceView, PerformanceItem> {
protected:
    PerformanceViewTest()
        : FindingsScreenTest(&ModuleServices::performanceScan, &AppState::isPerformanceScanning,
                             QStringLiteral("Reading processes\u2026")) {}
};

}  // namespace

// Refresh waits for the scan; the cards, Maintenance too, hide while it runs.
TEST_F(PerformanceViewTest, ShownEmptyItScansWithRefreshDisabledThenShowsTheEmptyState) {
    view->show();
    ASSERT_TRUE(finders.waitFor(0));
    EXPECT_FALSE(view->refreshButton()->isEnabled());
    finders.at(0)->release({});
    ASSERT_TRUE(test::waitUntil([&] { return body() == ModuleScreenFrame::Body::empty; }));
    view->emptyButton()->click();
    finders.waitFor(1)->release({processRow("player", 4000)});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isPerformanceScanning(); }));
    EXPECT_EQ(cardTitles(), QStringList({"Heavy processes", "Maintenance"})) << "no launch items, no card for them";
    view->refreshButton()->click();
    EXPECT_EQ(body(), ModuleScreenFrame::Body::scanning);
    finders.waitFor(2)->release({});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isPerformanceScanning(); }));
}

TEST_F(PerformanceViewTest, ProcessRowsQuitAndLaunchItemRowsDisableAndReveal) {
    showWith({processRow("player", 4000), launchRow("chat", Kind::loginItem), launchRow("sync", Kind::launchAgent)});
    EXPECT_EQ(cardTitles(), QStringList({"Heavy processes", "Login / background items", "Maintenance"}));
    ASSERT_EQ(view->rows().size(), 3);
    PerformanceRow* process = view->rows()[0];
    EXPECT_NE(process->quitButton(), nullptr);
    EXPECT_EQ(process->disableButton(), nullptr);
    EXPECT_EQ(process->revealButton(), nullptr);
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

TEST_F(PerformanceViewTest, MaintenanceRunIsDisabledWhileTheTaskRunsThenShowsItsResult) {
    const QString gate = env.path("gate");
    env.tool("/usr/bin/fc-cache", "while [ ! -e '" + gate.toUtf8() + "' ]; do sleep 0.01; done\necho 'caches rebuilt'\n");
    showWith({processRow("player", 4000)});
    MaintenanceRow* fonts = nullptr;
    for (MaintenanceRow* row : view->maintenanceRows()) {
        EXPECT_TRUE(row->findChild<QWidget*>("maintenanceResult")->isHidden()) << "never run: no result line";
        if (row->task().kind == MaintenanceTask::Kind::clearFontCaches) fonts = row;
    }
    ASSERT_NE(fonts, nullptr);
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
