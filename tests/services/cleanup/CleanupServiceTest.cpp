#include "services/cleanup/CleanupService.h"

#include "services/cleanup/JunkMeasure.h"
#include "services/cleanup/JunkResults.h"
#include "services/safebin/SafeBinMover.h"
#include "support/ByteCountFormatter.h"

#include "JunkTestSupport.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
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
        if (row.keepsFolder) {
            writeFilled(row.path + "/entry", 200000, 'e');  // counted by the blocks it takes
            continue;
        }
        if (row.category != C::docker) {
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
        if (row.keepsFolder) {
            EXPECT_EQ(item->size, onDisk(row.path + "/entry"));
        } else if (row.category != C::docker) {
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
    writeFilled(root("/Library/Caches/x"), MB, 'x');
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
    writeFilled(home(".cache/thumbnails/t"), 300000, 't');
    writeFilled(home(".cache/huggingface/hub/model"), 5 * MB, 'm');
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
    EXPECT_EQ(cache->size, onDisk(home(".cache/thumbnails/t")));
    EXPECT_TRUE(cache->scope.contentsOnly);
    EXPECT_EQ(cache->scope.keptPaths, QStringList{home(".cache/huggingface")});
    ASSERT_TRUE(cache->scope.measured);
    ASSERT_EQ(cache->scope.measured->size(), 1);
    EXPECT_EQ(cache->scope.measured->at(0).path, home(".cache/thumbnails"));
    EXPECT_EQ(cache->scope.measured->at(0).seen, FileIdentity::of(home(".cache/thumbnails")));
    EXPECT_EQ(byPath(items, home(".cache/huggingface"))->size, onDisk(home(".cache/huggingface/hub/model")));

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
    const QString old = writeFilled(t + "/old.log", 200000, 'o');
    writeFilled(t + "/build/obj/a.o", 300000, 'a');
    ListeningSocket agent(t + "/ssh-agent.sock");
    ASSERT_TRUE(agent.listening);
    ListeningSocket bus(t + "/at-spi/bus");  // a folder holding a live socket
    writeFilled(t + "/at-spi/state", 400000, 's');
    ASSERT_EQ(::mkfifo(PathCodec::encode(t + "/pipe").constData(), 0600), 0);
    setModified(writeFilled(t + "/fresh.tmp", 500000, 'f'), ago(60));
    setModified(writeFilled(t + "/dconf/user", 600000, 'd'), ago(30 * 60));  // changed within the hour
    ScratchFileSystem mounted(t + "/mnt", 4 * MB);
    if (mounted.ok()) writeSparse(mounted.path("other-disk.bin"), 700000);
    for (const QString& path : {old, t + "/build/obj/a.o", t + "/build/obj", t + "/build", t + "/at-spi/state", t + "/at-spi"}) {
        setModified(path, ago(7200));
    }

    const QList<CleanupItem> items = scan();
    const CleanupItem* found = byPath(items, t);
    ASSERT_TRUE(found);
    EXPECT_TRUE(found->isSelected);
    EXPECT_EQ(found->size, onDisk(old) + onDisk(t + "/build/obj/a.o")) << "old.log and build only";
    EXPECT_EQ(found->scope.inUseBytes, onDisk(t + "/at-spi/state") + onDisk(t + "/fresh.tmp") + onDisk(t + "/dconf/user"));
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
    writeFilled(home(".cache/a/b"), 200000, 'b');
    for (const QString& path : {home(".cache"), home(".cache/a/b"), home(".cache/a")}) setModified(path, ago(7200));

    const QList<CleanupItem> items = scan();
    EXPECT_TRUE(byPath(items, home("Projects/app/node_modules")));
    EXPECT_FALSE(byPath(items, home("Projects/web/node_modules")));
    const CleanupItem* cache = byPath(items, home(".cache"));
    ASSERT_TRUE(cache);
    EXPECT_EQ(cache->size, onDisk(home(".cache/a/b"))) << "the mounted files are not counted";
    EXPECT_TRUE(cache->scope.keptPaths.contains(home(".cache/fuse")));
}

// Measuring stops at its budget: the finding says so and reads "at least"
// what was measured; a folder cleaned by its entries offers every old entry,
// those measured in part or not at all too (the clean looks through them).
TEST_F(CleanupScan, AFolderMeasuredInPartSaysSoAndOffersAtLeastWhatWasMeasured) {
    const QString t = temp();
    writeFilled(t + "/a/one", 150000, 'a');
    for (int i = 0; i < 3100; ++i) writeFilled(t + QStringLiteral("/b/%1").arg(i), 100, 'b');
    writeFilled(t + "/c", 1000, 'c');
    for (const QString& path : {t + "/a/one", t + "/a", t + "/b", t + "/c"}) setModified(path, ago(7200));
    const QList<CleanupItem> items = scan();
    const CleanupItem* found = byPath(items, t);
    ASSERT_TRUE(found);
    EXPECT_TRUE(found->detail.endsWith(" \u00B7 measured in part: at least " + ByteCountFormatter::fileStyle(found->size)))
        << found->detail.toStdString();
    EXPECT_GT(found->size, onDisk(t + "/a/one"));
    EXPECT_LT(found->size, onDisk(t + "/a/one") + 3100 * onDisk(t + "/b/0")) << "what was measured, no more";
    ASSERT_TRUE(found->scope.measured);
    QStringList measured;
    for (const ScopeEntry& entry : *found->scope.measured) measured.append(entry.path);
    EXPECT_EQ(measured, (QStringList{t + "/a", t + "/b", t + "/c"}));
    EXPECT_TRUE(found->scope.keptPaths.isEmpty());
}

TEST_F(CleanupScan, TheProgramsOwnFoldersNeverMoveWithAFinding) {
    // The data folder set inside the cache folder: the Safe Bin would go with the caches.
    env.environment().applicationSupport = home(".cache/share");
    env.apply();
    writeSparse(home(".cache/share/Tarnwick/SafeBin/kept"), 5 * MB);
    writeSparse(home(".cache/share/Tarnwick/tmp.part"), 5 * MB);
    writeFilled(home(".cache/other"), 300000, 'o');
    QList<CleanupItem> items = scan();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0].size, onDisk(home(".cache/other")));
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
    writeFilled(root("/Library/Caches/shared/blob"), MB, 's');
    writeFilled(root("/private/var/log/system.log"), MB, 'l');
    writeSparse(root("/Applications/Pages.app/Contents/Resources/fr.lproj/x"), 2 * MB);
    writeFilled(home(".cache/c"), MB, 'c');
    ASSERT_EQ(scan().size(), 4) << "all the user's own";
    env.environment().userId = qint64(::geteuid()) + 4242;
    env.apply();
    EXPECT_EQ(titlesOf(scan()), QStringList{"User Caches"});

    if (::geteuid() != 0) return;  // handing a file to another owner needs root
    writeFilled(root("/Library/Caches/mine/blob"), 2 * MB, 'm');
    ASSERT_EQ(::chown(PathCodec::encode(root("/Library/Caches/mine")).constData(), 4242 + ::geteuid(), gid_t(-1)), 0);
    const QList<CleanupItem> items = scan();
    const CleanupItem* system = byPath(items, root("/Library/Caches"));
    ASSERT_TRUE(system);
    EXPECT_EQ(system->size, onDisk(root("/Library/Caches/mine/blob")));
    EXPECT_TRUE(system->scope.contentsOnly);
    EXPECT_EQ(system->scope.keptPaths, QStringList{root("/Library/Caches/shared")});
}

TEST_F(CleanupScan, AStopEndsTheScanWithWhatWasFound) {
    writeFilled(home(".cache/c"), MB, 'c');
    writeFilled(home("Library/Logs/l"), MB, 'l');
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

// A cache past the measure's entry ceiling is still offered: at least what
// was measured, every old entry listed to move whole, those the walk never
// reached included; the clean moves them and says what the Safe Bin took.
TEST_F(CleanupScan, ACachePastTheEntryCeilingIsOfferedAndMovesWhole) {
    const QString entries = home(".cache/mozilla/firefox/p1.default/cache2/entries");
    const int count = JunkMeasure::kStepCeiling + 100;
    makeDir(entries);
    const QByteArray folder = PathCodec::encode(entries);
    const std::string data(1000, 'e');
    const qint64 old = ago(3 * 86400).toMSecsSinceEpoch() / 1000;
    const struct timespec times[2] = {{old, 0}, {old, 0}};
    for (int i = 0; i < count; ++i) {
        const QByteArray file = folder + "/" + QByteArray::number(i);
        const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, data.data(), data.size()), ssize_t(data.size()));
        ASSERT_EQ(::futimens(fd, times), 0);
        ::close(fd);
    }
    const QString small = writeFilled(home(".cache/small/blob"), 3 * MB, 's');
    for (const QString& path : {small, home(".cache/small"), entries, home(".cache/mozilla/firefox/p1.default/cache2"),
                                home(".cache/mozilla/firefox/p1.default"), home(".cache/mozilla/firefox"),
                                home(".cache/mozilla")}) {
        setModified(path, ago(3 * 86400));
    }

    QList<CleanupItem> items;
    for (int round = 0; round < 2; ++round) {
        items = scan();
        const CleanupItem* cache = byPath(items, home(".cache"));
        ASSERT_TRUE(cache) << "round " << round;
        EXPECT_TRUE(cache->isSelected);
        EXPECT_GE(cache->size, qint64(count - 100) * 1000) << "what the walk measured, on disk";
        EXPECT_TRUE(cache->detail.contains(QStringLiteral(" \u00B7 measured in part: at least ") +
                                           ByteCountFormatter::fileStyle(cache->size)))
            << cache->detail.toStdString();
        ASSERT_TRUE(cache->scope.measured);
        QStringList measured;
        for (const ScopeEntry& entry : *cache->scope.measured) measured.append(entry.path);
        EXPECT_EQ(measured, (QStringList{home(".cache/mozilla"), home(".cache/small")}));
    }

    const CleanupItem* cache = byPath(items, home(".cache"));
    ASSERT_TRUE(cache);
    const SafeBinMover::Outcome outcome = SafeBinMover::move({{{cache->path, cache->scope, cache->seen}}});
    ASSERT_EQ(outcome.findings.size(), 1u);
    EXPECT_TRUE(outcome.findings[0].cleaned) << (outcome.error ? outcome.error->toStdString() : "");
    EXPECT_FALSE(outcome.error) << outcome.error->toStdString();
    EXPECT_FALSE(QFileInfo::exists(home(".cache/mozilla")));
    EXPECT_FALSE(QFileInfo::exists(small));
    EXPECT_TRUE(QFileInfo::exists(home(".cache")));
    ASSERT_TRUE(outcome.findings[0].entry);
    EXPECT_EQ(outcome.findings[0].movedBytes, outcome.findings[0].entry->size);
    EXPECT_GE(outcome.findings[0].movedBytes, qint64(count) * 1000 + 3 * MB) << "every entry, as it took the disk";
}

// Only what moving frees counts: the blocks a file takes (a sparse file's
// holes none), and nothing of a file with other names, which stays. Dates
// far ahead of the clock are no sign of use; entries changed within the hour
// stay and the finding says how much, even when nothing else is left.
TEST_F(CleanupScan, ACacheCountsWhatMovingFreesAndSaysWhatStaysInUse) {
    const QString blob = writeFilled(home(".cache/app/blobs/b1"), 2 * MB, 'b');
    const QString index = writeFilled(home(".cache/app/index"), 1000, 'i');
    const QString sparse = writeSparse(home(".cache/vm/disk.img"), 1LL << 40, 4096);
    const QString linked = writeFilled(home(".cache/linked.bin"), 5 * MB, 'l');
    ASSERT_EQ(::link(PathCodec::encode(linked).constData(), PathCodec::encode(home("Documents-linked.bin")).constData()), 0);
    const QString fresh = writeFilled(home(".cache/fresh/state"), 3 * MB, 'f');
    for (const QString& path : {blob, home(".cache/app/blobs"), home(".cache/app"), sparse, home(".cache/vm"), linked,
                                home(".cache/fresh")}) {
        setModified(path, ago(3 * 86400));
    }
    setModified(index, now.addYears(5));  // a wrong date: not a use
    setModified(fresh, ago(10 * 60));
    // A temporary folder written within the hour and nothing else.
    const QString t = temp();
    setModified(writeFilled(t + "/upload.tmp", 400000, 'u'), ago(5 * 60));

    const QList<CleanupItem> items = scan();
    const CleanupItem* cache = byPath(items, home(".cache"));
    ASSERT_TRUE(cache);
    EXPECT_EQ(cache->size, onDisk(blob) + onDisk(index) + onDisk(sparse));
    EXPECT_LT(cache->size, 3 * MB) << "the holes of the sparse file take nothing";
    QStringList kept = cache->scope.keptPaths;
    kept.sort();
    EXPECT_EQ(kept, (QStringList{home(".cache/fresh"), linked}));
    EXPECT_EQ(cache->scope.inUseBytes, onDisk(fresh));
    EXPECT_TRUE(cache->detail.endsWith(QStringLiteral(" \u00B7 ") + ByteCountFormatter::fileStyle(onDisk(fresh)) +
                                       " in use or changed in the last hour stays"))
        << cache->detail.toStdString();

    const CleanupItem* temporary = byPath(items, t);
    ASSERT_TRUE(temporary) << "said, though nothing moves";
    EXPECT_EQ(temporary->size, 0);
    EXPECT_FALSE(temporary->isSelected);
    EXPECT_EQ(temporary->scope.inUseBytes, onDisk(t + "/upload.tmp"));
    EXPECT_TRUE(temporary->detail.contains("in use or changed in the last hour stays")) << temporary->detail.toStdString();
}

// A bind mount shares the device number of what it is mounted on: the mount
// table decides. A mount point inside a cache stays and is not counted; a
// folder that is one, or holds one, is not offered to move whole.
TEST_F(CleanupScan, TheMountTableTellsBindMountsOfTheSameFileSystem) {
    struct Restore {
        ~Restore() { MountTable::setSourceForTesting({}); }
    } restore;
    writeFilled(home(".cache/own/blob"), 2 * MB, 'o');
    writeFilled(home(".cache/bound/outside"), 3 * MB, 'x');
    writeFilled(home("Projects/app/node_modules/lib/index.js"), 6 * MB, 'a');
    writeFilled(home("Projects/web/node_modules/lib/index.js"), 6 * MB, 'w');
    writeFilled(home("Projects/api/node_modules/shared/index.js"), 6 * MB, 's');
    writeFilled(home("Projects/api/node_modules/lib/index.js"), 6 * MB, 'l');
    for (const QString& path : {home(".cache/own/blob"), home(".cache/own"), home(".cache/bound/outside"),
                                home(".cache/bound")}) {
        setModified(path, ago(7200));
    }
    QByteArray table;
    for (const QString& mount : {home(".cache/bound"), home("Projects/web/node_modules"),
                                 home("Projects/api/node_modules/shared")}) {
        table += "50 27 8:1 /elsewhere " + PathCodec::encode(QFileInfo(mount).canonicalFilePath()) + " rw - ext4 /dev/sda1 rw\n";
    }
    MountTable::setSourceForTesting([table] { return std::optional<QByteArray>(table); });

    const QList<CleanupItem> items = scan();
    const CleanupItem* cache = byPath(items, home(".cache"));
    ASSERT_TRUE(cache);
    EXPECT_EQ(cache->size, onDisk(home(".cache/own/blob"))) << "the bound folder's files are not counted";
    EXPECT_EQ(cache->scope.keptPaths, QStringList{home(".cache/bound")});
    EXPECT_TRUE(byPath(items, home("Projects/app/node_modules")));
    EXPECT_FALSE(byPath(items, home("Projects/web/node_modules"))) << "a mount point is never a finding";
    EXPECT_FALSE(byPath(items, home("Projects/api/node_modules"))) << "it cannot move whole";
}

}  // namespace
}  // namespace tarnwick::test
