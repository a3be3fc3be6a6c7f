#include "services/health/ProcPidStat.h"
#include "services/health/PsProcessSource.h"

#include "ProcStatLines.h"
#include "TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

using test::statLine;

class PsProcessSourceTest : public ::testing::Test {
protected:
    void process(qint32 pid, const QByteArray& name, quint64 flags = 0x400100, quint64 start = 777) {
        test::writeFile(environment.root() + QStringLiteral("/proc/%1/stat").arg(pid), statLine(pid, name, flags, start));
    }
    QList<SystemMonitor::Proc> parse(const QByteArray& output) const {
        return PsProcessSource(QString(), environment.root()).parse(output);
    }
    static QStringList names(const QList<SystemMonitor::Proc>& processes) {
        QStringList result;
        for (const SystemMonitor::Proc& p : processes) result << p.name;
        return result;
    }

    test::FakeEnvironment environment;
};

}  // namespace

TEST_F(PsProcessSourceTest, ParsesStatLinesWithAwkwardNames) {
    const std::optional<ProcPidStat> stat = ProcPidStat::parse(statLine(42, "Web (Content) x", 0x200040, 12345, 'R'));
    ASSERT_TRUE(stat);
    EXPECT_EQ(stat->pid, 42);
    EXPECT_EQ(stat->name, "Web (Content) x");
    EXPECT_EQ(stat->state, 'R');
    EXPECT_EQ(stat->parentPid, 1);
    EXPECT_TRUE(stat->isKernelThread());
    EXPECT_EQ(stat->identity(), (ProcessIdentity{"Web (Content) x", 12345}));
    EXPECT_FALSE(ProcPidStat::parse("42 (x) S 1 2 3"));            // cut short
    EXPECT_FALSE(ProcPidStat::parse("x (y) S" + QByteArray(" 1").repeated(30)));  // no pid
    EXPECT_FALSE(ProcPidStat::parse("42 x S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21"));
    QByteArray bad = statLine(42, "x", 0, 5);
    bad.replace(" 5 1000", " soon 1000");
    EXPECT_FALSE(ProcPidStat::parse(bad)) << "a start time that is not a number";
}

TEST_F(PsProcessSourceTest, ListsTheHeaviestUserProcessesWithTheirIdentity) {
    process(120, "Web Content", 0x400100, 9001);
    process(2, "kthreadd", 0x208040);
    process(15, "kworker/0:1", 0x4208060);
    process(300, "firefox");
    process(301, "tarnwick");
    process(302, "ps");
    process(303, "TarnWick-helper");
    process(88, "caf\xe9");  // a name that is not UTF-8 still matches its stat file
    const QByteArray output =
        "    2 99.0 kthreadd\n"
        "   15 50.0 kworker/0:1\n"
        "  120 41.5 Web   Content\n"
        "  301 30.0 tarnwick\n"
        "  302 20.0 ps\n"
        "  303 15.0 TarnWick-helper\n"
        "  abc 14.0 bogus\n"
        "99999999999 13.0 huge\n"
        "   -4 12.0 negative\n"
        "  300 12.5\n"
        "\n"
        "  300 11.0 /usr/lib/firefox/firefox\n"
        "  404 10.0 gone\n"
        "   88  9.0 caf\xe9\n";
    const QList<SystemMonitor::Proc> processes = parse(output);
    ASSERT_EQ(processes.size(), 3);
    EXPECT_EQ(names(processes).first(2), QStringList({"Web Content", "firefox"}));
    EXPECT_EQ(processes[0].pid, 120);
    EXPECT_EQ(processes[0].cpu, "41.5");
    EXPECT_EQ(processes[0].identity, (ProcessIdentity{"Web Content", 9001}));
    EXPECT_EQ(processes[1].cpu, "11.0");
    EXPECT_EQ(processes[2].identity.name, processes[2].name);
}

TEST_F(PsProcessSourceTest, StopsAtFiveProcessesAndFortyLines) {
    QByteArray output;
    for (int pid = 1000; pid < 1010; ++pid) {
        process(pid, "worker");
        output += QByteArray::number(pid) + " 1.0 worker\n";
    }
    EXPECT_EQ(parse(output).size(), 5);

    output.clear();
    for (int i = 0; i < 40; ++i) output += "5000 1.0 ps\n";  // 40 lines that never count
    process(2000, "late");
    output += "2000 1.0 late\n";
    EXPECT_TRUE(parse(output).isEmpty()) << "the 41st line is not read";
}

TEST_F(PsProcessSourceTest, RunsTheListerInTheCLocaleAndSurvivesItsAbsence) {
    EXPECT_TRUE(PsProcessSource(environment.path("no-such-ps"), environment.root()).sample().isEmpty());

    // A stand-in lister that answers only in the C locale with the expected arguments.
    process(77, "editor");
    const QString script = test::writeScript(
        environment.path("ps"),
        "[ \"$LC_ALL\" = C ] || exit 1\n"
        "[ \"$*\" = \"-e -o pid=,pcpu=,comm= --sort=-pcpu\" ] || exit 2\n"
        "echo '   77  3.2 editor'\n");
    const QList<SystemMonitor::Proc> processes = PsProcessSource(script, environment.root()).sample();
    ASSERT_EQ(names(processes), QStringList({"editor"}));
    EXPECT_EQ(processes[0].cpu, "3.2");
}
