#include "services/care/VidurAdedService.h"
#include "services/cleanup/DigestCache.h"

#include "TestSupport.h"
#include "services/health/FakeMonitorSources.h"

#include <QObject>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace tarnwick {
namespace {

using M = VidurAdedModule;
using Case = VidurAdedModule::Case;

// ---- The score ----

struct ScoreCase {
    const char* name;
    int junkCount;
    qint64 junkBytes;
    int protectionHigh;
    int outdatedApps;
    int leftoversHeavy;
    int privacyCount;
    int performanceIssues;
    int expected;
};

TEST(VidurAdedScoreTest, DeductionsAndTheirCaps) {
    const ScoreCase cases[] = {
        {"nothing found", 0, 0, 0, 0, 0, 0, 0, 100},
        {"worked example", 10, 1200000000, 1, 3, 2, 12, 4, 54},
        {"bytes one short of a step", 0, 499999999, 0, 0, 0, 0, 0, 100},
        {"bytes far beyond", 0, std::numeric_limits<qint64>::max(), 0, 0, 0, 0, 0, 80},
        {"huge junk count", std::numeric_limits<int>::max(), 0, 0, 0, 0, 0, 0, 70},
        {"6 stays 6", 15, 10000000000, 3, 10, 10, 9, 0, 6},
        {"raw 5", 15, 10000000000, 3, 10, 10, 10, 0, 5},
        {"all caps: raw -5", 15, 10000000000, 3, 10, 10, 10, 10, 5},
    };
    for (const ScoreCase& c : cases) {
        VidurAdedResult totals;
        totals.junkCount = c.junkCount;
        totals.junkBytes = c.junkBytes;
        totals.protectionHigh = c.protectionHigh;
        totals.outdatedApps = c.outdatedApps;
        totals.privacyCount = c.privacyCount;
        totals.performanceIssues = c.performanceIssues;
        // Clutter never enters the score, whatever its size.
        totals.clutterCount = 500;
        totals.clutterBytes = 900000000000;
        EXPECT_EQ(VidurAdedService::healthScore(totals, c.leftoversHeavy), c.expected) << c.name;
    }
}

// ---- Launch items ----

PerformanceItem performanceItem(PerformanceItem::Kind kind, const QString& title,
                                std::optional<QString> path = std::nullopt) {
    PerformanceItem item;
    item.kind = kind;
    item.title = title;
    item.path = std::move(path);
    return item;
}

// ---- The pass ----

template <class Item>
VidurAdedService::Finder<Item> fixed(QList<Item> items, QStringList labels = {}) {
    return [items, labels](const VidurAdedService::Progress& progress, std::stop_token) {
        for (const QString& label : labels) progress(label);
        return items;
    };
}

template <class Item>
Item sized(qint64 size, bool selected, const QString& path = {}) {
    Item item;
    item.path = path;
    item.size = size;
    item.isSelected = selected;
    return item;
}
CleanupItem junk(qint64 size, bool selected) { return sized<CleanupItem>(size, selected, QStringLiteral("/junk/%1").arg(size)); }
ClutterItem clutter(qint64 size, bool selected) { return sized<ClutterItem>(size, selected); }
PrivacyItem privacy(qint64 size, bool selected) { return sized<PrivacyItem>(size, selected); }

ProtectionFinding finding(ProtectionFinding::Severity severity, bool selected = false) {
    ProtectionFinding item;
    item.severity = severity;
    item.isSelected = selected;
    return item;
}

InstalledApp app(QList<qint64> leftovers) {
    InstalledApp item;
    for (qint64 size : leftovers) item.leftovers.append(InstalledApp::Leftover{QUuid::createUuid(), "/l", size});
    return item;
}

// Runs a pass on this thread, collecting what it hands on.
struct Collected {
    std::vector<VidurAdedModule> modules;
    QStringList labels;
    std::optional<VidurAdedResult> result;

    template <class Payload>
    const Payload& at(Case which) const {
        for (const VidurAdedModule& module : modules) {
            if (module.which() == which) return std::get<Payload>(module.value);
        }
        throw std::runtime_error("module missing");
    }
};

Collected runPass(const VidurAdedService::Finders& finders) {
    Collected collected;
    collected.result = VidurAdedService::run(
        finders, [&](const QString& label) { collected.labels.append(label); }, nullptr,
        [&](const VidurAdedModule& module) { collected.modules.push_back(module); });
    return collected;
}

class VidurAdedPassTest : public ::testing::Test {
protected:
    test::FakeEnvironment env;
};

TEST_F(VidurAdedPassTest, TheJunkAndClutterStepsShareTheDigestsOfOnePassOnly) {
    std::vector<DigestCache*> seen;
    VidurAdedService::Finders finders;
    finders.cleanup = [&](const auto&, std::stop_token) {
        seen.push_back(DigestCache::current());
        return QList<CleanupItem>{};
    };
    finders.clutter = [&](const auto&, std::stop_token) {
        seen.push_back(DigestCache::current());
        return QList<ClutterItem>{};
    };
    runPass(finders);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_NE(seen[0], nullptr);
    EXPECT_EQ(seen[0], seen[1]);
    EXPECT_EQ(DigestCache::current(), nullptr) << "nothing is kept past the pass";
}

TEST_F(VidurAdedPassTest, TotalsTrimsAndPrefixedLabels) {
    using K = PerformanceItem::Kind;
    using S = ProtectionFinding::Severity;
    QList<CleanupItem> junkItems;
    for (int i = 0; i < 95; ++i) junkItems.append(junk(1000 + i, false));  // large, unselected: never counted
    for (int i = 0; i < 10; ++i) junkItems.append(junk(120000000, true));
    QList<AppUpdateItem> updates(45);
    QList<PerformanceItem> performance;
    for (int i = 0; i < 20; ++i) performance.append(performanceItem(K::process, "p"));
    // One file listed as a login item and a launch agent counts once; one of
    // the same label in another file, or with no file, counts too.
    for (int i = 0; i < 4; ++i) {
        const QString path = QStringLiteral("/agents/%1.desktop").arg(i);
        performance.append(performanceItem(K::loginItem, "a", path));
        performance.append(performanceItem(K::launchAgent, "a", path));
    }
    performance.append(performanceItem(K::launchAgent, "no file"));
    QList<PrivacyItem> privacyItems;
    for (int i = 0; i < 12; ++i) privacyItems.append(privacy(100, true));
    privacyItems.append(privacy(5000, false));

    VidurAdedService::Finders finders;
    finders.cleanup = fixed(junkItems, {"Scanning caches\u2026"});
    finders.clutter = fixed(QList<ClutterItem>{clutter(50000000000, true), clutter(7, false)});
    finders.protection = fixed(QList<ProtectionFinding>{finding(S::high), finding(S::low), finding(S::medium, true)});
    finders.privacy = fixed(privacyItems);
    finders.apps = fixed(QList<InstalledApp>{app({20000000}), app({10000000, 10000001}), app({}), app({30000000})},
                         {"Listing apps\u2026"});
    finders.updates = fixed(updates);
    finders.performance = fixed(performance);
    const Collected pass = runPass(finders);
    ASSERT_TRUE(pass.result);
    const VidurAdedResult& r = *pass.result;

    EXPECT_EQ(pass.at<M::Junk>(Case::junk).items.size(), 80) << "the junk budget";
    EXPECT_EQ(r.junkCount, 10);
    EXPECT_EQ(r.junkBytes, 1200000000);
    EXPECT_EQ(r.clutterCount, 1);
    EXPECT_EQ(r.clutterBytes, 50000000000);
    EXPECT_EQ(pass.at<M::Clutter>(Case::clutter).items.size(), 2) << "unselected items are handed on too";
    EXPECT_EQ(r.protectionCount, 3);
    EXPECT_EQ(r.protectionHigh, 1);
    EXPECT_EQ(r.privacyCount, 12);
    EXPECT_EQ(r.privacyBytes, 1200);
    const auto& apps = pass.at<M::AppsSummary>(Case::appsSummary);
    EXPECT_EQ(apps.count, 4);
    EXPECT_EQ(apps.leftoversHeavy, 2) << "20,000,000 bytes exactly is not heavy; 20,000,001 is";
    EXPECT_EQ(pass.at<M::Updates>(Case::updates).items, updates.first(30));
    EXPECT_EQ(r.outdatedApps, 30);
    EXPECT_EQ(pass.at<M::Performance>(Case::performance).items.size(), 12 + 9) << "the performance budget";
    EXPECT_EQ(r.performanceIssues, 5) << "each launch item once, processes never";
    // 100 - 20 - 2 - 5 - 10 - 2 - 10 - 5
    EXPECT_EQ(r.healthScore, 46);
    EXPECT_EQ(pass.at<M::Finished>(Case::finished).result, r) << "the last module carries the result";

    EXPECT_EQ(pass.labels.indexOf("Vidur Aded \u00B7 Junk \u00B7 Scanning caches\u2026"),
              pass.labels.indexOf("Vidur Aded \u00B7 Junk\u2026") + 1) << "the finder's labels, prefixed, after the step's";
}

TEST_F(VidurAdedPassTest, ReclaimableCountsAPathOfferedByTwoModulesOnce) {
    auto at = [](auto item, const QString& path) {
        item.path = path;
        return item;
    };
    VidurAdedService::Finders finders;
    finders.cleanup = fixed(QList<CleanupItem>{at(junk(1000, true), "/h/.cache"), at(junk(200, true), "/h/Downloads/a.iso")});
    finders.clutter = fixed(QList<ClutterItem>{at(clutter(200, true), "/h/Downloads/a.iso"),
                                               at(clutter(30, true), "/h/Pictures/shot.png"),
                                               at(clutter(5, true), "/h/.cache-old")});
    finders.privacy = fixed(QList<PrivacyItem>{at(privacy(300, true), "/h/.cache/google-chrome"),
                                               at(privacy(50, true), "/h/.config/google-chrome/Default/History"),
                                               at(privacy(70, false), "/h/.cache/mozilla")});
    const Collected pass = runPass(finders);
    ASSERT_TRUE(pass.result);
    const VidurAdedResult& r = *pass.result;
    EXPECT_EQ(r.clutterBytes, 235) << "each module still shows what it found";
    EXPECT_EQ(r.privacyBytes, 350);
    EXPECT_EQ(r.sharedBytes, 500) << "the download both list and the browser cache inside the cache folder";
    EXPECT_EQ(r.reclaimableBytes(), 1200 + 235 + 350 - 500);
}

// A receiver on this thread and a pass on another: every module is applied
// here before the pass's next step begins.
TEST_F(VidurAdedPassTest, EachModuleIsAppliedOnTheReceiversThreadBeforeTheNextStep) {
    std::mutex mutex;
    QStringList log;
    auto note = [&](const QString& entry) {
        std::lock_guard lock(mutex);
        log.append(entry);
    };
    VidurAdedService::Finders finders;
    finders.cleanup = [&note](const VidurAdedService::Progress&, std::stop_token) {
        note("find junk");
        return QList<CleanupItem>{};
    };
    finders.clutter = [&note](const VidurAdedService::Progress&, std::stop_token) {
        note("find clutter");
        return QList<ClutterItem>{};
    };
    finders.performance = [&note](const VidurAdedService::Progress&, std::stop_token) {
        note("find performance");
        return QList<PerformanceItem>{};
    };
    QObject receiver;
    std::atomic<bool> wrongThread{false};
    std::atomic<bool> done{false};
    std::thread pass([&] {
        VidurAdedService::run(finders, {}, &receiver, [&](const VidurAdedModule& module) {
            if (QThread::currentThread() != receiver.thread()) wrongThread = true;
            QThread::msleep(5);  // a slow apply: the pass must still wait for it
            note(QStringLiteral("apply %1").arg(int(module.which())));
        });
        done = true;
    });
    const bool finished = test::eventually([&] { return done.load(); }, 10000);
    pass.join();
    ASSERT_TRUE(finished);
    EXPECT_FALSE(wrongThread);
    EXPECT_EQ(log, (QStringList{"find junk", "apply 0", "find clutter", "apply 1", "apply 2", "apply 3", "apply 4",
                                "apply 5", "find performance", "apply 6", "apply 7"}));
}

TEST_F(VidurAdedPassTest, AStopEndsThePassAndHandsOnNothingMore) {
    // Stopped while a finder runs: the finder sees the request, nothing after it.
    std::stop_source stop;
    VidurAdedService::Finders finders;
    finders.clutter = [&stop](const VidurAdedService::Progress&, std::stop_token token) {
        stop.request_stop();
        EXPECT_TRUE(token.stop_requested());
        return QList<ClutterItem>{clutter(10, true)};
    };
    std::vector<Case> seen;
    const auto result = VidurAdedService::run(finders, {}, nullptr,
                                              [&](const VidurAdedModule& module) { seen.push_back(module.which()); },
                                              stop.get_token());
    EXPECT_FALSE(result);
    EXPECT_EQ(seen, std::vector<Case>{Case::junk});

    // Stopped while waiting for a receiver that never gets to the module: the
    // pass does not wait for it.
    QObject receiver;
    std::stop_source second;
    std::atomic<bool> done{false};
    std::optional<VidurAdedResult> secondResult;
    std::thread pass([&] {
        secondResult = VidurAdedService::run({}, {}, &receiver, [](const VidurAdedModule&) {}, second.get_token());
        done = true;
    });
    QThread::msleep(20);  // this thread runs no events: the first module waits
    EXPECT_FALSE(done);
    second.request_stop();
    pass.join();
    EXPECT_FALSE(secondResult);
}

}  // namespace
}  // namespace tarnwick
