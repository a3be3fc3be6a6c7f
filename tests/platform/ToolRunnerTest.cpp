#include "platform/ToolRunner.h"

#include "TestSupport.h"
#include "platform/PathCodec.h"

#include <QFile>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>
#include <vector>

#include <sys/wait.h>

using namespace tarnwick;
using namespace std::chrono_literals;
using Status = ToolResult::Status;

namespace {

// Test children are made with the shell; the runner itself never uses one.
ToolResult shell(const QString& script, std::chrono::milliseconds timeout = 10s,
                 ToolRunner::Stderr errors = ToolRunner::Stderr::discard, const QStringList& environment = {}) {
    return ToolRunner::run(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script}, timeout, errors, environment);
}

// True when no child of this process is left unreaped.
bool noChildLeft() {
    int status;
    return ::waitpid(-1, &status, WNOHANG) < 0 && errno == ECHILD;
}

// True when the process is gone (or only a zombie waiting for its new parent).
bool processEnded(const QByteArray& pidText) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(QString::fromLatin1(pidText.trimmed())));
        if (!stat.open(QIODevice::ReadOnly)) return true;
        const QByteArray fields = stat.readAll();
        const qsizetype close = fields.lastIndexOf(')');
        if (close >= 0 && fields.mid(close + 2, 1) == "Z") return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

}  // namespace

TEST(ToolRunner, ArgumentsBytesAndVariablesArriveVerbatim) {
    const ToolResult r = ToolRunner::run(QStringLiteral("printf"),
                                         {QStringLiteral("%s|%s|"), QStringLiteral("a b;$HOME"), QStringLiteral("*")});
    EXPECT_EQ(r.status, Status::finished);
    EXPECT_TRUE(r.succeeded());
    EXPECT_EQ(r.output, QByteArray("a b;$HOME|*|"));
    // A path that is not UTF-8 arrives as its own bytes.
    const QString path = PathCodec::decode(QByteArray("/tmp/bad\xff name\xc3\x28.bin"));
    EXPECT_EQ(ToolRunner::run(QStringLiteral("printf"), {QStringLiteral("%s"), path}).output,
              QByteArray("/tmp/bad\xff name\xc3\x28.bin"));

    // Overrides replace inherited variables and keep the rest.
    qputenv("TARNWICK_RUNNER_PROBE", "inherited");
    const QString script = QStringLiteral("printf '%s|%s|%s' \"$LC_ALL\" \"$TARNWICK_RUNNER_PROBE\" \"$HOME\"");
    EXPECT_EQ(shell(script, 10s, ToolRunner::Stderr::discard,
                    {QStringLiteral("LC_ALL=C"), QStringLiteral("TARNWICK_RUNNER_PROBE=set")})
                  .output,
              "C|set|" + qgetenv("HOME"));
    EXPECT_EQ(shell(QStringLiteral("printf %s \"$TARNWICK_RUNNER_PROBE\"")).output, "inherited");
    qunsetenv("TARNWICK_RUNNER_PROBE");
}

TEST(ToolRunner, StreamsNullInputAndLargeOutputOnBothWithoutStalling) {
    // Standard input is the null device: a reader ends at once.
    EXPECT_TRUE(ToolRunner::run(QStringLiteral("cat"), {}, 5s).succeeded());

    // Standard error is filled first, so a runner that reads only standard
    // output until the end would stall here.
    const QString script = QStringLiteral(
        "head -c 1048576 /dev/zero >&2; head -c 1048576 /dev/zero; head -c 1000 /dev/zero >&2");
    const ToolResult captured = shell(script, 20s, ToolRunner::Stderr::capture);
    EXPECT_TRUE(captured.succeeded());
    EXPECT_EQ(captured.output.size(), 1048576);
    EXPECT_EQ(captured.errorOutput.size(), 1048576 + 1000);
    const ToolResult discarded = shell(script, 20s);
    EXPECT_EQ(discarded.output.size(), 1048576);
    EXPECT_TRUE(discarded.errorOutput.isEmpty());
}

TEST(ToolRunner, KeepsOnlyTheLimitOfEachStreamAndDrainsTheRest) {
    // An endless stream ends at the timeout with no more than the limit kept,
    // and the writer never blocked on a full pipe: it was still writing.
    const ToolResult endless = ToolRunner::run(QStringLiteral("cat"), {QStringLiteral("/dev/zero")}, 400ms,
                                               ToolRunner::Stderr::capture, {}, {}, 4096);
    EXPECT_EQ(endless.status, Status::timedOut);
    EXPECT_EQ(endless.output.size(), 4096);
    EXPECT_TRUE(endless.outputCut);
    EXPECT_FALSE(endless.errorOutputCut);

    const ToolResult both = ToolRunner::run(
        QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"), QStringLiteral("head -c 300000 /dev/zero >&2; head -c 100 /dev/zero")}, 20s,
        ToolRunner::Stderr::capture, {}, {}, 1000);
    EXPECT_TRUE(both.succeeded());
    EXPECT_EQ(both.output.size(), 100);
    EXPECT_FALSE(both.outputCut) << "within the limit";
    EXPECT_EQ(both.errorOutput.size(), 1000);
    EXPECT_TRUE(both.errorOutputCut);
}

TEST(ToolRunner, TellsExitCodesCrashesMissingProgramsAndProgramsThatCannotStart) {
    const ToolResult exited = shell(QStringLiteral("echo partial; exit 3"));
    EXPECT_EQ(exited.status, Status::finished);
    EXPECT_EQ(exited.exitCode, 3);
    EXPECT_FALSE(exited.succeeded());
    EXPECT_EQ(exited.output, QByteArray("partial\n"));

    const ToolResult crashed = shell(QStringLiteral("ulimit -c 0; kill -SEGV $$"));
    EXPECT_EQ(crashed.status, Status::crashed);
    EXPECT_EQ(crashed.signalNumber, SIGSEGV);
    EXPECT_FALSE(crashed.succeeded());

    for (const QString& missing : {QStringLiteral("/no/such/tool"), QStringLiteral("tarnwick-no-such-tool"), QString()}) {
        EXPECT_EQ(ToolRunner::run(missing, {}).status, Status::notFound) << missing.toStdString();
    }
    // A plain file, a folder, and a script whose interpreter is missing exist: not "not found".
    test::FakeEnvironment env;
    const QString script = test::writeFile(env.path(QStringLiteral("script")), "#!/no/such/shell\n");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::ExeOwner);
    for (const QString& program : {test::writeFile(env.path(QStringLiteral("plain.txt")), "echo hi\n"),
                                   test::makeDir(env.path(QStringLiteral("folder"))), script}) {
        EXPECT_EQ(ToolRunner::run(program, {}).status, Status::failedToStart) << program.toStdString();
    }
}

TEST(ToolRunner, ATimeoutOrStopEndsAndReapsTheWholeGroup) {
    const ToolResult slept = ToolRunner::run(QStringLiteral("sleep"), {QStringLiteral("30")}, 300ms);
    EXPECT_EQ(slept.status, Status::timedOut);
    EXPECT_FALSE(slept.succeeded());
    EXPECT_TRUE(noChildLeft());

    // A shell waiting for a sleeper that holds the output pipe: the whole group ends.
    const ToolResult group = shell(QStringLiteral("sleep 30 & echo $!; wait"), 300ms);
    EXPECT_EQ(group.status, Status::timedOut);
    EXPECT_TRUE(noChildLeft());
    ASSERT_FALSE(group.output.isEmpty());
    EXPECT_TRUE(processEnded(group.output));

    // A program that closed its output keeps running: still timed out.
    EXPECT_EQ(shell(QStringLiteral("exec >&-; sleep 30"), 300ms).status, Status::timedOut);
    EXPECT_TRUE(noChildLeft());

    // A finished program is not blamed for the background child holding its
    // pipe: the sleeper is ended and the program's own status reported.
    const ToolResult left = shell(QStringLiteral("sleep 30 & echo $!; exit 4"), 300ms);
    EXPECT_EQ(left.status, Status::finished);
    EXPECT_EQ(left.exitCode, 4);
    ASSERT_FALSE(left.output.isEmpty());
    EXPECT_TRUE(processEnded(left.output));

    // A stop request ends the run as the timeout does.
    std::stop_source source;
    std::thread stopper([&source] {
        std::this_thread::sleep_for(200ms);
        source.request_stop();
    });
    const auto start = std::chrono::steady_clock::now();
    const ToolResult stopped = ToolRunner::run(QStringLiteral("sleep"), {QStringLiteral("30")}, 30s,
                                               ToolRunner::Stderr::discard, {}, source.get_token());
    stopper.join();
    EXPECT_EQ(stopped.status, Status::timedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << "not the whole timeout";
    EXPECT_TRUE(noChildLeft());
}

TEST(ToolRunner, RunsFromPlainThreadsKeepingOutputsApart) {
    ToolResult timedOut;
    std::thread worker([&] { timedOut = ToolRunner::run(QStringLiteral("sleep"), {QStringLiteral("30")}, 300ms); });
    std::vector<ToolResult> results(4);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&results, i] {
            results[i] = shell(QStringLiteral("head -c 200000 /dev/zero; echo %1").arg(i));
        });
    }
    worker.join();
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(timedOut.status, Status::timedOut);
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(results[i].succeeded());
        EXPECT_EQ(results[i].output.size(), 200000 + 2);
        EXPECT_TRUE(results[i].output.endsWith(QByteArray::number(i) + '\n'));
    }
}

TEST(ToolRunner, LaunchReportsAQuickEndAndLeavesALongRunAlone) {
    test::FakeEnvironment environment;
    const auto launch = [](const QString& script, std::chrono::milliseconds watch) {
        return ToolRunner::launch(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script}, watch);
    };
    EXPECT_TRUE(launch(QStringLiteral("exit 0"), 5s).succeeded());
    const ToolResult refused = launch(QStringLiteral("exit 3"), 5s);
    EXPECT_EQ(refused.status, Status::finished);
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_EQ(launch(QStringLiteral("kill -TERM $$"), 5s).status, Status::crashed);
    EXPECT_EQ(ToolRunner::launch(QStringLiteral("/no/such/opener"), {}, 1s).status, Status::notFound);
    // Its output goes nowhere and it reads nothing: it cannot stall on a pipe.
    EXPECT_TRUE(launch(QStringLiteral("cat; head -c 200000 /dev/zero"), 5s).succeeded());

    // Still running when the watch ends: reported as running, never killed,
    // in a session of its own, and reaped once it ends.
    const QString done = environment.path(QStringLiteral("done"));
    const QString session = environment.path(QStringLiteral("session"));
    const ToolResult running = launch(
        QStringLiteral("cut -d' ' -f6 /proc/$$/stat > '%1'; sleep 0.4; touch '%2'").arg(session, done), 50ms);
    EXPECT_EQ(running.status, Status::running);
    EXPECT_FALSE(running.succeeded());
    for (int i = 0; i < 1000 && !QFile::exists(done); ++i) std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(QFile::exists(done)) << "the launched program was stopped";
    for (int i = 0; i < 500 && !noChildLeft(); ++i) std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(noChildLeft());
    QFile sid(session);
    ASSERT_TRUE(sid.open(QIODevice::ReadOnly));
    EXPECT_NE(sid.readAll().trimmed().toLongLong(), qint64(::getsid(0)));
}
