#include "state/AppState.h"

#include "StateTestSupport.h"
#include "TestSupport.h"
#include "services/health/ProcPidStat.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

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

QList<PerformanceItem> many(int count, Kind kind) {
    QList<PerformanceItem> list;
    for (int i = 0; i < count; ++i) {
        const std::optional<qint32> pid = kind == Kind::process ? std::optional<qint32>(100 + i) : std::nullopt;
        list.append(item(QStringLiteral("%1").arg(i), kind, pid));
    }
    return list;
}

QStringList titles(const QList<PerformanceItem>& items) {
    QStringList result;
    for (const PerformanceItem& i : items) result << i.title;
    return result;
}

// The performance actions of AppState: the scan over a finder the test
// holds, and quits, disables and maintenance runs against the real
// functions with fake folders, real child processes and tools that are scripts.
class AppStatePerformanceTest : public ::testing::Test {
protected:
    AppStatePerformanceTest() {
        env.environment().rootPrefix.clear();  // quits read the real /proc
        env.apply();
        ModuleServices modules = test::quietModules();
        modules.performanceScan = finders.finder();
        state = std::make_unique<AppState>(test::testServices(), modules);
        state->start();
        EXPECT_TRUE(test::safeBinSettled(*state));
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
    test::HeldFinders<PerformanceItem> finders{{QStringLiteral("Reading processes\u2026"),
                                                QStringLiteral("Reading login items\u2026")}};
    std::unique_ptr<AppState> state;
    std::vector<QProcess*> children;
};

}  // namespace

TEST_F(AppStatePerformanceTest, ScanPublishesTheBudgetedListWithStatusLines) {
    EXPECT_EQ(state->performanceStatusText(), "Heavy processes, login items, and services.");
    state->runPerformanceScan();
    EXPECT_TRUE(state->isPerformanceScanning());
    EXPECT_EQ(state->performanceStatusText(), "Starting Performance scan\u2026");
    auto call = finders.waitFor(0);
    ASSERT_TRUE(call);
    ASSERT_TRUE(test::waitUntil([&] { return state->performanceProgressLabel() == "Reading login items\u2026"; }));

    QList<PerformanceItem> found = many(18, Kind::process);
    found += many(50, Kind::loginItem);
    found += many(20, Kind::launchAgent);
    call->release(found);
    ASSERT_TRUE(test::waitUntil([&] { return !state->isPerformanceScanning(); }));
    EXPECT_EQ(state->performanceProgressLabel(), "Done");
    ASSERT_EQ(state->performanceItems().size(), 52) << "12 processes and 40 login items, no agents";
    EXPECT_EQ(state->performanceItems()[11].kind, Kind::process);
    EXPECT_EQ(state->performanceItems().back().kind, Kind::loginItem);
    EXPECT_EQ(state->performanceStatusText(), "12 processes \u00B7 40 login/services");
}

TEST_F(AppStatePerformanceTest, OpeningPerformanceScansOnlyAnEmptyListWithNoScanRunning) {
    state->openSection(AppSection::performance);
    state->openSection(AppSection::performance);
    ASSERT_TRUE(finders.waitFor(0));
    test::spin(20);
    EXPECT_EQ(finders.count(), 1u);
    finders.at(0)->release({item("a", Kind::loginItem)});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isPerformanceScanning(); }));
    state->openSection(AppSection::home);
    state->openSection(AppSection::performance);
    test::spin(20);
    EXPECT_EQ(finders.count(), 1u) << "a listed section is not scanned again";
}

TEST_F(AppStatePerformanceTest, QuittingRemovesTheProcessRowsAndLogsTheQuit) {
    QProcess* process = nullptr;
    const PerformanceItem row = child(&process);
    PerformanceItem twin = row;
    twin.id = QUuid::createUuid();
    list({row, item("agent", Kind::launchAgent), twin});

    state->quitPerformanceProcess(*row.pid);
    EXPECT_EQ(titles(state->performanceItems()), QStringList({"agent"})) << "agent rows have no pid";
    EXPECT_FALSE(state->errorMessage());
    ASSERT_TRUE(process->waitForFinished(5000));
    ASSERT_TRUE(test::safeBinSettled(*state));
    ASSERT_EQ(state->activityEvents().size(), 1);
    EXPECT_EQ(state->activityEvents()[0].kind, "Performance");
    EXPECT_EQ(state->activityEvents()[0].summary, QStringLiteral("Quit PID %1").arg(*row.pid));
    EXPECT_EQ(state->activityEvents()[0].bytesFreed, 0);
    EXPECT_EQ(state->activityEvents()[0].itemsAffected, 1);
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
    state->disablePerformanceItem(missing);
    EXPECT_EQ(state->errorMessage(), "Could not disable old: No such file or directory");
    EXPECT_EQ(state->performanceItems().size(), 3) << "a failed disable keeps its row";

    state->disablePerformanceItem(entry);
    EXPECT_EQ(titles(state->performanceItems()), QStringList({"editor", "old"}));
    EXPECT_TRUE(QFile::exists(*entry.path + ".disable"));
    ASSERT_TRUE(test::safeBinSettled(*state));
    ASSERT_EQ(state->activityEvents().size(), 1) << "only the disable that worked is logged";
    EXPECT_EQ(state->activityEvents()[0].kind, "Performance");
    EXPECT_EQ(state->activityEvents()[0].summary, "Disabled chat");
}

TEST_F(AppStatePerformanceTest, MaintenanceRunsOffThisThreadAndPublishesItsResultWhenItEnds) {
    using MKind = MaintenanceTask::Kind;
    const QString gate = env.path(QStringLiteral("gate"));
    const QByteArray longLine(200, 'x');
    const QString script = test::writeScript(
        env.path(QStringLiteral("bin/resolvectl")),
        "while [ ! -e '" + gate.toUtf8() + "' ]; do sleep 0.01; done\necho " + longLine + "\n");
    env.environment().toolPaths.insert(QStringLiteral("/usr/bin/resolvectl"), script);
    env.apply();
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
    env.environment().toolPaths.insert(
        QStringLiteral("/usr/bin/fc-cache"),
        test::writeScript(env.path(QStringLiteral("bin/fc-cache")), "touch '" + started.toUtf8() + "'\nsleep 60\n"));
    env.apply();
    state->runMaintenance(MaintenanceTask::Kind::clearFontCaches);
    ASSERT_TRUE(test::waitUntil([&] { return QFile::exists(started); }));
    const auto before = std::chrono::steady_clock::now();
    state.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10))
        << "the tool is killed, not waited for up to its time limit";
}

}  // namespace tarnwick
