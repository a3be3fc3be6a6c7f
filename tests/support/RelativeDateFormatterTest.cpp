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

TEST(RelativeDateFormatter, PastDatesAtEachUnitBoundary) {
    EXPECT_EQ(ago(1), QStringLiteral("1 sec. ago"));
    EXPECT_EQ(ago(59), QStringLiteral("59 sec. ago"));
    EXPECT_EQ(ago(kMinute), QStringLiteral("1 min. ago"));
    EXPECT_EQ(ago(kHour - 1), QStringLiteral("59 min. ago"));
    EXPECT_EQ(ago(kHour), QStringLiteral("1 hr. ago"));
    EXPECT_EQ(ago(2 * kHour + 59 * kMinute), QStringLiteral("2 hr. ago"));
    EXPECT_EQ(ago(23 * kHour), QStringLiteral("23 hr. ago"));
    EXPECT_EQ(ago(kDay - 1), QStringLiteral("23 hr. ago"));
    EXPECT_EQ(ago(kDay), QStringLiteral("1 day ago"));
    EXPECT_EQ(ago(2 * kDay - 1), QStringLiteral("1 day ago"));
    EXPECT_EQ(ago(3 * kDay), QStringLiteral("3 days ago"));
    EXPECT_EQ(ago(7 * kDay - 1), QStringLiteral("6 days ago"));
    EXPECT_EQ(ago(7 * kDay), QStringLiteral("1 wk. ago"));
    EXPECT_EQ(ago(14 * kDay), QStringLiteral("2 wk. ago"));
    EXPECT_EQ(ago(29 * kDay), QStringLiteral("4 wk. ago"));
    EXPECT_EQ(ago(30 * kDay), QStringLiteral("1 mo. ago"));
    EXPECT_EQ(ago(59 * kDay), QStringLiteral("1 mo. ago"));
    EXPECT_EQ(ago(60 * kDay), QStringLiteral("2 mo. ago"));
    EXPECT_EQ(ago(364 * kDay), QStringLiteral("12 mo. ago"));
    EXPECT_EQ(ago(365 * kDay), QStringLiteral("1 yr. ago"));
    EXPECT_EQ(ago(3 * 365 * kDay + 10 * kDay), QStringLiteral("3 yr. ago"));
}

TEST(RelativeDateFormatter, FutureDatesAndNow) {
    EXPECT_EQ(ago(0), QStringLiteral("in 0 sec."));
    EXPECT_EQ(ago(-1), QStringLiteral("in 1 sec."));
    EXPECT_EQ(ago(-kMinute), QStringLiteral("in 1 min."));
    EXPECT_EQ(ago(-5 * kHour), QStringLiteral("in 5 hr."));
    EXPECT_EQ(ago(-kDay), QStringLiteral("in 1 day"));
    EXPECT_EQ(ago(-2 * kDay), QStringLiteral("in 2 days"));
    EXPECT_EQ(ago(-21 * kDay), QStringLiteral("in 3 wk."));
    EXPECT_EQ(ago(-90 * kDay), QStringLiteral("in 3 mo."));
    EXPECT_EQ(ago(-730 * kDay), QStringLiteral("in 2 yr."));
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
}

TEST(RelativeDateFormatter, DefaultsToTheEnvironmentsClock) {
    test::FakeEnvironment env;
    env.setNow(kNow);
    EXPECT_EQ(RelativeDateFormatter::shortPhrase(kNow.addSecs(-2 * kHour)), QStringLiteral("2 hr. ago"));
    EXPECT_EQ(RelativeDateFormatter::shortPhrase(kNow.addSecs(3 * kDay)), QStringLiteral("in 3 days"));
}
