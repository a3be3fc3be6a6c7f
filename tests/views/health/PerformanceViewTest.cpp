#include "views/health/PerformanceView.h"

#include "design/TaldoButton.h"
#include "services/store/RevealService.h"
#include "views/common/PlainButton.h"
#include "views/common/ScrollColumn.h"
#include "views/health/MaintenanceRow.h"
#include "views/health/PerformanceRow.h"

#include "views/cleanup/FindingsScreenTestSupport.h"

#include <QApplication>
#include <QCursor>
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
    ASSERT_TRUE(test::waitUntil([&] { return state->errorMessage().has_value(); }));
    EXPECT_TRUE(state->errorMessage()->startsWith("Could not disable chat: "));
    ASSERT_EQ(view->rows().size(), 3) << "the row stays after a failed disable";
    EXPECT_EQ(view->rows()[1]->disableButton()->text(), "Disable") << "back to normal";
    EXPECT_TRUE(view->rows()[1]->disableButton()->isEnabled());
    process = view->rows()[0];
    process->quitButton()->click();  // listed without an identity: not signalled
    EXPECT_EQ(state->errorMessage(), "Could not quit process 4000.");
}

// The window goes on while systemctl runs: the row says it is working, then
// leaves the list.
TEST_F(PerformanceViewTest, ADisableShowsItIsWorkingThenItsRowLeaves) {
    const QString gate = env.path("gate");
    env.tool("/usr/bin/systemctl", "while [ ! -e '" + gate.toUtf8() + "' ]; do sleep 0.01; done\n");
    PerformanceItem unit = launchRow("sync", Kind::launchAgent);
    unit.path = test::writeFile(env.home() + "/.config/systemd/user/sync.service");
    showWith({processRow("player", 4000), unit});
    ASSERT_EQ(view->rows().size(), 2);
    view->rows()[1]->disableButton()->click();
    ASSERT_EQ(view->rows().size(), 2);
    EXPECT_EQ(view->rows()[1]->disableButton()->text(), "Disabling\u2026");
    EXPECT_FALSE(view->rows()[1]->disableButton()->isEnabled());
    EXPECT_TRUE(view->rows()[0]->quitButton()->isEnabled()) << "the rest of the screen stays usable";
    test::writeFile(gate);
    ASSERT_TRUE(test::waitUntil([&] { return view->rows().size() == 1; }));
    EXPECT_EQ(view->rows()[0]->item().title, "player");
    EXPECT_FALSE(state->errorMessage());
    ASSERT_TRUE(test::safeBinSettled(*state));
}

// A row that leaves the list (quit or disabled) moves neither the scroll
// position nor the rows under the pointer: the row there stays, or the next
// one takes its place; away from the list the top row holds.
TEST_F(PerformanceViewTest, RowsUnderThePointerHoldStillWhenARowLeaves) {
    QList<PerformanceItem> items;
    for (int i = 0; i < 4; ++i) items.append(processRow(QStringLiteral("p%1").arg(i), 5000 + i));
    for (int i = 0; i < 30; ++i) items.append(launchRow(QStringLiteral("login%1").arg(i), Kind::loginItem));
    showWith(items);
    QScrollBar* bar = view->frame()->cardColumn()->verticalScrollBar();
    QWidget* viewport = view->frame()->cardColumn()->viewport();
    ASSERT_GT(bar->maximum(), 600);
    bar->setValue(400);
    const QPoint point(200, viewport->height() / 2);
    auto titleAt = [&](const QPoint& at) {
        for (PerformanceRow* row : view->rows()) {
            if (QRect(row->mapTo(viewport, QPoint()), row->size()).contains(at)) return row->item().title;
        }
        return QString();
    };
    auto without = [&](const QString& title) {
        QList<PerformanceItem> kept = state->performanceItems();
        kept.removeIf([&](const PerformanceItem& item) { return item.title == title; });
        AppStateTesting::setPerformanceItems(*state, kept);
    };
    auto indexOf = [&](const QString& title) {
        for (qsizetype i = 0; i < state->performanceItems().size(); ++i) {
            if (state->performanceItems()[i].title == title) return i;
        }
        return qsizetype(-1);
    };
    QCursor::setPos(viewport->mapToGlobal(point));
    const QString under = titleAt(point);
    ASSERT_FALSE(under.isEmpty());
    const qsizetype at = indexOf(under);

    ASSERT_GT(at, 6) << "a login item, in the middle of its card";
    // The button of the row there has the focus, as after a click.
    QApplication::setActiveWindow(view.get());
    view->rows()[at]->disableButton()->setFocus();
    without(state->performanceItems()[at + 3].title);  // below the pointer
    EXPECT_EQ(bar->value(), 400);
    EXPECT_EQ(titleAt(point), under);

    without(state->performanceItems()[at - 1].title);  // above it
    EXPECT_LT(bar->value(), 400) << "the rows above move down into the gap";
    EXPECT_EQ(titleAt(point), under);

    const QString next = state->performanceItems()[indexOf(under) + 1].title;
    const int value = bar->value();
    without(under);  // the row under the pointer, its button focused
    EXPECT_EQ(bar->value(), value);
    EXPECT_EQ(titleAt(point), next) << "the next row takes its place";

    QCursor::setPos(view->mapToGlobal(QPoint(-50, -50)));
    PerformanceRow* first = view->rows()[indexOf(next) + 4];
    bar->setValue(first->mapTo(view->frame()->cardColumn()->host(), QPoint()).y() + 5);
    const QString top = titleAt(QPoint(point.x(), 1));
    ASSERT_EQ(top, first->item().title);
    without(state->performanceItems()[indexOf(top) - 2].title);  // above the top row
    EXPECT_EQ(titleAt(QPoint(point.x(), 1)), top) << "away from the pointer the top row holds";
    without(state->performanceItems()[indexOf(top) + 6].title);  // well below
    EXPECT_EQ(titleAt(QPoint(point.x(), 1)), top);
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
