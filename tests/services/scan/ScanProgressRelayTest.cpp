#include "services/scan/ScanProgressRelay.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace tarnwick;

namespace {

struct Received {
    std::vector<ScanProgress> reports;
    int finished = 0;
    bool offThread = false;
};

void record(ScanProgressRelay& relay, Received& received) {
    QObject::connect(&relay, &ScanProgressRelay::progressed, [&](const ScanProgress& progress) {
        if (QThread::currentThread() != qApp->thread()) received.offThread = true;
        received.reports.push_back(progress);
    });
    QObject::connect(&relay, &ScanProgressRelay::finished, [&] { ++received.finished; });
}

// Runs the event loop until the relay has finished (or a few seconds passed).
void waitForFinish(const Received& received) {
    QElapsedTimer timer;
    timer.start();
    while (received.finished == 0 && timer.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

ScanProgress report(qint64 files) {
    return ScanProgress{files, files * 10, QStringLiteral("/walk/%1").arg(files)};
}

}  // namespace

TEST(ScanProgressRelay, ABusyReceiverNeverHoldsUpTheWalkAndGetsTheNewestAndTheLastReport) {
    ScanProgressRelay relay;
    Received received;
    record(relay, received);

    // The receiving thread does not run its event loop while the walk posts:
    // the walk still finishes, and only the newest report waits.
    std::thread walk([&] {
        for (qint64 i = 1; i <= 100000; ++i) relay.post(report(i));
        relay.finish(report(100001));
        relay.post(report(5));  // too late: the scan is over
    });
    walk.join();
    EXPECT_TRUE(received.reports.empty());

    waitForFinish(received);
    EXPECT_FALSE(received.offThread);
    EXPECT_EQ(received.finished, 1);
    ASSERT_EQ(received.reports.size(), 1u);
    EXPECT_EQ(received.reports[0].scannedFiles, 100001);
    EXPECT_EQ(received.reports[0].currentPath, "/walk/100001");
    QCoreApplication::processEvents();
    EXPECT_EQ(received.reports.size(), 1u);
}

TEST(ScanProgressRelay, DeliversReportsInOrderWhileTheWalkRuns) {
    ScanProgressRelay relay;
    Received received;
    record(relay, received);
    const auto post = relay.callback();  // what a walk is given
    std::thread walk([&] {
        for (qint64 i = 1; i <= 20000; ++i) {
            post(report(i));
            if (i % 1000 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        relay.finish(report(20000));
    });
    waitForFinish(received);
    walk.join();
    EXPECT_EQ(received.finished, 1);
    EXPECT_FALSE(received.offThread);
    ASSERT_GE(received.reports.size(), 2u);
    for (size_t i = 1; i < received.reports.size(); ++i) {
        EXPECT_GE(received.reports[i].scannedFiles, received.reports[i - 1].scannedFiles);
    }
    EXPECT_EQ(received.reports.back().scannedFiles, 20000);
}
