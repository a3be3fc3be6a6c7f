#include "services/cleanup/CleanupService.h"

#include "services/cleanup/JunkResults.h"

#include "JunkTestSupport.h"

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick::test {
namespace {

constexpr qint64 MB = 1000000;

class CleanupScan : public JunkTest {
protected:
    QList<CleanupItem> scan(std::stop_token stop = {}) {
        labels.clear();
        return CleanupService::scan([this](const QString& label) { labels.append(label); }, std::move(stop));
    }
    // The temporary folder the scan looks at.
    QString temp() {
        const QString folder = makeDir(env.path("t"));
        env.environment().tempDirectory = folder;
        env.apply();
        return folder;
    }

    QStringList labels;
};

// Which places are pre-selected, and which are cleaned by their entries
// (the folder stays) rather than moved whole: a sample of the locations.
TEST_F(CleanupScan, EveryFixedPlaceIsFoundWithItsSelectionAndMoveScope) {
    const QString tmp = temp();
    struct Row {
        QString path;
        CleanupCategory category;
        bool safe;
        bool keepsFolder;
    };
    using C = CleanupCategory;
    const QString docker = home("Library/Containers/com.docker.docker/Data/");
    const QString photos = home("Pictures/Photos Library.photoslibrary/resources/");
    const std::vector<Row> rows = {
        {home(".cache"), C::caches, true, true},
        {root("/Library/Caches"), C::caches, false, true},
        {tmp, C::temp, true, true},
        {root("/private/var/folders"), C::temp, false, true},
        {home("Library/Application Support/MobileSync/Backup"), C::iosBackups, false, false},
        {photos + "caches", C::photoJunk, true, true},
        {home("Library/Mail Downloads"), C::mail, false, true},
        {home("Library/Developer/Xcode/DerivedData"), C::xcode, true, true},
        {docker + "vms/0/data/Docker.raw", C::docker, false, false},
        {home(".docker/desktop/vms/0/data/Docker.qcow2"), C::docker, false, false},
        {docker + "log", C::docker, true, true},
        {home(".ollama/models"), C::ai, false, true},
        {home(".cache/huggingface"), C::ai, false, true},
    };
    for (const Row& row : rows) {
        if (row.category != C::docker || row.keepsFolder) {
            writeSparse(row.path + "/entry", 200000);
            continue;
        }
        // A sparse disk image: 64 MB long, 200 KiB of it on disk.
        writeSparse(row.path, 64 * MB, 200 * 1024);
    }
    makeDir(root("/Applications/Docker.app"));  // the engine is installed: its container is no leftover
    writeSparse(home("Library/Caches/com.example/blob"), 5 * MB);  // not this platform's cache folder

    const QList<CleanupItem> items = scan();
    ASSERT_EQ(items.size(), qsizetype(rows.size())) << titlesOf(items).join(u'|').toStdString();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path.toStdString());
        const CleanupItem* item = byPath(items, row.path);
        ASSERT_TRUE(item);
        EXPECT_EQ(item->category, row.category);
        EXPECT_EQ(item->isSelected, row.safe);
        EXPECT_EQ(item->isSafeDefault, row.safe);
        EXPECT_EQ(item->scope.contentsOnly, row.keepsFolder);
        if (row.keepsFolder || row.category != C::docker) {
            EXPECT_EQ(item->size, 200000);
        } else {
            EXPECT_GE(item->size, 200 * 1024);
            EXPECT_LT(item->size, MB) << "its blocks, not its length";
        }
    }
    EXPECT_EQ(byPath(items, home(".cache"))->detail, "~/.cache");
    EXPECT_EQ(byPath(items, home(".cache"))->scope.keptPaths, QStringList{home(".cache/huggingface")})
        << "the model cache below is its own finding";

    // "~" replaces only a whole leading home folder ("/…/usera" beside "/…/user").
    env.environment().rootPrefix = makeDir(env.home() + "a");
    env.apply();
    writeSparse(root("/Library/Caches/x"), MB);
    const QList<CleanupItem> again = scan();
    ASSERT_TRUE(byPath(again, root("/Library/Caches")));
    EXPECT_EQ(byPath(again, root("/Library/Caches"))->detail, root("/Library/Caches"));
}

// What is not above the size floor goes; the rest is trimmed to the budget.
TEST_F(CleanupScan, TheFinalStepsFilterAndTrim) {
    std::vector<JunkFinding> findings(100);
    for (int i = 0; i < 100; ++i) {
        findings[i].item.title = QString::number(i);
        findings[i].item.path = home(QStringLiteral("f%1").arg(i));
        findings[i].item.size = 200000 + i;
    }
    findings[99].item.size = 100000;  // not above the floor, though selected
    findings[0].item.isSelected = findings[99].item.isSelected = true;
    const QList<CleanupItem> items = CleanupService::finishScan(findings, context());
    ASSERT_EQ(items.size(), 80);
    EXPECT_EQ(titlesOf(items.mid(0, 2)), (QStringList{"0", "98"})) << "the selected first, then the largest";
    EXPECT_FALSE(titlesOf(items).contains("99"));
}

// Only a fixed folder is cleaned by its entries; any other folder finding
// moves whole, with every finding inside it, and counts them.
TEST_F(CleanupScan, FindingsInsideOtherFindingsAreNeitherCountedNorMovedTwiceNorLeftHalf) {
    writeSparse(home(".cache/thumbnails/t"), 300000);
    writeSparse(home(".cache/huggingface/hub/model"), 5 * MB);
    // A copy inside a project's node_modules of a file in Downloads.
    writeFilled(home("Downloads/big.bin"), 3 * MB, 'k');
    writeFilled(home("Documents/proj/node_modules/pkg/big.bin"), 3 * MB, 'k');
    writeSparse(home("Documents/proj/node_modules/other/x"), 6 * MB);
    // A leftover container that holds the disk image.
    writeFilled(home("Library/Containers/com.docker.docker/Data/vms/0/data/Docker.raw"), 2 * MB, 'r');
    writeSparse(home("Library/Containers/com.docker.docker/Other/state"), 30 * MB);

    const QList<CleanupItem> items = scan();
    const CleanupItem* cache = byPath(items, home(".cache"));
    ASSERT_TRUE(cache);
    EXPECT_EQ(cache->size, 300000);
    EXPECT_TRUE(cache->scope.contentsOnly);
    EXPECT_EQ(cache->scope.keptPaths, QStringList{home(".cache/huggingface")});
    ASSERT_TRUE(cache->scope.measured);
    ASSERT_EQ(cache->scope.measured->size(), 1);
    EXPECT_EQ(cache->scope.measured->at(0).path, home(".cache/thumbnails"));
    EXPECT_EQ(cache->scope.measured->at(0).seen, FileIdentity::of(home(".cache/thumbnails")));
    EXPECT_EQ(byPath(items, home(".cache/huggingface"))->size, 5 * MB);

    const CleanupItem* node = byPath(items, home("Documents/proj/node_modules"));
    ASSERT_TRUE(node);
    EXPECT_EQ(node->size, 9 * MB) << "the copy inside counts with its folder";
    EXPECT_EQ(node->scope, MoveScope{}) << "moves whole";
    EXPECT_EQ(node->seen, FileIdentity::of(node->path));
    EXPECT_FALSE(byPath(items, home("Documents/proj/node_modules/pkg/big.bin")));
    const CleanupItem* leftover = byPath(items, home("Library/Containers/com.docker.docker"));
    ASSERT_TRUE(leftover);
    EXPECT_EQ(leftover->category, CleanupCategory::leftovers);
    EXPECT_EQ(leftover->size, 32 * MB);
    EXPECT_EQ(leftover->scope, MoveScope{});
    EXPECT_FALSE(byPath(items, home("Library/Containers/com.docker.docker/Data/vms/0/data/Docker.raw")));
}

// A folder cleaned by its entries offers only what no one is using: no
// socket, pipe, device node or mount point, nothing changed within the hour;
// the size counts exactly the entries it offers, each with what it was.
TEST_F(CleanupScan, EntriesInUseStayOutOfAFolderCleanedByItsEntries) {
    const QString t = temp();
    const QString old = writeSparse(t + "/old.log", 200000);
    writeSparse(t + "/build/obj/a.o", 300000);
    ListeningSocket agent(t + "/ssh-agent.sock");
    ASSERT_TRUE(agent.listening);
    ListeningSocket bus(t + "/at-spi/bus");  // a folder holding a live socket
    writeSparse(t + "/at-spi/state", 400000);
    ASSERT_EQ(::mkfifo(PathCodec::encode(t + "/pipe").constData(), 0600), 0);
    setModified(writeSparse(t + "/fresh.tmp", 500000), ago(60));
    setModified(writeSparse(t + "/dconf/user", 600000), ago(30 * 60));  // changed within the hour
    ScratchFileSystem mounted(t + "/mnt", 4 * MB);
    if (mounted.ok()) writeSparse(mounted.path("other-disk.bin"), 700000);
    for (const QString& path : {old, t + "/build/obj/a.o", t + "/build/obj", t + "/build", t + "/at-spi/state", t + "/at-spi"}) {
        setModified(path, ago(7200));
    }

    const QList<CleanupItem> items = scan();
    const CleanupItem* found = byPath(items, t);
    ASSERT_TRUE(found);
    EXPECT_TRUE(found->isSelected);
    EXPECT_EQ(found->size, 500000) << "old.log and build only";
    ASSERT_TRUE(found->scope.measured);
    QStringList measured;
    for (const ScopeEntry& entry : *found->scope.measured) {
        measured.append(entry.path);
        EXPECT_EQ(entry.seen, FileIdentity::of(entry.path)) << entry.path.toStdString();
    }
    EXPECT_EQ(measured, (QStringList{t + "/build", old}));
    QStringList left = found->scope.keptPaths;
    left.sort();
    EXPECT_EQ(left, (QStringList{t + "/at-spi", t + "/dconf", t + "/fresh.tmp", t + "/mnt", t + "/pipe",
                                 t + "/ssh-agent.sock"}));
}

// A folder that moves whole never counts what is mounted in it, and one
// that holds a mount point is not offered: it cannot move whole.
TEST_F(CleanupScan, NoMeasureCrossesAMountPoint) {
    writeSparse(home("Projects/app/node_modules/lib/index.js"), 6 * MB);
    writeSparse(home("Projects/web/node_modules/lib/index.js"), 6 * MB);
    ScratchFileSystem mounted(home("Projects/web/node_modules/cache"), 8 * MB);
    if (!mounted.ok()) GTEST_SKIP() << "mounting needs root";
    writeFilled(mounted.path("blob"), 5 * MB, 'm');
    ScratchFileSystem cacheMount(makeDir(home(".cache/fuse")), 8 * MB);
    ASSERT_TRUE(cacheMount.ok());
    writeFilled(cacheMount.path("big"), 5 * MB, 'c');
    writeSparse(home(".cache/a/b"), 200000);
    for (const QString& path : {home(".cache"), home(".cache/a/b"), home(".cache/a")}) setModified(path, ago(7200));

    const QList<CleanupItem> items = scan();
    EXPECT_TRUE(byPath(items, home("Projects/app/node_modules")));
    EXPECT_FALSE(byPath(items, home("Projects/web/node_modules")));
    const CleanupItem* cache = byPath(items, home(".cache"));
    ASSERT_TRUE(cache);
    EXPECT_EQ(cache->size, 200000) << "the mounted files are not counted";
    EXPECT_TRUE(cache->scope.keptPaths.contains(home(".cache/fuse")));
}

// Measuring stops at its budget: the finding says so; a folder cleaned by
// its entries offers only the entries measured whole.
TEST_F(CleanupScan, AFolderMeasuredInPartSaysSoAndOffersOnlyWhatWasMeasured) {
    const QString t = temp();
    writeSparse(t + "/a/one", 150000);
    for (int i = 0; i < 3100; ++i) writeSparse(t + QStringLiteral("/b/%1").arg(i), 100);
    for (const QString& path : {t + "/a/one", t + "/a", t + "/b"}) setModified(path, ago(7200));
    const QList<CleanupItem> items = scan();
    const CleanupItem* found = byPath(items, t);
    ASSERT_TRUE(found);
    EXPECT_TRUE(found->detail.endsWith(" \u00B7 measured in part")) << found->detail.toStdString();
    EXPECT_EQ(found->size, 150000);
    ASSERT_TRUE(found->scope.measured);
    ASSERT_EQ(found->scope.measured->size(), 1);
    EXPECT_EQ(found->scope.measured->at(0).path, t + "/a");
    EXPECT_EQ(found->scope.keptPaths, QStringList{t + "/b"}) << "only partly measured";
}

TEST_F(CleanupScan, TheProgramsOwnFoldersNeverMoveWithAFinding) {
    // The data folder set inside the cache folder: the Safe Bin would go with the caches.
    env.environment().applicationSupport = home(".cache/share");
    env.apply();
    writeSparse(home(".cache/share/Tarnwick/SafeBin/kept"), 5 * MB);
    writeSparse(home(".cache/share/Tarnwick/tmp.part"), 5 * MB);
    writeSparse(home(".cache/other"), 300000);
    QList<CleanupItem> items = scan();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0].size, 300000);
    EXPECT_EQ(items[0].scope.keptPaths, QStringList{home(".cache/share")});

    // Downloads set to the Safe Bin: what it holds looks like old installers,
    // unfinished downloads and duplicates, and is none of them.
    writeFile(home(".config/user-dirs.dirs"), "XDG_DOWNLOAD_DIR=\"$HOME/.cache/share/Tarnwick/SafeBin\"\n");
    const QString bin = home(".cache/share/Tarnwick/SafeBin");
    setModified(writeFilled(bin + "/0A-Setup.dmg", 6 * MB, 's'), ago(40 * 86400));
    setModified(writeSparse(bin + "/0B-movie.part", 6 * MB), ago(40 * 86400));
    writeFilled(home("Documents/Setup copy.dmg"), 6 * MB, 's');
    writeSparse(bin + "/0C-app/node_modules/x", 6 * MB);
    EXPECT_EQ(scan().size(), 1);
}

TEST_F(CleanupScan, NothingOutsideTheHomeFolderThatTheUserDoesNotOwnIsOffered) {
    writeSparse(root("/Library/Caches/shared/blob"), MB);
    writeSparse(root("/private/var/log/system.log"), MB);
    writeSparse(root("/Applications/Pages.app/Contents/Resources/fr.lproj/x"), 2 * MB);
    writeSparse(home(".cache/c"), MB);
    ASSERT_EQ(scan().size(), 4) << "all the user's own";
    env.environment().userId = qint64(::geteuid()) + 4242;
    env.apply();
    EXPECT_EQ(titlesOf(scan()), QStringList{"User Caches"});

    if (::geteuid() != 0) return;  // handing a file to another owner needs root
    writeSparse(root("/Library/Caches/mine/blob"), 2 * MB);
    ASSERT_EQ(::chown(PathCodec::encode(root("/Library/Caches/mine")).constData(), 4242 + ::geteuid(), gid_t(-1)), 0);
    const QList<CleanupItem> items = scan();
    const CleanupItem* system = byPath(items, root("/Library/Caches"));
    ASSERT_TRUE(system);
    EXPECT_EQ(system->size, 2 * MB);
    EXPECT_TRUE(system->scope.contentsOnly);
    EXPECT_EQ(system->scope.keptPaths, QStringList{root("/Library/Caches/shared")});
}

TEST_F(CleanupScan, AStopEndsTheScanWithWhatWasFound) {
    writeSparse(home(".cache/c"), MB);
    writeSparse(home("Library/Logs/l"), MB);
    std::stop_source early;
    early.request_stop();
    EXPECT_TRUE(scan(early.get_token()).isEmpty());
    EXPECT_TRUE(labels.isEmpty());

    std::stop_source during;
    const QList<CleanupItem> items = CleanupService::scan(
        [&](const QString& label) {
            labels.append(label);
            if (labels.size() == 2) during.request_stop();
        },
        during.get_token());
    EXPECT_EQ(labels.size(), 2);
    EXPECT_EQ(titlesOf(items), QStringList{"User Caches"});
}

}  // namespace
}  // namespace tarnwick::test
