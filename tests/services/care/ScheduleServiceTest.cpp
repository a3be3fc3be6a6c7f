#include "services/care/ScheduleService.h"

#include "TestSupport.h"

#include <QSettings>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace tarnwick {
namespace {

// Puts the process in a time zone for the lifetime of the object.
class LocalZone {
public:
    explicit LocalZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) previous_ = old;
        qputenv("TZ", zone);
        ::tzset();
    }
    ~LocalZone() {
        if (previous_.isEmpty()) {
            qunsetenv("TZ");
        } else {
            qputenv("TZ", previous_);
        }
        ::tzset();
    }

private:
    QByteArray previous_;
};

class ScheduleServiceTest : public ::testing::Test {
protected:
    void store(const QString& key, const QVariant& value) { Environment::current().settings()->setValue(key, value); }
    void schedule(bool enabled, std::optional<QVariant> hour) {
        store(ScheduleService::enabledKey(), enabled);
        if (hour) {
            store(ScheduleService::hourKey(), *hour);
        } else {
            Environment::current().settings()->remove(ScheduleService::hourKey());
        }
    }
    // A local date and time of the zone in force.
    static QDateTime local(int y, int mo, int d, int h, int mi) {
        return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::LocalTime);
    }
    static QDateTime utc(int y, int mo, int d, int h, int mi) {
        return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::UTC);
    }

    test::FakeEnvironment env;
    LocalZone zone{"Europe/Berlin"};
};

// Stored values out of their range or of another type read as their defaults:
// an hour outside the day as 10, no hour or a text as midnight's, a last run
// that is no date as none.
TEST_F(ScheduleServiceTest, DueInTheChosenHourOnADayWithoutAPass) {
    struct Case {
        const char* name;
        bool enabled;
        std::optional<QVariant> hour;
        std::optional<QVariant> lastRun;
        QDateTime reference;
        bool expected;
    };
    const Case cases[] = {
        {"first minute of the hour", true, 10, {}, local(2024, 5, 2, 10, 0), true},
        {"last minute of the hour", true, 10, {}, local(2024, 5, 2, 10, 59), true},
        {"a minute before", true, 10, {}, local(2024, 5, 2, 9, 59), false},
        {"the hour after", true, 10, {}, local(2024, 5, 2, 11, 0), false},
        {"schedule off", false, 10, {}, local(2024, 5, 2, 10, 30), false},
        {"last run yesterday 23:59", true, 10, QVariant(local(2024, 5, 1, 23, 59)), local(2024, 5, 2, 10, 5), true},
        {"manual pass earlier today", true, 10, QVariant(local(2024, 5, 2, 8, 0)), local(2024, 5, 2, 10, 5), false},
        {"pass in this hour already", true, 10, QVariant(local(2024, 5, 2, 10, 1)), local(2024, 5, 2, 10, 2), false},
        {"hour 24 reads 10", true, 24, {}, local(2024, 5, 2, 10, 30), true},
        {"hour -1 reads 10, not 23", true, -1, {}, local(2024, 5, 2, 10, 30), true},
        {"absent hour is midnight's", true, {}, {}, local(2024, 5, 2, 0, 30), true},
        {"a text hour is midnight's", true, QVariant("x"), {}, local(2024, 5, 2, 0, 30), true},
        {"a text last run is none", true, 10, QVariant("2024-05-02T08:00:00"), local(2024, 5, 2, 10, 5), true},
        {"a number last run is none", true, 10, QVariant(17), local(2024, 5, 2, 10, 5), true},
        {"an empty last run is none", true, 10, QVariant(QDateTime()), local(2024, 5, 2, 10, 5), true},
        {"last run in the future day", true, 10, QVariant(local(2024, 5, 3, 8, 0)), local(2024, 5, 2, 10, 5), true},
    };
    for (const Case& c : cases) {
        schedule(c.enabled, c.hour);
        if (c.lastRun) {
            store(ScheduleService::lastRunKey(), *c.lastRun);
        } else {
            ScheduleService::setLastRun(std::nullopt);
        }
        EXPECT_EQ(ScheduleService::shouldRunNow(c.reference), c.expected) << c.name;
        EXPECT_EQ(ScheduleService::shouldRunNow(c.reference.toUTC()), c.expected) << c.name << " (the same, in UTC)";
    }
}

// The minutes of one UTC day, 00:00 to 23:59, at which a pass is due.
int dueMinutes(const QDate& day) {
    int count = 0;
    for (int minute = 0; minute < 24 * 60; ++minute) {
        if (ScheduleService::shouldRunNow(QDateTime(day, QTime(0, 0), Qt::UTC).addSecs(minute * 60))) ++count;
    }
    return count;
}

TEST_F(ScheduleServiceTest, ClockChangesFollowLocalTime) {
    // 31 March 2024: at 01:00 UTC Berlin goes from 02:00 to 03:00, so its
    // hour 2 does not occur and that day has no scheduled pass.
    schedule(true, 2);
    EXPECT_EQ(dueMinutes(QDate(2024, 3, 31)), 0);
    schedule(true, 3);
    EXPECT_EQ(dueMinutes(QDate(2024, 3, 31)), 60);
    EXPECT_TRUE(ScheduleService::shouldRunNow(utc(2024, 3, 31, 1, 0))) << "03:00 summer time";

    // 27 October 2024: 02:00 to 02:59 comes twice; a pass in the first one
    // is the day's pass.
    schedule(true, 2);
    EXPECT_EQ(dueMinutes(QDate(2024, 10, 26)) + dueMinutes(QDate(2024, 10, 27)), 60 + 120);
    ScheduleService::setLastRun(utc(2024, 10, 27, 0, 30));  // 02:30 summer time
    EXPECT_FALSE(ScheduleService::shouldRunNow(utc(2024, 10, 27, 1, 30))) << "02:30 winter time, same day";
    EXPECT_TRUE(ScheduleService::shouldRunNow(utc(2024, 10, 28, 1, 30))) << "02:30 the next day";
}

TEST_F(ScheduleServiceTest, CalendarDaysAreLocalNotUtc) {
    LocalZone newYork("America/New_York");
    // 22:00 on 1 May in New York is already 2 May in UTC.
    schedule(true, 10);
    ScheduleService::setLastRun(utc(2024, 5, 2, 2, 0));
    EXPECT_TRUE(ScheduleService::shouldRunNow(utc(2024, 5, 2, 14, 30))) << "10:30 on 2 May, a new local day";
    // 00:30 and 23:30 of 2 May in New York are on two UTC days.
    schedule(true, 23);
    ScheduleService::setLastRun(utc(2024, 5, 2, 4, 30));
    EXPECT_FALSE(ScheduleService::shouldRunNow(utc(2024, 5, 3, 3, 30))) << "23:30 on the same local day";
    // Across midnight: a pass at 23:59 and a tick at 00:00 are two days.
    schedule(true, 0);
    ScheduleService::setLastRun(local(2024, 5, 1, 23, 59));
    EXPECT_TRUE(ScheduleService::shouldRunNow(local(2024, 5, 2, 0, 0)));
    EXPECT_FALSE(ScheduleService::shouldRunNow(local(2024, 5, 1, 0, 30))) << "earlier on the day of that pass";
}

}  // namespace
}  // namespace tarnwick
