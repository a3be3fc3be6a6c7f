#include "state/AppState.h"

#include "StateTestSupport.h"
#include "TestSupport.h"
#include "services/health/PerformanceService.h"
#include "services/health/ProcPidStat.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace tarnwick {
namespace {

using Kind = PerformanceItem::Kind;

PerformanceItem item(const QString& title, Kind kind, std::optional<qint32> pid = std::nullopt) {
    PerformanceItem result;
    result.title = title;
    result.kind = kind;
    result.pid = pid;
    result.canQuit = kind == Kind::process;
    if (kind != Kind::process) result.path = QStringLiteral("/nowhere/") + title;
    return result;
}

// The performance actions of AppState: quits, disables and maintenance runs
// against the real functions with fake folders, real child processes and
// tools that are scripts.
class AppStatePerformanceTest : public ::testing::Test {
protected:
    AppStatePerformanceTest() {
        env.environment().rootPrefix.clear();  // quits read the real /proc
        env.apply();
        state = test::startedState();
    }
    ~AppStatePerformanceTest() override {
        for (QProcess* child : children) {
            child->kill();
            child->waitForFinished();
            delete child;
        }
        state.reset();
    }

    // A sleeping child listed as a process row, with its identity as listed now.
    PerformanceItem child(QProcess** started = nullptr) {
        auto* process = new QProcess;
        children.push_back(process);
        process->start(QStringLiteral("/bin/sleep"), {QStringLiteral("30")});
        EXPECT_TRUE(process->waitForStarted());
        PerformanceItem row = item(QStringLiteral("sleep"), Kind::process, qint32(process->processId()));
        const std::optional<ProcPidStat> stat = ProcPidStat::read(QString(), *row.pid);
        EXPECT_TRUE(stat);
        if (stat) row.identity = stat->identity();
        if (started) *started = process;
        return row;
    }
    void list(QList<PerformanceItem> items) { AppStateTesting::setPerformanceItems(*state, std::move(items)); }
    const MaintenanceTask& task(MaintenanceTask::Kind kind) const {
        for (const MaintenanceTask& t : state->maintenanceTasks()) {
            if (t.kind == kind) return t;
        }
        return state->maintenanceTasks().front();
    }

    test::FakeEnvironment env;
    std::unique_ptr<AppState> state;
    std::vector<QProcess*> children;
};

}  // namespace

TEST_F(AppStatePerformanceTest, QuittingRemovesTheProcessRowsAndLogsTheQuit) {
    QProcess* process = nullptr;
    const PerformanceItem row = child(&process);
    PerformanceItem twin = row;
    twin.id = QUuid::createUuid();
    list({row, item("agent", Kind::launchAgent), twin});

    state->quitPerformanceProcess(*row.pid);
    EXPECT_EQ(test::titlesOf(state->performanceItems()), QStringList({"agent"})) << "agent rows have no pid";
    EXPECT_FALSE(state->errorMessage());
    ASSERT_TRUE(process->waitForFinished(5000));
    ASSERT_TRUE(test::safeBinSettled(*state));
    ASSERT_EQ(state->activityEvents().size(), 1);
    EXPECT_EQ(state->activityEvents()[0].kind, "Performance");
}

TEST_F(AppStatePerformanceTest, AProcessThatIsGoneOrWasReplacedIsNotSignalled) {
    QProcess* process = nullptr;
    PerformanceItem reused = child(&process);
    reused.identity->startTime += 1;  // the pid now names a later process
    list({reused});
    state->quitPerformanceProcess(*reused.pid);
    EXPECT_EQ(state->errorMessage(), QStringLiteral("Process %1 is no longer running.").arg(*reused.pid));
    EXPECT_TRUE(state->performanceItems().isEmpty()) << "the stale row goes";
    EXPECT_FALSE(process->waitForFinished(200)) << "the process with that pid now was left alone";

    QProcess* ended = nullptr;
    const PerformanceItem gone = child(&ended);
    ended->kill();
    ended->waitForFinished();
    list({gone});
    state->quitPerformanceProcess(*gone.pid);
    EXPECT_EQ(state->errorMessage(), QStringLiteral("Process %1 is no longer running.").arg(*gone.pid));

    state->quitPerformanceProcess(*reused.pid);  // no longer listed: nothing vouches for it
    EXPECT_EQ(state->errorMessage(), QStringLiteral("Could not quit process %1.").arg(*reused.pid));
    EXPECT_FALSE(process->waitForFinished(100));
    ASSERT_TRUE(test::safeBinSettled(*state));
    EXPECT_TRUE(state->activityEvents().isEmpty()) << "failed quits are not logged";
}

TEST_F(AppStatePerformanceTest, DisablingRemovesOnlyThatRowOrKeepsItWithTheError) {
    PerformanceItem entry = item("chat", Kind::loginItem);
    entry.path = test::writeFile(env.home() + "/.config/autostart/chat.desktop");
    PerformanceItem missing = item("old", Kind::loginItem);
    missing.path = env.home() + "/.config/autostart/old.desktop";
    const PerformanceItem process = item("editor", Kind::process, 4242);
    list({process, entry, missing});

    state->disablePerformanceItem(process);  // no path: nothing happens
    EXPECT_FALSE(state->performanceItems()[0].isDisabling);
    state->disablePerformanceItem(missing);
    ASSERT_TRUE(test::waitUntil([&] { return state->errorMessage().has_value(); }));
    EXPECT_EQ(state->errorMessage(), "Could not disable old: No such file or directory");
    ASSERT_EQ(state->performanceItems().size(), 3) << "a failed disable keeps its row";
    EXPECT_FALSE(state->performanceItems()[2].isDisabling) << "and its row is back to normal";

    state->disablePerformanceItem(entry);
    ASSERT_TRUE(test::waitUntil([&] { return state->performanceItems().size() == 2; }));
    EXPECT_EQ(test::titlesOf(state->performanceItems()), QStringList({"editor", "old"}));
    EXPECT_TRUE(QFile::exists(*entry.path + ".disable"));
    ASSERT_TRUE(test::safeBinSettled(*state));
    EXPECT_EQ(state->activityEvents().size(), 1) << "only the disable that worked is logged";
}

// systemctl may take its whole time limit: the action returns at once with
// the row marked, and the outcome arrives when the tool ends; a state that
// goes away meanwhile kills the tool and leaves the unit's file in place.
TEST_F(AppStatePerformanceTest, ADisableWhoseToolIsSlowLeavesThisThreadFree) {
    const QString gate = env.path(QStringLiteral("gate"));
    const QString calls = env.path(QStringLiteral("calls"));
    env.tool("/usr/bin/systemctl", "echo x >> '" + calls.toUtf8() + "'\nwhile [ ! -e '" + gate.toUtf8() +
                                       "' ]; do sleep 0.01; done\n");
    PerformanceItem unit = item("sync", Kind::launchAgent);
    unit.path = test::writeFile(env.home() + "/.config/systemd/user/sync.service");
    list({item("editor", Kind::process, 4242), unit});

    const auto before = std::chrono::steady_clock::now();
    state->disablePerformanceItem(unit);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1)) << "the tool runs elsewhere";
    ASSERT_EQ(state->performanceItems().size(), 2);
    EXPECT_TRUE(state->performanceItems()[1].isDisabling) << "the row shows it is working";
    EXPECT_FALSE(state->performanceItems()[0].isDisabling);
    ASSERT_TRUE(test::waitUntil([&] { return QFile::exists(calls); }));
    state->disablePerformanceItem(unit);  // already running: ignored
    test::spin(50);
    EXPECT_TRUE(QFile::exists(*unit.path)) << "not renamed before its tool ends";

    test::writeFile(gate);
    ASSERT_TRUE(test::waitUntil([&] { return state->performanceItems().size() == 1; }));
    EXPECT_TRUE(QFile::exists(*unit.path + ".disable"));
    EXPECT_FALSE(state->errorMessage());
    ASSERT_TRUE(test::safeBinSettled(*state));
    ASSERT_EQ(state->activityEvents().size(), 1);
    EXPECT_EQ(state->activityEvents()[0].summary, "Disabled sync");
    QFile log(calls);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(log.readAll(), "x\n") << "one run of the tool";

    QFile::remove(gate);
    QFile::remove(calls);
    PerformanceItem other = item("mail", Kind::launchAgent);
    other.path = test::writeFile(env.home() + "/.config/systemd/user/mail.service");
    list({other});
    state->disablePerformanceItem(other);
    ASSERT_TRUE(test::waitUntil([&] { return QFile::exists(calls); }));
    const auto closing = std::chrono::steady_clock::now();
    state.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - closing, std::chrono::seconds(10)) << "the tool is killed";
    EXPECT_TRUE(QFile::exists(*other.path)) << "nothing moved that no one was told of";
}

// Every scan lists a file under a new id, so a disable is known by its file:
// a Refresh or the daily pass while it runs shows the file's new row still
// disabling, and once it worked the file's row goes from whatever list is
// current, even one a scan read before the disable ended.
TEST_F(AppStatePerformanceTest, ARescanDuringADisableKeepsTheFilesRowDisablingUntilItLeaves) {
    env.environment().rootPrefix = env.path(QStringLiteral("root"));  // none of the machine's processes or units
    env.apply();
    const QString gate = env.path(QStringLiteral("gate"));
    const QString calls = env.path(QStringLiteral("calls"));
    env.tool("/usr/bin/systemctl", "echo x >> '" + calls.toUtf8() + "'\nwhile [ ! -e '" + gate.toUtf8() +
                                       "' ]; do sleep 0.01; done\n");
    const QString unit = test::writeFile(env.home() + "/.config/systemd/user/sync.service");
    const QString other = test::writeFile(env.home() + "/.config/systemd/user/mail.service");
    std::atomic_bool hold{false};
    std::atomic_int scans{0};
    ModuleServices modules = test::quietModules();
    modules.performanceScan = [&](const ModuleServices::Progress& progress, std::stop_token stop) {
        QList<PerformanceItem> found = PerformanceService::scan(progress, stop);
        ++scans;
        while (hold && !stop.stop_requested()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return found;
    };
    state.reset();
    state = test::startedState(modules);
    auto rowOf = [&](const QString& path) { return test::byPath(state->performanceItems(), path); };
    auto rescan = [&] {
        state->runPerformanceScan();
        return test::waitUntil([&] { return !state->isPerformanceScanning(); });
    };

    ASSERT_TRUE(rescan());
    ASSERT_TRUE(rowOf(unit) && rowOf(other));
    const QUuid listed = rowOf(unit)->id;
    state->disablePerformanceItem(*rowOf(unit));
    ASSERT_TRUE(test::waitUntil([&] { return QFile::exists(calls); })) << state->errorMessage().value_or("-").toStdString();

    ASSERT_TRUE(rescan());
    ASSERT_TRUE(rowOf(unit));
    EXPECT_NE(rowOf(unit)->id, listed) << "the rescan's own row";
    EXPECT_TRUE(rowOf(unit)->isDisabling) << "its button reads Disabling and is off";
    EXPECT_FALSE(rowOf(other)->isDisabling);
    state->disablePerformanceItem(*rowOf(unit));  // the new row: the same file, already running
    state->runVidurAded();
    ASSERT_TRUE(test::waitUntil([&] { return !state->isVidurAdedRunning(); }));
    ASSERT_TRUE(rowOf(unit));
    EXPECT_TRUE(rowOf(unit)->isDisabling) << "the daily pass's list shows it too";

    // A scan that read the folder before the disable ended publishes after it.
    hold = true;
    const int before = scans;
    state->runPerformanceScan();
    ASSERT_TRUE(test::waitUntil([&] { return scans > before; }));
    test::writeFile(gate);
    ASSERT_TRUE(test::waitUntil([&] { return !rowOf(unit); })) << "the pass's row of the file left";
    EXPECT_TRUE(QFile::exists(unit + ".disable"));
    hold = false;
    ASSERT_TRUE(test::waitUntil([&] { return !state->isPerformanceScanning(); }));
    EXPECT_FALSE(rowOf(unit)) << "the older reading does not bring it back";
    ASSERT_TRUE(rowOf(other));
    EXPECT_FALSE(rowOf(other)->isDisabling);
    EXPECT_FALSE(state->errorMessage());

    ASSERT_TRUE(test::safeBinSettled(*state));
    QStringList performanceEvents;
    for (const ActivityEvent& event : state->activityEvents()) {
        if (event.kind == "Performance") performanceEvents << event.summary;
    }
    EXPECT_EQ(performanceEvents, QStringList({"Disabled sync"}));
    QFile log(calls);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(log.readAll(), "x\n") << "one run of the tool";
    ASSERT_TRUE(rescan());
    EXPECT_FALSE(rowOf(unit));
    EXPECT_TRUE(rowOf(other));
}

TEST_F(AppStatePerformanceTest, MaintenanceRunsOffThisThreadAndPublishesItsResultWhenItEnds) {
    using MKind = MaintenanceTask::Kind;
    const QString gate = env.path(QStringLiteral("gate"));
    const QByteArray longLine(200, 'x');
    env.tool("/usr/bin/resolvectl", "while [ ! -e '" + gate.toUtf8() + "' ]; do sleep 0.01; done\necho " + longLine + "\n");
    test::writeFile(env.root() + "/run/systemd/resolve/stub-resolv.conf");  // the resolver runs

    test::FieldLog fields(*state);
    state->runMaintenance(MKind::flushDNS);
    EXPECT_TRUE(task(MKind::flushDNS).isRunning) << "the action returns while the tool runs";
    EXPECT_FALSE(task(MKind::flushDNS).lastResult);
    state->runMaintenance(MKind::flushDNS);  // already running: ignored
    test::spin(50);
    EXPECT_TRUE(task(MKind::flushDNS).isRunning);

    test::writeFile(gate);
    ASSERT_TRUE(test::waitUntil([&] { return !task(MKind::flushDNS).isRunning; }));
    EXPECT_EQ(task(MKind::flushDNS).lastResult, QString::fromLatin1(longLine)) << "the whole text is kept";
    EXPECT_FALSE(task(MKind::clearFontCaches).lastResult);
    ASSERT_TRUE(test::safeBinSettled(*state));
    ASSERT_EQ(state->activityEvents().size(), 1) << "one run, one event";
    EXPECT_EQ(state->activityEvents()[0].kind, "Maintenance");
    EXPECT_EQ(state->activityEvents()[0].summary, "Flush DNS cache: " + QString(80, 'x'));
    EXPECT_EQ(fields.count(AppState::Field::maintenanceTasks), 2u);
}

TEST_F(AppStatePerformanceTest, DestroyingTheStateKillsARunningMaintenanceTool) {
    const QString started = env.path(QStringLiteral("started"));
    env.tool("/usr/bin/fc-cache", "touch '" + started.toUtf8() + "'\nsleep 60\n");
    state->runMaintenance(MaintenanceTask::Kind::clearFontCaches);
    ASSERT_TRUE(test::waitUntil([&] { return QFile::exists(started); }));
    const auto before = std::chrono::steady_clock::now();
    state.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10))
        << "the tool is killed, not waited for up to its time limit";
}

}  // namespace tarnwick
