#include "state/AppState.h"

#include "StateTestSupport.h"
#include "TestSupport.h"
#include "support/RelativeDateFormatter.h"

#include <gtest/gtest.h>

#include <QThread>

#include <functional>
#include <mutex>

namespace tarnwick {
namespace {

const QDateTime kNow(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC);

// What the background steps of a scan were asked to do, and on which thread.
struct Calls {
    std::mutex mutex;
    QStringList enriched;  // roots handed to the reconciler
    QStringList saved;     // "path|name" of each cache save
    bool offUiThread = true;

    void note(QStringList& list, const QString& text) {
        std::lock_guard lock(mutex);
        list.append(text);
        if (QThread::currentThread() == QCoreApplication::instance()->thread()) offUiThread = false;
    }
    QStringList savedList() {
        std::lock_guard lock(mutex);
        return saved;
    }
};

MapServices recording(MapServices services, Calls& calls) {
    auto enrich = services.enrichStartupVolume;
    services.enrichStartupVolume = [&calls, enrich](const ScanNodePtr& root, const QString& rootName) {
        calls.note(calls.enriched, root->path() + "|" + rootName);
        return enrich(root, rootName);
    };
    services.saveCache = [&calls](const QString& path, const QString& name, const ScanNodePtr&, const ScanInsights&) {
        calls.note(calls.saved, path + "|" + name);
    };
    return services;
}

// Every progress the state published, in order.
struct ProgressLog {
    explicit ProgressLog(AppState& state) {
        QObject::connect(&state, &AppState::changed, &context, [this, &state](AppState::Field field) {
            if (field == AppState::Field::progress) paths.append(state.progress().currentPath);
        });
    }
    QStringList paths;
    QObject context;
};

class AppStateScanTest : public ::testing::Test {
protected:
    AppStateScanTest() { env.setNow(kNow); }

    bool idle(AppState& state) {
        return test::waitUntil([&] { return state.screen() == AppState::Screen::idle; });
    }

    test::FakeEnvironment env;
    Calls calls;
    test::HeldWalks walks;
};

TEST_F(AppStateScanTest, RealWalkPublishesTreeInsightsAndSavesTheCache) {
    const QString root = test::makeDir(env.path("Projects"));
    test::writeFile(root + "/Media/movie.bin", QByteArray(300 * 1024, 'm'));
    test::writeFile(root + "/notes.txt", QByteArray(100, 'n'));
    test::writeFile(root + "/todo.txt", QByteArray(100, 't'));

    AppState state(recording(test::testServices(), calls));
    state.start();
    // Left over from before: a collected item and a message, both cleared by the new scan.
    state.addToCollector(ScanNode::create(QUuid::createUuid(), "old.txt", env.path("old.txt"), NodeKind::file, 5));
    state.addToCollector(ScanNode::create(QUuid::createUuid(), "group", root, NodeKind::smallGroup, 5));
    ASSERT_EQ(state.collector().size(), 1);
    ASSERT_TRUE(state.errorMessage());
    state.setSearchQuery("old");
    state.setAnalysisTab(AnalysisTab::oldest);
    state.startScan(root);
    EXPECT_EQ(state.screen(), AppState::Screen::scanning);
    EXPECT_EQ(state.scanRootName(), "Projects");
    EXPECT_EQ(state.searchQuery(), "");
    EXPECT_EQ(state.analysisTab(), AnalysisTab::map);
    EXPECT_TRUE(state.collector().isEmpty());
    EXPECT_FALSE(state.errorMessage());

    ASSERT_TRUE(idle(state));
    ASSERT_NE(state.rootNode(), nullptr);
    EXPECT_EQ(state.focusNode(), state.rootNode());
    EXPECT_NE(test::childNamed(state.rootNode(), "Media"), nullptr);
    EXPECT_EQ(state.insights().fileCount, 3);
    EXPECT_EQ(state.progress().currentPath, root) << "the finished scan shows its root";
    EXPECT_TRUE(state.hasCachedScan());
    EXPECT_EQ(state.lastScanDate(), kNow);

    ASSERT_TRUE(test::waitUntil([&] { return !calls.savedList().isEmpty(); }));
    EXPECT_EQ(calls.savedList(), QStringList{root + "|Projects"});
    EXPECT_TRUE(calls.enriched.isEmpty());
    EXPECT_TRUE(calls.offUiThread);
}

TEST_F(AppStateScanTest, CancelStopsTheWalkAndPublishesNothing) {
    AppState state(recording(test::heldServices(walks), calls));
    state.startScan("/data/one");
    ASSERT_TRUE(test::waitUntil([&] { return walks.at(0) && walks.at(0)->started; }));
    state.cancelScan();
    EXPECT_TRUE(walks.at(0)->cancelled);
    EXPECT_EQ(state.screen(), AppState::Screen::idle);
    EXPECT_EQ(state.section(), AppSection::home) << "no tree loaded: back to Vidur Aded";
    ASSERT_TRUE(test::waitUntil([&] { return walks.at(0)->finished.load(); }));
    test::spin(50);
    EXPECT_EQ(state.rootNode(), nullptr);
    EXPECT_FALSE(state.hasCachedScan());
    EXPECT_TRUE(calls.savedList().isEmpty());

    // With a tree loaded, cancelling returns to the map with the old tree.
    state.startScan("/data/two");
    walks.at(1)->released = true;
    ASSERT_TRUE(idle(state));
    const ScanNodePtr tree = state.rootNode();
    state.rescan();
    state.cancelScan();
    EXPECT_EQ(state.section(), AppSection::map);
    EXPECT_EQ(state.rootNode(), tree);
}

TEST_F(AppStateScanTest, OnlyTheRunningScanPublishesProgressAndItsTree) {
    AppState state(test::heldServices(walks));
    ProgressLog progress(state);
    state.startScan("/data/first");
    ASSERT_TRUE(test::waitUntil([&] { return walks.at(0) && walks.at(0)->started; }));
    state.startScan("/data/second");
    EXPECT_TRUE(walks.at(0)->cancelled);
    EXPECT_FALSE(walks.at(1)->cancelled);
    ASSERT_TRUE(test::waitUntil([&] { return walks.at(0)->finished.load(); }));
    test::spin(50);
    EXPECT_EQ(state.screen(), AppState::Screen::scanning);
    EXPECT_EQ(state.rootNode(), nullptr);
    EXPECT_EQ(state.scanRootPath(), "/data/second");
    ASSERT_TRUE(test::waitUntil([&] { return state.progress().currentPath == "/data/second/a.bin"; }));
    EXPECT_EQ(state.progress().scannedFiles, 1);

    walks.at(1)->released = true;
    ASSERT_TRUE(idle(state));
    EXPECT_EQ(state.rootNode()->path(), "/data/second");
    for (const QString& path : progress.paths.mid(progress.paths.indexOf("/data/second"))) {
        EXPECT_TRUE(path.startsWith("/data/second")) << path.toStdString();
    }
}

TEST_F(AppStateScanTest, CancelReachesOnlyItsOwnScanEvenForTheSameRoot) {
    AppState state(test::heldServices(walks));
    state.startScan("/data/same");
    ASSERT_TRUE(test::waitUntil([&] { return walks.at(0) && walks.at(0)->started; }));
    state.cancelScan();
    state.startScan("/data/same");
    ASSERT_EQ(walks.count(), 2u);
    EXPECT_TRUE(walks.at(0)->cancelled);
    ASSERT_TRUE(test::waitUntil([&] { return walks.at(0)->finished.load(); }));
    test::spin(50);
    EXPECT_FALSE(walks.at(1)->cancelled) << "the old cancel must not stop the new walk";
    EXPECT_EQ(state.screen(), AppState::Screen::scanning) << "the old scan's end must not reset the screen";

    // A restart of the same root while the first still runs.
    state.startScan("/data/same");
    EXPECT_TRUE(walks.at(1)->cancelled);
    EXPECT_FALSE(walks.at(2)->cancelled);
    walks.at(1)->released = true;
    test::spin(50);
    EXPECT_EQ(state.screen(), AppState::Screen::scanning);
    EXPECT_EQ(state.rootNode(), nullptr);
    walks.at(2)->released = true;
    ASSERT_TRUE(idle(state));
    EXPECT_NE(state.rootNode(), nullptr);
}

TEST_F(AppStateScanTest, StartupVolumeScansAreRoutedByTheRootVolumeAndNamedAfterIt) {
    // The volume list marks "/srv/root" as the root file system; the names
    // the callers pass are not what routes a scan.
    MapServices services = test::heldServices(walks);
    services.listVolumes = [] {
        return std::vector<VolumeInfo>{VolumeInfo{"/srv/root", "/", "/srv/root", "/srv/root", 1000, 400, true, std::nullopt},
                                       VolumeInfo{"/mnt/b", "Backup", "/mnt/b", "/mnt/b", 2000, 1500, false, std::nullopt}};
    };
    AppState state(recording(services, calls));
    state.start();
    ASSERT_TRUE(test::waitUntil([&] { return state.volumes().size() == 2u; }));
    // The path and name asked for, the root walked and the name shown. "/"
    // without a name takes the root file system's label; a name of another
    // platform, as an older cache holds it, routes nothing and names nothing.
    const struct {
        QString path;
        std::optional<QString> name;
        QString walked, shown;
    } scans[] = {
        {"/", std::nullopt, "/", "Work Disk"},
        {"/srv/root", "/", "/srv/root", "Work Disk"},
        {"/Volumes/Other", "Macintosh HD", "/Volumes/Other", "Macintosh HD"},
        {"/", "Macintosh HD", "/", "Work Disk"},
        {"/mnt/b", "Backup", "/mnt/b", "Backup"},
        {"/Users/me/Projects", std::nullopt, "/Users/me/Projects", "Projects"},
    };
    size_t walk = 0;
    for (const auto& scan : scans) {
        state.startScan(scan.path, scan.name);
        EXPECT_EQ(walks.at(walk)->rootPath, scan.walked) << scan.path.toStdString();
        EXPECT_EQ(state.scanRootName(), scan.shown) << scan.path.toStdString();
        walks.at(walk++)->released = true;
        ASSERT_TRUE(idle(state));
        if (scan.shown == "Work Disk") EXPECT_EQ(state.rootNode()->name, scan.shown) << "the start-up volume's tree";
    }
    // Where the Data volume exists, "/" walks it, and so does the rescan.
    test::makeDir(env.root() + "/System/Volumes/Data");
    for (const auto start : {std::function<void()>([&] { state.startScan("/"); }), std::function<void()>([&] { state.rescan(); })}) {
        start();
        EXPECT_EQ(state.scanRootPath(), "/System/Volumes/Data");
        EXPECT_EQ(state.scanRootName(), "Work Disk");
        walks.at(walk++)->released = true;
        ASSERT_TRUE(idle(state));
    }
    EXPECT_EQ(calls.enriched, (QStringList{"/|Work Disk", "/srv/root|Work Disk", "/|Work Disk",
                                           "/System/Volumes/Data|Work Disk", "/System/Volumes/Data|Work Disk"}))
        << "only start-up volume scans are reconciled";
    EXPECT_TRUE(calls.offUiThread);

    // Without a label the start-up volume is "Computer".
    MapServices unlabelled = test::heldServices(walks);
    unlabelled.startupVolumeName = [] { return QStringLiteral("  "); };
    AppState other(unlabelled);
    other.startScan("/");
    EXPECT_EQ(other.scanRootName(), "Computer");
    other.cancelScan();
}

TEST_F(AppStateScanTest, DestroyingTheStateMidScanStopsTheWalk) {
    auto state = std::make_unique<AppState>(test::heldServices(walks));
    state->startScan("/data/one");
    ASSERT_TRUE(test::waitUntil([&] { return walks.at(0) && walks.at(0)->started; }));
    state.reset();
    EXPECT_TRUE(walks.at(0)->cancelled);
    EXPECT_TRUE(walks.at(0)->finished);
    test::spin(20);  // queued results for the destroyed state are dropped
}

TEST_F(AppStateScanTest, LastMapSummaryFollowsTheTreeOnScreenAcrossScanCancelAndRestore) {
    // An older cache, stored under a name of another platform, still loads.
    MapServices services = test::heldServices(walks);
    services.saveCache = nullptr;
    services.loadCache = [] {
        CachedScan cached;
        cached.rootPath = QStringLiteral("/");
        cached.rootName = QStringLiteral("Macintosh HD");
        cached.scannedAt = kNow.addSecs(-2 * 3600);
        cached.root = ScanNode::create(QUuid::createUuid(), cached.rootName, cached.rootPath, NodeKind::dir, 0);
        cached.insights = ScanInsights::empty();
        return std::optional<CachedScan>(cached);
    };
    AppState state(services);
    EXPECT_EQ(state.lastScanSummary(), std::nullopt);
    ASSERT_TRUE(test::startAndRestore(state));
    const QString restored = QStringLiteral("Macintosh HD \u00B7 2 hr. ago");
    EXPECT_EQ(state.lastScanSummary(), restored);

    // While another root is scanned, and after that scan is cancelled, the
    // card names the map on screen and its age.
    state.startScan("/data/Photos");
    EXPECT_EQ(state.scanRootName(), "Photos");
    EXPECT_EQ(state.lastScanSummary(), restored);
    state.cancelScan();
    EXPECT_EQ(state.section(), AppSection::map);
    EXPECT_EQ(state.lastScanSummary(), restored);

    // A finished scan takes over with its own date.
    env.setNow(kNow.addSecs(600));
    state.startScan("/data/Music");
    walks.at(1)->released = true;
    ASSERT_TRUE(idle(state));
    EXPECT_EQ(state.lastScanSummary(), "Music \u00B7 " + RelativeDateFormatter::shortPhrase(kNow.addSecs(600),
                                                                                            kNow.addSecs(600)));
    // A scan superseded by another before it ends never shows up on the card.
    state.startScan("/data/Films");
    state.startScan("/data/Books");
    walks.at(2)->released = true;
    test::spin(50);
    EXPECT_TRUE(state.lastScanSummary()->startsWith("Music "));
    walks.at(3)->released = true;
    ASSERT_TRUE(idle(state));
    EXPECT_TRUE(state.lastScanSummary()->startsWith("Books "));

    // Restoring the cache again brings its tree and its name back.
    state.loadCachedScan(true);
    EXPECT_EQ(state.lastScanSummary(), "Macintosh HD \u00B7 2 hr. ago");
}

TEST_F(AppStateScanTest, ReplacedAndCancelledTreesAreFreedOffTheUiThreadThenMemoryIsReturned) {
    struct Trims {
        std::mutex mutex;
        std::weak_ptr<ScanNode> watched;
        int count = 0;
        bool onUiThread = false;
        bool watchedAliveAtTrim = false;
    } trims;
    MapServices services = test::heldServices(walks);
    services.saveCache = nullptr;
    services.returnFreedMemory = [&trims] {
        std::lock_guard lock(trims.mutex);
        ++trims.count;
        if (QThread::currentThread() == QCoreApplication::instance()->thread()) trims.onUiThread = true;
        if (!trims.watched.expired()) trims.watchedAliveAtTrim = true;
    };
    const auto trimCount = [&trims] {
        std::lock_guard lock(trims.mutex);
        return trims.count;
    };
    AppState state(services);

    state.startScan("/data/first");
    walks.at(0)->released = true;
    ASSERT_TRUE(idle(state));
    {
        std::lock_guard lock(trims.mutex);
        trims.watched = state.rootNode();
    }
    EXPECT_EQ(trimCount(), 0);

    // The next tree replaces it: the old one is freed by the release thread,
    // which then hands the memory back.
    state.startScan("/data/second");
    walks.at(1)->released = true;
    ASSERT_TRUE(idle(state));
    ASSERT_TRUE(test::waitUntil([&] { return trimCount() == 1; }));
    {
        std::lock_guard lock(trims.mutex);
        EXPECT_TRUE(trims.watched.expired());
        EXPECT_FALSE(trims.watchedAliveAtTrim);
    }

    // A tree still held elsewhere (a screen not redrawn yet) is freed once
    // let go, and only then is memory returned.
    ScanNodePtr heldByScreen = state.rootNode();
    {
        std::lock_guard lock(trims.mutex);
        trims.watched = heldByScreen;
    }
    state.startScan("/data/third");
    walks.at(2)->released = true;
    ASSERT_TRUE(idle(state));
    test::spin(150);
    EXPECT_EQ(trimCount(), 1);
    heldByScreen.reset();
    ASSERT_TRUE(test::waitUntil([&] { return trimCount() == 2; }));

    // A cancelled walk's tree is dropped on its scanner thread, then trimmed.
    state.startScan("/data/fourth");
    ASSERT_TRUE(test::waitUntil([&] { return walks.at(3)->started.load(); }));
    state.cancelScan();
    ASSERT_TRUE(test::waitUntil([&] { return trimCount() == 3; }));
    std::lock_guard lock(trims.mutex);
    EXPECT_FALSE(trims.onUiThread);
    EXPECT_FALSE(trims.watchedAliveAtTrim);
}

}  // namespace
}  // namespace tarnwick
