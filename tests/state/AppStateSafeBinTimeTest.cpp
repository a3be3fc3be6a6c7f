#include "state/AppState.h"

#include "StateTestSupport.h"
#include "TestSupport.h"
#include "services/safebin/SafeBinService.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <mutex>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tarnwick {
namespace {

const QDateTime kMorning(QDate(2024, 5, 1), QTime(8, 0), Qt::UTC);
constexpr qint64 kMinute = 60 * 1000;

// The computer as the program sees it while it runs: the date and time, and
// which run of the machine it is with how long that run has lasted. Both
// clocks move together; read from any thread.
class Computer {
public:
    explicit Computer(test::FakeEnvironment& env) {
        env.environment().clock = [state = state_] {
            std::lock_guard lock(state->mutex);
            return state->clock;
        };
        env.environment().uptimeClock = [state = state_] {
            std::lock_guard lock(state->mutex);
            return Environment::Uptime{state->boot, state->uptime};
        };
        env.apply();
    }
    // Started at `clock`, up for `uptime` so far.
    void boot(const QDateTime& clock, const QByteArray& boot, qint64 uptime) {
        std::lock_guard lock(state_->mutex);
        state_->clock = clock;
        state_->boot = boot;
        state_->uptime = uptime;
    }
    void pass(qint64 msecs) {
        std::lock_guard lock(state_->mutex);
        state_->clock = state_->clock.addMSecs(msecs);
        state_->uptime += msecs;
    }

private:
    struct State {
        std::mutex mutex;
        QDateTime clock;
        QByteArray boot;
        qint64 uptime = 0;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

class AppStateSafeBinTimeTest : public ::testing::Test {
protected:
    // The running time manifest.clock holds.
    qint64 storedRunningTime() const {
        QFile file(SafeBinService::root() + "/manifest.clock");
        if (!file.open(QIODevice::ReadOnly)) return -1;
        const QList<QByteArray> fields = file.readAll().trimmed().split(' ');
        return fields.size() == 4 ? fields[3].toLongLong() : -1;
    }
    bool held(const SafeBinEntry& entry) const {
        return QFileInfo::exists(SafeBinService::root() + "/" + entry.storedName);
    }

    test::FakeEnvironment env;
    Computer computer{env};
};

// The program starts at login and runs 8 hours and 20 minutes a day, its Safe
// Bin never opened: every minute of those runs counts (the ticks and the
// quit keep the running time), and what was cleaned at the first start goes
// at the first tick after its 30 days, without waiting for a Safe Bin action.
TEST_F(AppStateSafeBinTimeTest, ADailyRunThatNeverOpensTheSafeBinStillEmptiesIt) {
    constexpr qint64 kLogin = 2 * kMinute;  // the machine's uptime when the program starts
    constexpr qint64 kTickEvery = 30 * kMinute;
    constexpr int kTicks = 16;  // 8 hours of them, then 20 minutes to the quit
    constexpr qint64 kRun = kLogin + kTicks * kTickEvery + 20 * kMinute;
    std::optional<SafeBinEntry> item;
    for (int day = 0; day <= 30; ++day) {
        SCOPED_TRACE(day);
        computer.boot(kMorning.addDays(day), "boot" + QByteArray::number(day), kLogin);
        auto state = test::startedState();
        if (day == 0) {
            const auto result = SafeBinService::moveToSafeBin({test::writeFile(env.home("old.log"), "x")});
            ASSERT_EQ(result.moved.size(), 1u);
            item = result.moved.at(0);
            state->reloadSafeBin();
            ASSERT_TRUE(test::safeBinSettled(*state));
        }
        ASSERT_EQ(test::safeBinNames(*state), QStringList{"old.log"}) << "never before its 30 days";
        for (int tick = 1; tick <= kTicks; ++tick) {
            computer.pass(kTickEvery);
            AppStateTesting::scheduleTick(*state);
            ASSERT_TRUE(test::safeBinSettled(*state));
            if (day == 30) break;
        }
        if (day == 30) {
            // 30 days and half an hour in the bin, 240 hours of running.
            EXPECT_TRUE(state->safeBinItems().empty()) << "the tick's purge reaches the list";
            EXPECT_FALSE(held(*item));
            EXPECT_TRUE(SafeBinService::list().empty());
            break;
        }
        computer.pass(20 * kMinute);
        state.reset();  // the quit
        EXPECT_EQ(storedRunningTime(), (day + 1) * kRun);
        EXPECT_TRUE(held(*item));
    }
}

// Another process holding the Safe Bin's lock (a second copy of the program
// in the middle of a long move, say) never holds up the quit: the running
// time is then kept by the next tick or quit instead.
TEST_F(AppStateSafeBinTimeTest, TheQuitNeverWaitsForTheBinsLock) {
    computer.boot(kMorning, "boot", 2 * kMinute);
    auto state = test::startedState();
    computer.pass(5 * kMinute);
    // A lock of another open file, as another process holds it.
    const int holder = ::open((SafeBinService::root() + "/manifest.lock").toLocal8Bit().constData(),
                              O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    auto quit = std::async(std::launch::async, [&] { state.reset(); });
    const bool quitAtOnce = quit.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
    ::close(holder);  // lets a waiting quit go on, so that the test ends either way
    quit.wait();
    EXPECT_TRUE(quitAtOnce);
}

}  // namespace
}  // namespace tarnwick
