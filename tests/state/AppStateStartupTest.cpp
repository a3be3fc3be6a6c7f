#include "state/AppState.h"

#include "StateTestSupport.h"
#include "TestSupport.h"
#include "services/safebin/SafeBinService.h"
#include "services/scan/ScanCache.h"
#include "support/AtomicFile.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

const QDateTime kNow(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC);

class AppStateStartupTest : public ::testing::Test {
protected:
    AppStateStartupTest() { env.setNow(kNow); }

    // A Safe Bin entry with its stored file, moved in at `when`.
    SafeBinEntry storedEntry(const QString& name, const QDateTime& when) {
        const QUuid id = QUuid::createUuid();
        const QString storedName = SafeBinService::storedNameFor(id, name);
        test::writeFile(SafeBinService::root() + "/" + storedName, "x");
        return SafeBinEntry::create(id, env.home() + "/" + name, storedName, name, 4096, when);
    }

    test::FakeEnvironment env;
};

// Start-up purges and lists the Safe Bin; an unreadable manifest gives an
// empty list and keeps the files.
TEST_F(AppStateStartupTest, TheSafeBinIsPurgedAndListedNewestFirstAndAnUnreadableManifestKeepsItsFiles) {
    const SafeBinEntry old = storedEntry("old.txt", kNow.addDays(-31));
    const SafeBinEntry recent = storedEntry("recent.txt", kNow.addDays(-2));
    const SafeBinEntry newest = storedEntry("newest.txt", kNow.addSecs(-60));
    ASSERT_TRUE(AtomicFile::write(SafeBinService::root() + "/manifest.json",
                                  SafeBinEntry::encodeManifest({recent, old, newest})));
    {
        AppState state(test::testServices());
        state.start();
        ASSERT_TRUE(test::safeBinSettled(state));
        EXPECT_EQ(test::safeBinNames(state), (QStringList{"newest.txt", "recent.txt"}));
        EXPECT_EQ(state.safeBinItems()[0].displayName, "newest.txt");
        EXPECT_FALSE(QFileInfo::exists(SafeBinService::root() + "/" + old.storedName));
    }
    QByteArray manifest = SafeBinEntry::encodeManifest({recent});
    manifest.replace("[", "[{\"id\":\"broken\"},");
    ASSERT_TRUE(AtomicFile::write(SafeBinService::root() + "/manifest.json", manifest));
    AppState state(test::testServices());
    state.start();
    ASSERT_TRUE(test::safeBinSettled(state));
    EXPECT_TRUE(state.safeBinItems().empty());
    EXPECT_TRUE(QFileInfo::exists(SafeBinService::root() + "/" + recent.storedName));
}

TEST_F(AppStateStartupTest, CachedScanIsRestoredAfterStartUpButHomeStaysOpen) {
    auto file = ScanNode::create(QUuid::createUuid(), "big.iso", "/data/big.iso", NodeKind::file, 5'000'000);
    auto root = ScanNode::create(QUuid::createUuid(), "data", "/data", NodeKind::dir, 5'000'000, {file});
    ScanInsights insights;
    insights.fileCount = 1;
    insights.totalFileBytes = 5'000'000;
    ScanCache::save("/data", "Data", root, insights);

    AppState state(test::testServices());
    test::FieldLog log(state);
    int finished = 0;
    QObject::connect(&state, &AppState::cacheRestoreFinished, [&finished] { ++finished; });
    state.start();
    // start() returns before the cache is read; the rest of start-up is done.
    EXPECT_TRUE(state.isRestoringCache());
    EXPECT_EQ(state.rootNode(), nullptr);
    EXPECT_FALSE(state.hasCachedScan());
    EXPECT_EQ(state.section(), AppSection::home);

    ASSERT_TRUE(test::waitUntil([&] { return !state.isRestoringCache() && state.volumes().size() == 2u; }));
    EXPECT_EQ(finished, 1);
    ASSERT_NE(state.rootNode(), nullptr);
    EXPECT_EQ(state.rootNode()->id, root->id);
    EXPECT_EQ(state.insights().fileCount, 1);
    EXPECT_EQ(state.scanRootName(), "Data");
    EXPECT_EQ(state.section(), AppSection::home);
    // Published as loadCachedScan(false) publishes, in the same order (the
    // hovered node and the tab are already at their values).
    using F = AppState::Field;
    std::erase(log.fields, F::volumes);  // the volume list arrives from its own worker, whenever it is done
    EXPECT_EQ(log.fields, (std::vector<F>{F::scanRootPath, F::scanRootName, F::lastScanDate, F::rootNode,
                                          F::focusNode, F::insights, F::hasCachedScan}));
}

// A cache load that holds on its first call until the test lets it go; every
// call hands back a tree of its own, named after the call.
class HeldCacheLoads {
public:
    MapServices services() {
        MapServices services = test::testServices();
        services.loadCache = [this] {
            const int call = ++calls_;
            if (call == 1) {
                while (!released_) QThread::msleep(1);
            }
            const QString name = QStringLiteral("cached%1").arg(call);
            return std::optional(CachedScan{"/" + name, name, kNow.addSecs(-60),
                                            ScanNode::create(QUuid::createUuid(), name, "/" + name, NodeKind::dir, 5),
                                            ScanInsights::empty()});
        };
        return services;
    }
    void release() { released_ = true; }
    int calls() const { return calls_; }

private:
    std::atomic_int calls_{0};
    std::atomic_bool released_{false};
};

TEST_F(AppStateStartupTest, ARestoreArrivingLateNeverReplacesANewerTree) {
    // A scan started before the cache is read keeps its tree, running or finished.
    {
        HeldCacheLoads loads;
        test::HeldWalks walks;
        MapServices services = loads.services();
        services.makeWalk = [&walks](const QString& rootPath) { return walks.make(rootPath); };
        AppState state(services);
        int finished = 0;
        QObject::connect(&state, &AppState::cacheRestoreFinished, [&finished] { ++finished; });
        state.start();
        state.startScan(env.path("Projects"));
        loads.release();
        ASSERT_TRUE(test::waitUntil([&] { return !state.isRestoringCache(); }));
        EXPECT_EQ(finished, 1);
        EXPECT_EQ(state.rootNode(), nullptr);
        EXPECT_FALSE(state.hasCachedScan());
        EXPECT_EQ(state.scanRootPath(), env.path("Projects"));
        EXPECT_EQ(state.screen(), AppState::Screen::scanning);
        EXPECT_EQ(state.section(), AppSection::map);

        ASSERT_TRUE(test::waitUntil([&] { return walks.count() == 1 && walks.at(0)->started; }));
        walks.at(0)->released = true;
        ASSERT_TRUE(test::waitUntil([&] { return state.screen() == AppState::Screen::idle; }));
        ASSERT_NE(state.rootNode(), nullptr);
        EXPECT_EQ(state.rootNode()->path(), env.path("Projects"));
    }
    // A synchronous load supersedes the restore still running.
    {
        HeldCacheLoads loads;
        AppState state(loads.services());
        int finished = 0;
        QObject::connect(&state, &AppState::cacheRestoreFinished, [&finished] { ++finished; });
        state.start();
        ASSERT_TRUE(test::waitUntil([&] { return loads.calls() == 1; }));
        state.loadCachedScan(true);
        EXPECT_FALSE(state.isRestoringCache());
        ASSERT_NE(state.rootNode(), nullptr);
        EXPECT_EQ(state.rootNode()->name, "cached2");
        EXPECT_EQ(state.section(), AppSection::map);
        loads.release();
        state.waitForCacheSaves();
        test::spin(50);
        EXPECT_EQ(state.rootNode()->name, "cached2");
        EXPECT_EQ(finished, 0);
    }
    // The state may go before its restore is delivered.
    {
        HeldCacheLoads loads;
        loads.release();
        auto state = std::make_unique<AppState>(loads.services());
        state->start();
        state->waitForCacheSaves();  // read, and its delivery queued
        state.reset();
        test::spin(50);
        EXPECT_EQ(loads.calls(), 1);
    }
}

}  // namespace
}  // namespace tarnwick
