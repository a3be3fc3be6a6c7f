#include "services/health/MaintenanceService.h"

#include "TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

#include <thread>

using namespace tarnwick;
using namespace std::chrono_literals;
using Kind = MaintenanceTask::Kind;

namespace {

// Maintenance commands over tools that are small scripts.
class MaintenanceServiceTest : public ::testing::Test {
protected:
    // Installs a script as the tool at its usual path.
    QString tool(const QString& usualPath, const QByteArray& body) {
        const QString script =
            test::writeScript(env.path(QStringLiteral("bin/%1").arg(usualPath.section('/', -1))), body);
        env.environment().toolPaths.insert(usualPath, script);
        env.apply();
        return script;
    }
    QString runScript(const QByteArray& body, std::chrono::milliseconds limit = 10s) {
        tool(QStringLiteral("/usr/bin/probe"), body);
        return MaintenanceService::runCommand({QStringLiteral("/usr/bin/probe")}, limit);
    }

    test::FakeEnvironment env;
};

}  // namespace

TEST_F(MaintenanceServiceTest, ResultTextsFollowTheExitStatusAndTheOutput) {
    struct Case {
        QByteArray script;
        QString result;
    };
    const Case cases[] = {
        {"exit 0\n", "OK"},
        {"printf '  Flushed all caches.\\n\\n'\n", "Flushed all caches."},
        {"printf ' \\n\\t '\n", ""},  // white space only is an empty result, not "OK"
        {"echo ignored >&2\n", "OK"},  // standard error is not used on success
        {"printf '\\377\\376'\n", "OK"},  // output that is not UTF-8 counts as none
        {"echo '  partial listing  '; exit 1\n", "partial listing"},
        {"echo out; echo ' Permission denied ' >&2; exit 2\n", "Permission denied"},
        {"exit 1\n", "Failed (exit 1). May need Full Disk Access / admin."},
        {"printf ' ' >&2; echo out; exit 1\n", "Failed (exit 1). May need Full Disk Access / admin."},
        {"kill -9 $$\n", "Failed (signal 9)."},
        {"cat\n", "OK"},  // standard input is closed: a tool that reads it ends at once
    };
    for (const Case& c : cases) {
        EXPECT_EQ(runScript(c.script), c.result) << c.script.toStdString();
    }
}

TEST_F(MaintenanceServiceTest, ToolsThatCannotRunOrHangHaveTheirOwnSentence) {
    EXPECT_EQ(MaintenanceService::runCommand({}), "No command");
    EXPECT_EQ(MaintenanceService::run(Kind::thinSnapshots),
              "The tool \u201C/usr/bin/tmutil\u201D is not installed on this computer.")
        << "the snapshot tools do not exist here";
    const QString locked = test::writeFile(env.path(QStringLiteral("bin/locked")), "#!/bin/sh\n");
    env.environment().toolPaths.insert(QStringLiteral("/usr/bin/locked"), locked);
    env.apply();
    EXPECT_EQ(MaintenanceService::runCommand({QStringLiteral("/usr/bin/locked")}),
              "The tool \u201C/usr/bin/locked\u201D could not be started.");

    // A tool that hangs, and a child it left behind holding the pipes, end at the limit.
    EXPECT_TRUE(runScript("sleep 30 &\nsleep 30\n", 300ms).startsWith("Stopped: the tool \u201C/usr/bin/probe\u201D"));
    ToolResult timedOut;
    timedOut.status = ToolResult::Status::timedOut;
    timedOut.output = "partial";
    EXPECT_EQ(MaintenanceService::resultText(timedOut, "/usr/bin/fc-cache", MaintenanceService::kTimeLimit),
              "Stopped: the tool \u201C/usr/bin/fc-cache\u201D did not finish within 60 seconds.");
}

TEST_F(MaintenanceServiceTest, BothPipesAreReadWhileTheToolRuns) {
    // Far more than a pipe holds, on both streams: a runner that read only
    // after the exit, or only one stream, would hang here until the limit.
    const QString result = runScript("head -c 300000 /dev/zero | tr '\\0' a\n"
                                     "head -c 300000 /dev/zero | tr '\\0' b >&2\n"
                                     "exit 3\n");
    EXPECT_EQ(result, QString(300000, 'b')) << result.left(80).toStdString();
}

TEST_F(MaintenanceServiceTest, AStopRequestEndsTheRunningToolAndStartsNoFurtherOne) {
    const QString log = env.path(QStringLiteral("calls.log"));
    tool(QStringLiteral("/usr/bin/update-desktop-database"), "echo first >> '" + log.toUtf8() + "'\nsleep 30\n");
    tool(QStringLiteral("/usr/bin/update-mime-database"), "echo second >> '" + log.toUtf8() + "'\n");
    std::stop_source stop;
    std::thread stopper([&] {
        // The shell makes the log before it writes the line: stop once the line is there.
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        auto written = [&] {
            QFile calls(log);
            return calls.open(QIODevice::ReadOnly) && calls.readAll().endsWith('\n');
        };
        while (!written() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(5ms);
        stop.request_stop();
    });
    const auto started = std::chrono::steady_clock::now();
    MaintenanceService::run(Kind::rebuildLaunchServices, 20s, stop.get_token());
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    QFile calls(log);
    ASSERT_TRUE(calls.open(QIODevice::ReadOnly));
    EXPECT_EQ(calls.readAll(), "first\n") << "the second tool never started";
}

TEST_F(MaintenanceServiceTest, TwoCommandKindsJoinTheirResultsAndRunBothWhateverTheFirstGave) {
    const QString log = env.path(QStringLiteral("calls.log"));
    tool(QStringLiteral("/usr/bin/update-desktop-database"),
         "printf '%s\\n' \"$*\" >> '" + log.toUtf8() + "'\nexit 1\n");
    tool(QStringLiteral("/usr/bin/update-mime-database"), "printf '%s\\n' \"$*\" >> '" + log.toUtf8() + "'\n");
    EXPECT_EQ(MaintenanceService::run(Kind::rebuildLaunchServices),
              "Failed (exit 1). May need Full Disk Access / admin.\nOK");
    QFile calls(log);
    ASSERT_TRUE(calls.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(calls.readAll()),
              env.home() + "/.local/share/applications\n" + env.home() + "/.local/share/mime\n");
}

TEST_F(MaintenanceServiceTest, EveryKindHasFixedAbsoluteCommandsAndTasksGetNewIds) {
    const QList<MaintenanceTask> first = MaintenanceService::allTasks();
    const QList<MaintenanceTask> second = MaintenanceService::allTasks();
    ASSERT_EQ(first.size(), 6);
    for (qsizetype i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i].kind, allMaintenanceKinds()[i]);
        EXPECT_EQ(second[i].kind, first[i].kind);
        EXPECT_NE(second[i].id, first[i].id);
        EXPECT_FALSE(first[i].lastResult);
        EXPECT_FALSE(first[i].isRunning);
        const QList<QStringList> commands = MaintenanceService::commands(first[i].kind);
        ASSERT_FALSE(commands.isEmpty());
        for (const QStringList& command : commands) EXPECT_TRUE(command.first().startsWith('/'));
    }
    EXPECT_EQ(MaintenanceService::commands(Kind::flushDNS),
              QList<QStringList>({{"/usr/bin/resolvectl", "flush-caches"}}));
    EXPECT_EQ(MaintenanceService::commands(Kind::reindexSpotlight),
              QList<QStringList>({{"/usr/bin/tracker3", "reset", "--filesystem"}}));
    EXPECT_EQ(MaintenanceService::commands(Kind::clearFontCaches), QList<QStringList>({{"/usr/bin/fc-cache", "-r"}}));
}
