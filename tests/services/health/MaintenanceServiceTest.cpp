#include "services/health/MaintenanceService.h"

#include "TestSupport.h"

#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <thread>

using namespace tarnwick;
using namespace std::chrono_literals;
using Kind = MaintenanceTask::Kind;

namespace {

// Maintenance commands over tools that are small scripts.
class MaintenanceServiceTest : public ::testing::Test {
protected:
    QString runScript(const QByteArray& body, std::chrono::milliseconds limit = 10s) {
        env.tool(QStringLiteral("/usr/bin/probe"), body);
        return MaintenanceService::runCommand({QStringLiteral("/usr/bin/probe")}, limit);
    }

    // The user's desktop entry and file type folders, which the rebuild task acts on.
    void userDataFolders() {
        test::makeDir(env.home() + "/.local/share/applications");
        test::makeDir(env.home() + "/.local/share/mime/packages");
    }
    QByteArray readLog() const {
        QFile calls(env.path(QStringLiteral("calls.log")));
        return calls.open(QIODevice::ReadOnly) ? calls.readAll() : QByteArray("<none>");
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
        {"exit 1\n", "Failed (exit 1). May need administrator rights."},
        {"printf ' ' >&2; echo out; exit 1\n", "Failed (exit 1). May need administrator rights."},
        {"kill -9 $$\n", "Failed (signal 9)."},
        {"cat\n", "OK"},  // standard input is closed: a tool that reads it ends at once
    };
    for (const Case& c : cases) {
        EXPECT_EQ(runScript(c.script), c.result) << c.script.toStdString();
    }
}

TEST_F(MaintenanceServiceTest, ToolsThatCannotRunOrHangHaveTheirOwnSentence) {
    EXPECT_EQ(MaintenanceService::runCommand({}), "No command");
    EXPECT_EQ(MaintenanceService::runCommand({QStringLiteral("/usr/bin/no-such-tool")}),
              "The tool \u201C/usr/bin/no-such-tool\u201D is not installed on this computer.");
    const QString locked = test::writeFile(env.path(QStringLiteral("bin/locked")), "#!/bin/sh\n");
    env.environment().toolPaths.insert(QStringLiteral("/usr/bin/locked"), locked);
    env.apply();
    EXPECT_EQ(MaintenanceService::runCommand({QStringLiteral("/usr/bin/locked")}),
              "The tool \u201C/usr/bin/locked\u201D could not be started.");

    // A tool that hangs, and a child it left behind holding the pipes, end at the limit.
    EXPECT_TRUE(runScript("sleep 30 &\nsleep 30\n", 300ms).startsWith("Stopped: the tool \u201C/usr/bin/probe\u201D"));
}

TEST_F(MaintenanceServiceTest, AStopRequestEndsTheRunningToolAndStartsNoFurtherOne) {
    userDataFolders();
    const QString log = env.path(QStringLiteral("calls.log"));
    env.tool(QStringLiteral("/usr/bin/update-desktop-database"), "echo first >> '" + log.toUtf8() + "'\nsleep 30\n");
    env.tool(QStringLiteral("/usr/bin/update-mime-database"), "echo second >> '" + log.toUtf8() + "'\n");
    std::stop_source stop;
    std::thread stopper([&] {
        // The shell makes the log before it writes the line: stop once the line is there.
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (!readLog().endsWith('\n') && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(5ms);
        stop.request_stop();
    });
    const auto started = std::chrono::steady_clock::now();
    MaintenanceService::run(Kind::rebuildLaunchServices, 20s, stop.get_token());
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    EXPECT_EQ(readLog(), "first\n") << "the second tool never started";
}

TEST_F(MaintenanceServiceTest, TwoCommandKindsJoinTheirResultsAndRunBothWhateverTheFirstGave) {
    userDataFolders();
    const QString log = env.path(QStringLiteral("calls.log"));
    env.tool(QStringLiteral("/usr/bin/update-desktop-database"),
         "printf '%s\\n' \"$*\" >> '" + log.toUtf8() + "'\nexit 1\n");
    env.tool(QStringLiteral("/usr/bin/update-mime-database"), "printf '%s\\n' \"$*\" >> '" + log.toUtf8() + "'\n");
    EXPECT_EQ(MaintenanceService::run(Kind::rebuildLaunchServices),
              "Failed (exit 1). May need administrator rights.\nOK");
    EXPECT_EQ(QString::fromUtf8(readLog()),
              env.home() + "/.local/share/applications\n" + env.home() + "/.local/share/mime\n");
}

// A stock system: no local DNS cache, no desktop search, no snapshot tool
// for the user, no applications of the user's own. Every task says plainly
// why it does nothing, in this system's words, and runs no tool.
TEST_F(MaintenanceServiceTest, OnAStockSystemEachTaskWorksOrSaysWhyNot) {
    const QString log = env.path(QStringLiteral("calls.log"));
    for (const char* usual : {"/usr/bin/resolvectl", "/usr/sbin/nscd", "/usr/bin/update-desktop-database",
                              "/usr/bin/update-mime-database"}) {
        env.tool(QString::fromLatin1(usual), "echo \"$0\" >> '" + log.toUtf8() + "'\n");
    }
    env.tool(QStringLiteral("/usr/bin/fc-cache"), "exit 0\n");
    const QRegularExpression otherPlatform(
        QStringLiteral("\\b(Mac|macOS|tmutil|Time Machine|Full Disk Access|Spotlight|purgeable|Finder|APFS)\\b"));
    for (Kind kind : allMaintenanceKinds()) {
        const QString result = MaintenanceService::run(kind);
        SCOPED_TRACE(rawValue(kind).toStdString() + ": " + result.toStdString());
        EXPECT_FALSE(result.isEmpty());
        EXPECT_FALSE(result.contains(otherPlatform));
        EXPECT_FALSE(rawValue(kind).contains(otherPlatform));
        EXPECT_FALSE(description(kind).contains(otherPlatform));
        EXPECT_FALSE(result.startsWith("The tool")) << "a missing tool is said in the task's own words";
    }
    EXPECT_EQ(readLog(), "<none>") << "nothing to act on: no tool ran";
    EXPECT_TRUE(MaintenanceService::run(Kind::flushDNS).startsWith("No local DNS cache is running"));
    EXPECT_TRUE(MaintenanceService::run(Kind::purgeableHint).startsWith("There is no snapshot tool set up for you"));
    EXPECT_EQ(MaintenanceService::run(Kind::clearFontCaches), "OK");
}

TEST_F(MaintenanceServiceTest, TasksActOnWhatRunsAndWhatExistsHere) {
    using Commands = QList<QStringList>;
    // The resolver that runs is the one flushed.
    test::writeFile(env.root() + "/run/nscd/socket");
    EXPECT_EQ(MaintenanceService::plan(Kind::flushDNS).commands, Commands({{"/usr/sbin/nscd", "--invalidate=hosts"}}));
    test::writeFile(env.root() + "/run/systemd/resolve/stub-resolv.conf");
    EXPECT_EQ(MaintenanceService::plan(Kind::flushDNS).commands, Commands({{"/usr/bin/resolvectl", "flush-caches"}}));

    env.tool(QStringLiteral("/usr/bin/tracker3"), "exit 0\n");
    EXPECT_EQ(MaintenanceService::plan(Kind::reindexSpotlight).commands,
              Commands({{"/usr/bin/tracker3", "reset", "--filesystem"}}));
    EXPECT_EQ(MaintenanceService::plan(Kind::clearFontCaches).commands, Commands({{"/usr/bin/fc-cache", "-r"}}));

    // Only the user's folders that exist are rebuilt: the file type tool
    // refuses a folder without its "packages" source folder.
    const QString applications = test::makeDir(env.home() + "/.local/share/applications");
    test::makeDir(env.home() + "/.local/share/mime");
    EXPECT_EQ(MaintenanceService::plan(Kind::rebuildLaunchServices).commands,
              Commands({{"/usr/bin/update-desktop-database", applications}}));
    test::makeDir(env.home() + "/.local/share/mime/packages");
    EXPECT_EQ(MaintenanceService::plan(Kind::rebuildLaunchServices).commands.size(), 2);
}

TEST_F(MaintenanceServiceTest, AFloodOfOutputIsCutAtTheLimitAndSaysSo) {
    // Far more than the limit on standard output, then a failure on a
    // second flood of standard error: each stream keeps its first part only.
    const QString passed = runScript("head -c 5000000 /dev/zero | tr '\\0' a\n");
    EXPECT_TRUE(passed.startsWith(QString(1000, 'a')));
    EXPECT_TRUE(passed.endsWith("[Output cut: only the first 1 MB is kept.]")) << passed.right(80).toStdString();
    EXPECT_LT(passed.size(), 1'000'100);
    const QString failed = runScript("echo fine; head -c 3000000 /dev/zero | tr '\\0' b >&2; exit 2\n");
    EXPECT_TRUE(failed.startsWith(QString(1000, 'b')));
    EXPECT_TRUE(failed.endsWith("kept.]"));
    // A character cut in two at the limit is dropped, not taken for bad bytes that void the text.
    EXPECT_TRUE(runScript("yes \u00e9 | head -c 1500000\n").startsWith(QStringLiteral("\u00e9\n\u00e9")));
}
