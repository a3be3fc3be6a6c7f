#include "services/safebin/SafeBinService.h"

#include "SafeBinTestSupport.h"

#include <QFileInfo>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

const QDateTime kNow(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC);
constexpr qint64 kMinute = 60 * 1000;
constexpr qint64 kDay = 24 * 60 * kMinute;

class SafeBinClockTest : public SafeBinTest {
protected:
    // The computer as the bin sees it: the date and time, and which run of
    // the machine it is with how long that run has lasted ("" when the boot
    // id cannot be read).
    void computer(const QDateTime& clock, const QByteArray& boot, qint64 uptime) {
        env.environment().clock = [clock] { return clock; };
        env.environment().uptimeClock = [boot, uptime] { return Environment::Uptime{boot, uptime}; };
        env.apply();
    }
    SafeBinEntry clean(const QString& name) {
        const auto result = SafeBinService::moveToSafeBin({writeFile(home(name), "x")});
        EXPECT_EQ(result.moved.size(), 1u);
        return result.moved.at(0);
    }
    // Purges as every caller does, then tells whether the item is still in the bin.
    bool stillHeld(const SafeBinEntry& entry) {
        SafeBinService::purgeExpired(SafeBinService::kExpiryDays);
        for (const SafeBinEntry& listed : SafeBinService::list()) {
            if (listed.id == entry.id) return QFileInfo::exists(SafeBinTest::held(listed));
        }
        return false;
    }
    QString clockFile() const { return bin() + QStringLiteral("/manifest.clock"); }
};

}  // namespace

// Cleaned while the clock was 40 days behind, then restarted with the right
// clock; restarted with the clock a month ahead; really switched off for a
// month: nothing goes before a day of running time in the bin, and the month
// switched off still counts.
TEST_F(SafeBinClockTest, ARestartNeverCreditsAClockJumpBeforeADayOfRunning) {
    computer(kNow.addDays(-40), "first", 10 * kMinute);
    const SafeBinEntry behind = clean("behind.log");
    computer(kNow, "second", 5 * kMinute);
    const auto next = SafeBinService::moveToSafeBin({writeFile(home("next.log"), "x")});  // the first action purges
    EXPECT_EQ(next.moved.size(), 1u);
    EXPECT_TRUE(stillHeld(behind));
    computer(kNow.addSecs(23 * 3600), "second", 5 * kMinute + 23 * 60 * kMinute);
    EXPECT_TRUE(stillHeld(behind));
    computer(kNow.addDays(1), "second", 6 * kMinute + kDay);
    EXPECT_FALSE(stillHeld(behind));  // 41 days old, and a day of running in the bin

    const SafeBinEntry ahead = clean("ahead.log");
    computer(kNow.addDays(32), "third", 2 * kMinute);  // comes up 31 days ahead
    EXPECT_TRUE(stillHeld(ahead));
    computer(kNow.addDays(33), "third", 2 * kMinute + kDay);
    EXPECT_FALSE(stillHeld(ahead));

    // Switched off for a month: what had run a day in the bin goes at the
    // next start, what was cleaned just before switching off a day later.
    const SafeBinEntry ran = clean("ran.log");
    computer(kNow.addDays(35), "third", 2 * kMinute + 3 * kDay);
    const SafeBinEntry last = clean("last.log");
    computer(kNow.addDays(70), "fourth", kMinute);
    EXPECT_FALSE(stillHeld(ran));
    EXPECT_TRUE(stillHeld(last));
    computer(kNow.addDays(71), "fourth", kMinute + kDay);
    EXPECT_FALSE(stillHeld(last));
    EXPECT_TRUE(SafeBinService::list().empty());
}

// The same when manifest.clock is gone or unreadable at the restart, and
// when the boot id cannot be read.
TEST_F(SafeBinClockTest, ALostClockFileOrBootIdStillWaitsForADayOfRunning) {
    for (const QByteArray& damage : {QByteArray(), QByteArray("12 torn"), QByteArray("garbage here\n")}) {
        SCOPED_TRACE(damage.toStdString());
        QFile::remove(clockFile());  // each round starts afresh
        computer(kNow.addDays(-40), "first", 3 * kDay);
        const SafeBinEntry item = clean("item.log");
        if (damage.isEmpty()) {
            ASSERT_TRUE(QFile::remove(clockFile()));
        } else {
            writeFile(clockFile(), damage);
        }
        computer(kNow, "second", 5 * kMinute);
        EXPECT_TRUE(stillHeld(item));
        computer(kNow.addSecs(20 * 3600), "second", 5 * kMinute + 20 * 60 * kMinute);
        EXPECT_TRUE(stillHeld(item));
        computer(kNow.addDays(1), "second", 6 * kMinute + kDay);
        EXPECT_FALSE(stillHeld(item));
    }

    // No boot id: a restart with the right clock, and a clock set a month
    // ahead in the same run, gain nothing before a day of running.
    QFile::remove(clockFile());
    computer(kNow.addDays(-40), "", 10 * kMinute);
    const SafeBinEntry item = clean("no-boot-id.log");
    computer(kNow, "", 5 * kMinute);
    EXPECT_TRUE(stillHeld(item));
    computer(kNow.addDays(31), "", 6 * kMinute);
    EXPECT_TRUE(stillHeld(item));
    computer(kNow.addDays(32), "", 2 * kMinute + kDay);  // a day more on the uptime clock
    EXPECT_FALSE(stillHeld(item));
}

// A clock file of the earlier form (no running time) still serves, and the
// running time an item is dated by is kept in the manifest.
TEST_F(SafeBinClockTest, TheEarlierClockFileLoadsAndTheRunningTimeIsRecorded) {
    writeFile(clockFile(), QByteArray::number(kNow.addDays(10).toMSecsSinceEpoch()) + " run 1000\n");
    computer(kNow, "run", 2000);
    const SafeBinEntry item = clean("item.log");
    EXPECT_EQ(item.removedAt, kNow.addDays(10));  // the newest time seen, not the clock
    EXPECT_EQ(item.runningAt, 2000);
    EXPECT_EQ(recorded(), std::vector<SafeBinEntry>{item});
    EXPECT_EQ(contents(clockFile()), QByteArray::number(kNow.addDays(10).toMSecsSinceEpoch()) + " run 2000 2000\n");
}

// A hand-edited manifest.clock with readings near the ends of their range is
// damage: nothing wraps, the clock and the uptime clock are taken up afresh,
// and an item still waits for its day of running from there.
TEST_F(SafeBinClockTest, ReadingsNearTheEndsOfTheirRangeAreDamage) {
    const QByteArray now = QByteArray::number(kNow.toMSecsSinceEpoch());
    const QByteArray later = QByteArray::number(kNow.addDays(40).toMSecsSinceEpoch());
    for (const QByteArray& damage : {now + " run 60000 9223372036854775000\n", now + " run -9223372036854775000 0\n",
                                     QByteArray("-9223372036854775000 run 60000 0\n"),
                                     QByteArray("9223372036854775000 run 60000 0\n")}) {
        SCOPED_TRACE(damage.toStdString());
        QFile::remove(clockFile());
        computer(kNow, "run", kMinute);
        const SafeBinEntry item = clean("item.log");
        writeFile(clockFile(), damage);
        computer(kNow.addDays(40), "run", 2 * kMinute);
        EXPECT_TRUE(stillHeld(item));
        EXPECT_EQ(contents(clockFile()), later + " run 120000 120000\n");
        computer(kNow.addDays(40).addSecs(23 * 3600), "run", 2 * kMinute + 23 * 60 * kMinute);
        EXPECT_TRUE(stillHeld(item));
        computer(kNow.addDays(41), "run", 2 * kMinute + kDay);
        EXPECT_FALSE(stillHeld(item));
    }
}
