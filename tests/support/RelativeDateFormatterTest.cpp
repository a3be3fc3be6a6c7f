#include "support/RelativeDateFormatter.h"

#include "TestSupport.h"

#include <QTimeZone>
#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

const QDateTime kNow(QDate(2024, 3, 10), QTime(12, 0), Qt::UTC);

// The phrase for a date the given number of seconds before now (negative: after).
QString ago(qint64 seconds) {
    return RelativeDateFormatter::shortPhrase(kNow.addSecs(-seconds), kNow);
}

constexpr qint64 kMinute = 60;
constexpr qint64 kHour = 3600;
constexpr qint64 kDay = 86400;

}  // namespace

TEST(RelativeDateFormatter, PhrasesAtEachUnitBoundaryBothWays) {
    const std::vector<std::pair<qint64, const char*>> cases = {
        {1, "1 sec. ago"},        {59, "59 sec. ago"},          {kMinute, "1 min. ago"},
        {kHour - 1, "59 min. ago"}, {kHour, "1 hr. ago"},       {2 * kHour + 59 * kMinute, "2 hr. ago"},
        {kDay - 1, "23 hr. ago"}, {kDay, "1 day ago"},          {2 * kDay - 1, "1 day ago"},
        {3 * kDay, "3 days ago"}, {7 * kDay - 1, "6 days ago"}, {7 * kDay, "1 wk. ago"},
        {29 * kDay, "4 wk. ago"}, {30 * kDay, "1 mo. ago"},     {59 * kDay, "1 mo. ago"},
        {60 * kDay, "2 mo. ago"}, {364 * kDay, "12 mo. ago"},   {365 * kDay, "1 yr. ago"},
        {0, "in 0 sec."},         {-1, "in 1 sec."},            {-5 * kHour, "in 5 hr."},
        {-kDay, "in 1 day"},      {-2 * kDay, "in 2 days"},     {-21 * kDay, "in 3 wk."},
        {-90 * kDay, "in 3 mo."}, {-730 * kDay, "in 2 yr."},
    };
    for (const auto& [seconds, text] : cases) EXPECT_EQ(ago(seconds), QString::fromUtf8(text)) << seconds;
    // Less than a whole second either way counts as now.
    EXPECT_EQ(RelativeDateFormatter::shortPhrase(kNow.addMSecs(-999), kNow), QStringLiteral("in 0 sec."));
    EXPECT_EQ(RelativeDateFormatter::shortPhrase(kNow.addMSecs(999), kNow), QStringLiteral("in 0 sec."));
    EXPECT_EQ(RelativeDateFormatter::shortPhrase(kNow.addMSecs(-1500), kNow), QStringLiteral("1 sec. ago"));
}

TEST(RelativeDateFormatter, IgnoresTimeZonesAndCalendarsAndRejectsInvalidDates) {
    // The same instant written in another zone is "now"; across a change to
    // daylight saving, noon to noon on the calendar is 23 elapsed hours.
    const QDateTime sameInstant = kNow.toTimeZone(QTimeZone(3600 * 5));
    EXPECT_EQ(RelativeDateFormatter::shortPhrase(sameInstant, kNow), QStringLiteral("in 0 sec."));
    const QTimeZone berlin("Europe/Berlin");
    if (berlin.isValid()) {
        const QDateTime before(QDate(2024, 3, 30), QTime(12, 0), berlin);
        const QDateTime after(QDate(2024, 3, 31), QTime(12, 0), berlin);
        EXPECT_EQ(RelativeDateFormatter::shortPhrase(before, after), QStringLiteral("23 hr. ago"));
    }
    // February 2024 has 29 days, yet 29 days read as weeks, not a month.
    const QDateTime march1(QDate(2024, 3, 1), QTime(0, 0), Qt::UTC);
    EXPECT_EQ(RelativeDateFormatter::shortPhrase(march1.addDays(-29), march1), QStringLiteral("4 wk. ago"));
    EXPECT_TRUE(RelativeDateFormatter::shortPhrase(QDateTime(), kNow).isEmpty());
    EXPECT_TRUE(RelativeDateFormatter::shortPhrase(kNow, QDateTime()).isEmpty());
    // Without a moment given, the environment's clock is now.
    test::FakeEnvironment env;
    env.setNow(kNow);
    EXPECT_EQ(RelativeDateFormatter::shortPhrase(kNow.addSecs(-2 * kHour)), QStringLiteral("2 hr. ago"));
}
