#include "services/health/PerformanceService.h"

#include "services/health/ProcPidStat.h"

#include "TestSupport.h"

#include <QProcess>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace tarnwick;
using Outcome = PerformanceService::QuitOutcome;

namespace {

// The quit checks read the real /proc.
class PerformanceServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        environment.environment().rootPrefix.clear();
        environment.apply();
    }

    // A child that sleeps until it is told to go, with its identity as listed now.
    std::pair<qint32, ProcessIdentity> startChild(QProcess& child) {
        child.start(QStringLiteral("/bin/sleep"), {QStringLiteral("30")});
        EXPECT_TRUE(child.waitForStarted());
        const qint32 pid = static_cast<qint32>(child.processId());
        const std::optional<ProcPidStat> stat = ProcPidStat::read(QString(), pid);
        EXPECT_TRUE(stat);
        return {pid, stat ? stat->identity() : ProcessIdentity{}};
    }

    test::FakeEnvironment environment;
};

}  // namespace

// Only the process that was listed is signalled: a pid now held by another
// (another start time or name) is left alone.
TEST_F(PerformanceServiceTest, QuitsTheProcessThatWasListedAndNoOtherHoldingItsPid) {
    QProcess child;
    const auto [pid, identity] = startChild(child);
    EXPECT_EQ(identity.name, "sleep");
    for (const ProcessIdentity& other : {ProcessIdentity{identity.name, identity.startTime + 1},
                                         ProcessIdentity{QStringLiteral("editor"), identity.startTime}}) {
        EXPECT_EQ(PerformanceService::quitProcess(pid, other), Outcome::noLongerRunning);
    }
    EXPECT_FALSE(child.waitForFinished(200)) << "the child must still run";
    EXPECT_EQ(PerformanceService::quitProcess(pid, identity), Outcome::requested);
    ASSERT_TRUE(child.waitForFinished(5000));
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(PerformanceService::quitProcess(pid, identity), Outcome::noLongerRunning) << "it has exited";
}

TEST_F(PerformanceServiceTest, RefusesTheFirstProcessAndItself) {
    const qint32 self = static_cast<qint32>(::getpid());
    const std::optional<ProcPidStat> own = ProcPidStat::read(QString(), self);
    ASSERT_TRUE(own);
    for (const qint32 pid : {-5, 0, 1, self}) {
        EXPECT_EQ(PerformanceService::quitProcess(pid, own->identity()), Outcome::refused) << pid;
    }
}
