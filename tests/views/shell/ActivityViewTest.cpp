#include "views/shell/ActivityView.h"

#include "services/store/ActivityService.h"
#include "state/AppState.h"

#include "TestSupport.h"
#include "state/StateTestSupport.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

using namespace tarnwick;

namespace {

const QDateTime kNow(QDate(2024, 6, 1), QTime(12, 0), Qt::UTC);

struct ActivityFixture {
    test::FakeEnvironment environment;
    ActivityFixture() { environment.setNow(kNow); }

    // Logs an event as if the clock showed `when`.
    void logAt(const QDateTime& when, const QString& kind, const QString& summary, qint64 bytes, qint64 items) {
        environment.setNow(when);
        ActivityService::log(kind, summary, bytes, items);
        environment.setNow(kNow);
    }
};

QList<QWidget*> rows(ActivityView& view) { return view.findChildren<QWidget*>("activityRow"); }

QString childText(QWidget* row, const char* name) {
    auto* label = row->findChild<QLabel*>(name);
    return label ? label->text() : QString();
}

QString totals(ActivityView& view) { return view.findChild<QLabel*>("activityTotals")->text(); }

}  // namespace

TEST(ActivityView, ListsTheNewestHundredNewestFirstButTotalsEveryStoredEvent) {
    ActivityFixture f;
    for (int i = 0; i < 149; ++i) f.logAt(kNow.addDays(-4).addSecs(i), "Junk", QStringLiteral("run %1").arg(i), 1000, 1);
    f.logAt(kNow.addDays(-3), "Junk", "Removed 12 caches", 1'500'000, 12);
    f.logAt(kNow.addSecs(-2 * 3600), "Maintenance", "Flushed the DNS cache", 0, 1);

    AppState state(test::testServices());
    state.start();
    ActivityView view(state);
    view.show();
    EXPECT_EQ(totals(view), QStringLiteral("Lifetime freed 1.6 MB \u00B7 162 items"));
    const QList<QWidget*> shown = rows(view);
    ASSERT_EQ(shown.size(), 100);
    EXPECT_EQ(childText(shown[0], "activitySummary"), "Flushed the DNS cache");
    EXPECT_EQ(shown[0]->findChild<QLabel*>("activityBytes"), nullptr);  // nothing freed, no figure
    EXPECT_EQ(childText(shown[1], "activityBytes"), "1.5 MB");
    EXPECT_EQ(childText(shown[2], "activitySummary"), "run 148");
    EXPECT_EQ(childText(shown.last(), "activitySummary"), "run 51");
    EXPECT_EQ(ActivityView::bytesText(-5), std::nullopt);
}

TEST(ActivityView, EmptyInvitationThenRefreshAndShowingReadTheFileAgain) {
    ActivityFixture f;
    AppState state(test::testServices());
    state.start();
    ActivityView view(state);
    view.show();
    QLabel* empty = view.findChild<QLabel*>("activityEmpty");
    ASSERT_TRUE(rows(view).isEmpty());
    EXPECT_TRUE(empty->isVisible());
    EXPECT_EQ(totals(view), QStringLiteral("Lifetime freed Zero KB \u00B7 0 items"));

    // Another process writes the log; the screen shows it after "Refresh".
    f.logAt(kNow.addSecs(-60), "Safe Bin", "Emptied", 4000, 2);
    EXPECT_TRUE(rows(view).isEmpty());
    QPushButton* refresh = nullptr;
    for (QPushButton* button : view.findChildren<QPushButton*>()) {
        if (button->text() == "Refresh") refresh = button;
    }
    ASSERT_NE(refresh, nullptr);
    refresh->click();
    ASSERT_EQ(rows(view).size(), 1);
    EXPECT_FALSE(empty->isVisible());
    EXPECT_EQ(totals(view), QStringLiteral("Lifetime freed 4 KB \u00B7 2 items"));
    EXPECT_EQ(state.activityEvents().size(), 1);

    // Hiding and showing the screen reads it again too.
    view.hide();
    f.logAt(kNow.addSecs(-30), "Junk", "More", 1000, 1);
    view.show();
    EXPECT_EQ(rows(view).size(), 2);
    EXPECT_EQ(totals(view), QStringLiteral("Lifetime freed 5 KB \u00B7 3 items"));
}
