// The Safe Bin under a failing machine and a hostile user: full disks, killed
// processes, two movers at once, folders swapped for links, names that are
// not UTF-8, sparse files and hand-edited manifests.
#include "services/safebin/SafeBinService.h"

#include "SafeBinTestSupport.h"
#include "services/store/ActivityService.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include <sys/wait.h>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

class SafeBinFaultTest : public SafeBinTest {};

// A raw file name, created byte for byte.
QString makeRawFile(const QByteArray& path, const QByteArray& body) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd >= 0) {
        (void)!::write(fd, body.constData(), size_t(body.size()));
        ::close(fd);
    }
    return PathCodec::decode(path);
}

}  // namespace

TEST_F(SafeBinFaultTest, FullDiskReportsTheFailureAndKeepsTheListAndTheLog) {
    ScratchFileSystem disk(env.path("disk"), 1 << 20);
    if (!disk.ok()) GTEST_SKIP() << "mounting a small tmpfs needs root";
    env.environment().applicationSupport = makeDir(disk.path("support"));
    env.apply();
    const QStringList earlier = makeFiles(disk.path("items"), 3);
    ASSERT_FALSE(SafeBinService::moveToSafeBin(earlier).error);
    ActivityService::log("Junk", "one", 10, 1);
    ActivityService::log("Junk", "two", 20, 2);
    const QString late = writeFile(disk.path("items/late.txt"), "late");
    const QString gap = writeFile(disk.path("gap"), QByteArray(4096, 'g'));
    const QByteArray manifestBefore = contents(manifest());
    const QByteArray logBefore = contents(ActivityService::filePath());

    disk.fill();
    // Not even an intent fits: nothing moves, and it says so.
    auto result = SafeBinService::moveToSafeBin({late});
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, ENOSPC);
    EXPECT_TRUE(result.moved.empty());
    EXPECT_EQ(contents(late), QByteArray("late"));
    // Room for the intent (one page) but not for the manifest: the item goes back.
    QFile::remove(gap);
    result = SafeBinService::moveToSafeBin({late});
    ASSERT_TRUE(result.error);
    EXPECT_TRUE(result.error->description.contains("put back"));
    EXPECT_EQ(contents(late), QByteArray("late"));
    EXPECT_EQ(contents(manifest()), manifestBefore);
    EXPECT_EQ(SafeBinService::list().size(), 3u);

    disk.fill("filler-2");  // the journal's page is free again
    ActivityService::log("Junk", "three", 30, 3);
    EXPECT_EQ(contents(ActivityService::filePath()), logBefore);
    EXPECT_EQ(ActivityService::list(100).size(), 2);

    // With space again everything works, and nothing was lost on the way.
    QFile::remove(disk.path("filler"));
    QFile::remove(disk.path("filler-2"));
    ASSERT_FALSE(SafeBinService::moveToSafeBin({late}).error);
    EXPECT_EQ(SafeBinService::list().size(), 4u);
    expectNothingLost(earlier + QStringList{late});
}

TEST_F(SafeBinFaultTest, AFolderSwappedForALinkAfterTheCheckMovesNothingProtected) {
    // The support folder stands for a folder the guard refuses.
    const QString vault = makeDir(AppIdentity::supportDirectory() + "/vault");
    const QString secret = writeFile(vault + "/passwd", "secret");
    const QString work = makeDir(home("Work"));
    const QString collected = writeFile(work + "/d/passwd", "mine");
    auto swap = [&](const QString& aside, const QString& target) {
        ASSERT_TRUE(QDir().rename(work + "/d", work + '/' + aside));
        ASSERT_EQ(::symlink(nativePath(target).constData(), nativePath(work + "/d").constData()), 0);
    };
    auto unswap = [&](const QString& aside) {
        ASSERT_EQ(::unlink(nativePath(work + "/d").constData()), 0);
        ASSERT_TRUE(QDir().rename(work + '/' + aside, work + "/d"));
    };
    auto swapDuring = [&](std::string_view when, const QString& aside) {
        FileFault fault([&](std::string_view operation, const QString& path) {
            if (operation == when && path == collected) swap(aside, vault);
            return 0;
        });
        return SafeBinService::moveToSafeBin({collected});
    };

    // Swapped before the move: the guard, asked again, refuses.
    swap("d-before", vault);
    auto result = SafeBinService::moveToSafeBin({collected});
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, SafeBinService::kProtectedPathCode);
    unswap("d-before");
    // Swapped right after the check: the folder cannot be opened as checked.
    result = swapDuring("check", "d-checked");
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, SafeBinService::kPathChangedCode);
    EXPECT_TRUE(result.error->description.contains("nothing was moved"));
    EXPECT_TRUE(result.moved.empty());
    unswap("d-checked");
    // Swapped once the folder is open: what moves is what was checked.
    result = swapDuring("move", "d-opened");
    ASSERT_FALSE(result.error) << result.error->description.toStdString();
    EXPECT_EQ(contents(held(result.moved.at(0))), QByteArray("mine"));
    EXPECT_FALSE(FileOperations::itemExists(work + "/d-opened/passwd"));
    EXPECT_EQ(contents(secret), QByteArray("secret"));

    // Swapped for a link to a folder nobody protects: still refused, and
    // nothing outside the path the user saw moves.
    const QString outside = writeFile(env.path("outside/passwd"), "theirs");
    ASSERT_EQ(::unlink(nativePath(work + "/d").constData()), 0);
    writeFile(collected, "mine");
    swap("d-elsewhere", env.path("outside"));
    result = SafeBinService::moveToSafeBin({collected});
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, SafeBinService::kPathChangedCode);
    EXPECT_EQ(contents(outside), QByteArray("theirs"));
    EXPECT_EQ(SafeBinService::list().size(), 1u);

    // The home folder itself may be reached through a link.
    const QString homeLink = env.path("home-link");
    ASSERT_EQ(::symlink(nativePath(env.home()).constData(), nativePath(homeLink).constData()), 0);
    env.environment().homeDirectory = homeLink;
    env.apply();
    result = SafeBinService::moveToSafeBin({homeLink + "/Work/d-elsewhere/passwd"});
    ASSERT_FALSE(result.error) << result.error->description.toStdString();
    ASSERT_FALSE(SafeBinService::restore(result.moved.at(0)));
    EXPECT_EQ(contents(work + "/d-elsewhere/passwd"), QByteArray("mine"));
}

TEST_F(SafeBinFaultTest, AMoveKilledHalfWaySettlesWithEveryItemRecorded) {
    const QStringList paths = makeFiles(home("many"), 300);
    killedDuring([moves = 0](std::string_view operation, const QString&) mutable {
        if (operation == "move" && ++moves == 150) ::raise(SIGKILL);
        return 0;
    }, [&] { SafeBinService::moveToSafeBin(paths); });

    // The kill left 149 items in the folder and none in the manifest.
    EXPECT_TRUE(recorded().empty());
    EXPECT_EQ(binContents(bin()).size(), 150);  // the items and the journal
    SafeBinService::settle();
    EXPECT_EQ(recorded().size(), 149u);
    EXPECT_EQ(lstatOf(bin() + "/manifest.journal").st_size, 0);
    expectNothingLost(paths);
    for (const SafeBinEntry& entry : SafeBinService::list()) EXPECT_GT(entry.size, 0);
    ASSERT_FALSE(SafeBinService::restore(SafeBinService::list().front())) << "an adopted item can go back";
    EXPECT_EQ(SafeBinService::list().size(), 148u);
}

TEST_F(SafeBinFaultTest, ACopyKilledAcrossFileSystemsLeavesNoPartialFolder) {
    const QString single = writeFile(home("single.txt"), "1");
    const QString folder = makeDir(home("large"));
    const QStringList inside = makeFiles(folder, 10, QByteArray(100000, 'l'));
    const auto killOnThirdCopy = [copies = 0](std::string_view operation, const QString& path) mutable {
        if (operation == "rename") return EXDEV;  // as across file systems
        if (operation == "copy" && path.contains("large/f") && ++copies == 3) ::raise(SIGKILL);
        return 0;
    };
    const auto partials = [](const QString& folder) {
        return QDir(folder).entryList({".tarnwick-*"}, QDir::AllEntries | QDir::Hidden).size();
    };
    auto expectOriginalWhole = [&] {
        for (const QString& path : inside) EXPECT_EQ(contents(path).size(), 100000);
    };
    killedDuring(killOnThirdCopy, [&] { SafeBinService::moveToSafeBin({single, folder}); });
    EXPECT_GE(partials(bin()), 1);
    SafeBinService::settle();
    EXPECT_EQ(partials(bin()), 0);
    ASSERT_EQ(SafeBinService::list().size(), 1u);
    EXPECT_EQ(SafeBinService::list()[0].originalPath, single);
    expectOriginalWhole();
    expectNothingLost({single, folder});

    // A restore killed the same way: the partial copy beside the original
    // place goes, the item stays in the bin with its record.
    const SafeBinEntry entry = SafeBinService::moveToSafeBin({folder}).moved.at(0);
    killedDuring(killOnThirdCopy, [&] { SafeBinService::restore(entry); });
    EXPECT_EQ(partials(env.home()), 1);
    SafeBinService::settle();
    EXPECT_EQ(partials(env.home()), 0);
    EXPECT_EQ(SafeBinService::list().size(), 2u);

    // Killed once the copy is in place, while the bin lets go of its own:
    // the record on what is left of it goes, never offered damaged.
    killedDuring([&, removals = 0](std::string_view operation, const QString& path) mutable {
        if (operation == "rename") return EXDEV;
        if (operation == "remove" && path.startsWith(bin()) && path.contains("/f") && ++removals == 4) ::raise(SIGKILL);
        return 0;
    }, [&] { SafeBinService::restore(entry); });
    EXPECT_EQ(recorded().size(), 2u) << "the kill left the record on a half-removed copy";
    SafeBinService::settle();
    ASSERT_EQ(SafeBinService::list().size(), 1u);
    EXPECT_EQ(SafeBinService::list()[0].originalPath, single);
    EXPECT_FALSE(FileOperations::itemExists(held(entry)));
    expectOriginalWhole();
    expectNothingLost({single, folder});
}

TEST_F(SafeBinFaultTest, AMoveLeavingPartOfTheOriginalSaysSoAndItsRestoreCompletesIt) {
    ScratchFileSystem scratch(env.path("other"), 16 << 20);
    const QString project = scratch.path("project");
    writeFile(project + "/c.txt", "c");
    writeFile(project + "/sub/b.txt", "b");
    writeFile(project + "/sub/locked/a.txt", "a");
    auto expectWhole = [&] {
        EXPECT_EQ(contents(project + "/c.txt"), QByteArray("c"));
        EXPECT_EQ(contents(project + "/sub/b.txt"), QByteArray("b"));
        EXPECT_EQ(contents(project + "/sub/locked/a.txt"), QByteArray("a"));
        EXPECT_TRUE(SafeBinService::list().empty());
    };
    const bool mounted = scratch.ok();
    auto crossing = [mounted](std::string_view operation) { return operation == "rename" && !mounted ? EXDEV : 0; };

    // A folder another user owns inside it: the copy is in the bin, part of
    // the original stays, and the move says so rather than succeed.
    {
        FileFault fault([&](std::string_view operation, const QString& path) {
            if (operation == "remove" && path.endsWith("/locked/a.txt") && !path.startsWith(bin())) return EACCES;
            return crossing(operation);
        });
        const SafeBinMoveResult result = SafeBinService::moveToSafeBin({project});
        ASSERT_TRUE(result.error);
        EXPECT_TRUE(result.error->description.contains("could not be removed"));
        ASSERT_EQ(result.moved.size(), 1u);
        EXPECT_TRUE(result.moved[0].remains.has_value());
        EXPECT_TRUE(FileOperations::itemExists(project + "/sub/locked/a.txt"));
        EXPECT_FALSE(FileOperations::itemExists(project + "/c.txt"));
        const auto restored = SafeBinService::restore(result.moved[0]);  // completes into what is left
        ASSERT_FALSE(restored) << restored->description.toStdString();
    }
    expectWhole();
    EXPECT_EQ(binContents(bin()), QStringList{"manifest.json"});

    // Killed during the removal: settled with the same record, and restored the same way.
    killedDuring([crossing](std::string_view operation, const QString& path) {
        if (operation == "remove" && path.endsWith("/sub/b.txt") && !path.startsWith(AppIdentity::supportDirectory())) {
            ::raise(SIGKILL);
        }
        return crossing(operation);
    }, [&] { SafeBinService::moveToSafeBin({project}); });
    FileFault fault([&](std::string_view operation, const QString&) { return crossing(operation); });
    SafeBinService::settle();
    ASSERT_EQ(SafeBinService::list().size(), 1u);
    const SafeBinEntry entry = SafeBinService::list()[0];
    EXPECT_TRUE(entry.remains.has_value());
    // Anything else at that path is not completed: it is "already there".
    ASSERT_TRUE(QDir().rename(project, project + "-aside"));
    writeFile(project + "/new.txt", "new");
    EXPECT_EQ(SafeBinService::restore(entry), FileError::alreadyExists());
    FileOperations::removeItem(project);
    ASSERT_TRUE(QDir().rename(project + "-aside", project));
    ASSERT_FALSE(SafeBinService::restore(entry));
    expectWhole();
}

// Other processes and this program's own worker threads, each item alone as
// module cleans and map deletes come, while expiry runs.
TEST_F(SafeBinFaultTest, TwoMoversAtOnceLoseNoRecord) {
    const QStringList first = makeFiles(home("first"), 100);
    const QStringList second = makeFiles(home("second"), 100);
    SafeBinService::root();  // made before the children race to make it
    std::vector<pid_t> children;
    for (const QStringList* paths : {&first, &second}) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            bool ok = true;
            for (const QString& path : *paths) ok &= !SafeBinService::moveToSafeBin({path}).error;
            for (int i = 0; i < 20; ++i) ActivityService::log("Junk", "event", 1, 1);
            std::_Exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(SafeBinService::list().size(), 200u);
    EXPECT_EQ(ActivityService::list(500).size(), 40);

    const QStringList third = makeFiles(home("third"), 60);
    const QStringList fourth = makeFiles(home("fourth"), 60);
    std::atomic<int> failures = 0;
    auto mover = [&](const QStringList& paths) {
        for (const QString& path : paths) failures += SafeBinService::moveToSafeBin({path}).error ? 1 : 0;
    };
    std::thread a(mover, third);
    std::thread b(mover, fourth);
    std::thread c([&] {
        for (int i = 0; i < 30; ++i) SafeBinService::purgeExpired(30);
    });
    a.join();
    b.join();
    c.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(SafeBinService::list().size(), 320u);
    expectNothingLost(first + second + third + fourth);
}

TEST_F(SafeBinFaultTest, ANameThatIsNotUtf8MovesItselfAndComesBack) {
    const QByteArray folder = nativePath(makeDir(home("odd")));
    const QString bad = makeRawFile(folder + "/bad\xff.bin", "mine");
    const QString lookAlike = makeRawFile(folder + "/bad\xEF\xBF\xBD.bin", "other");
    ASSERT_NE(bad, lookAlike);
    const auto result = SafeBinService::moveToSafeBin({bad});
    ASSERT_FALSE(result.error) << result.error->description.toStdString();
    const SafeBinEntry entry = result.moved.at(0);
    EXPECT_EQ(PathCodec::encode(entry.displayName), QByteArray("bad\xff.bin"));
    EXPECT_TRUE(PathCodec::encode(entry.storedName).endsWith("-bad\xff.bin"));
    EXPECT_EQ(contents(held(entry)), QByteArray("mine"));
    EXPECT_EQ(contents(lookAlike), QByteArray("other"));
    EXPECT_FALSE(FileOperations::itemExists(bad));
    EXPECT_EQ(SafeBinService::list(), std::vector<SafeBinEntry>{entry});  // through the manifest
    // With the look-alike gone too, the missing name is skipped, never confused.
    QFile::remove(lookAlike);
    EXPECT_TRUE(SafeBinService::moveToSafeBin({bad}).moved.empty());
    ASSERT_FALSE(SafeBinService::restore(SafeBinService::list().at(0)));
    EXPECT_EQ(contents(bad), QByteArray("mine"));
    EXPECT_EQ(lstatOf(bad).st_size, 4);

    // A folder full of such names, copied across file systems, keeps every byte.
    const QByteArray tree = folder + "/tr\xe9s";
    ASSERT_EQ(::mkdir(tree.constData(), 0755), 0);
    makeRawFile(tree + "/\xc3\x28.txt", "a");
    makeRawFile(tree + "/ok\xfe\xfe", "b");
    CrossDevice crossing;
    const auto folderMove = SafeBinService::moveToSafeBin({PathCodec::decode(tree)});
    ASSERT_FALSE(folderMove.error) << folderMove.error->description.toStdString();
    ASSERT_FALSE(SafeBinService::restore(folderMove.moved.at(0)));
    EXPECT_EQ(contents(PathCodec::decode(tree + "/\xc3\x28.txt")), QByteArray("a"));
    EXPECT_EQ(contents(PathCodec::decode(tree + "/ok\xfe\xfe")), QByteArray("b"));
    EXPECT_TRUE(SafeBinService::list().empty());
}

TEST_F(SafeBinFaultTest, SparseFilesStaySparseInAndOut) {
    ScratchFileSystem scratch(env.path("other"), 16 << 20);
    const QString image = (scratch.ok() ? scratch.path() : makeDir(home("images"))) + "/disk.img";
    constexpr off_t kSize = off_t(1) << 30;
    constexpr off_t kDataAt = off_t(512) << 20;
    {
        const int fd = ::open(nativePath(image).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, kSize), 0);
        const QByteArray block(4096, 'S');
        ASSERT_EQ(::pwrite(fd, block.constData(), block.size(), kDataAt), block.size());
        ::close(fd);
    }
    if (qint64(lstatOf(image).st_blocks) * 512 >= (1 << 20)) GTEST_SKIP() << "this file system keeps no holes";
    std::optional<CrossDevice> crossing;
    if (!scratch.ok()) crossing.emplace();
    auto expectSparseCopy = [&](const QString& path) {
        EXPECT_EQ(lstatOf(path).st_size, kSize);
        EXPECT_LT(qint64(lstatOf(path).st_blocks) * 512, 1 << 20);
        const int fd = ::open(nativePath(path).constData(), O_RDONLY);
        ASSERT_GE(fd, 0);
        char data[2] = {};
        EXPECT_EQ(::pread(fd, data, 1, kDataAt + 4095), 1);
        EXPECT_EQ(::pread(fd, data + 1, 1, kDataAt - 1), 1);
        ::close(fd);
        EXPECT_EQ(data[0], 'S');
        EXPECT_EQ(data[1], '\0');
    };
    const auto result = SafeBinService::moveToSafeBin({image});
    ASSERT_FALSE(result.error) << result.error->description.toStdString();
    expectSparseCopy(held(result.moved.at(0)));
    EXPECT_LT(result.moved[0].size, 1 << 20);
    ASSERT_FALSE(SafeBinService::restore(result.moved[0]));
    expectSparseCopy(image);
}

TEST_F(SafeBinFaultTest, RepeatedIdsAndOriginalsInsideTheBinOrphanNothing) {
    const QUuid id = QUuid::createUuid();
    const QDateTime now = env.environment().now();
    auto storedItem = [&](const QString& name, const QString& original) {
        const QString storedName = SafeBinService::storedNameFor(id, name);
        writeFile(bin() + '/' + storedName, name.toUtf8());
        return SafeBinEntry::create(id, original, storedName, name, 4096, now);
    };
    const SafeBinEntry a = storedItem("a.txt", home("back/a.txt"));
    const SafeBinEntry b = storedItem("b.txt", home("back/b.txt"));
    const SafeBinEntry inside = storedItem("c.txt", bin() + "/c.txt");
    const QString linkIntoBin = home("bin-link");
    ASSERT_EQ(::symlink(nativePath(bin()).constData(), nativePath(linkIntoBin).constData()), 0);
    const SafeBinEntry throughLink = storedItem("d.txt", linkIntoBin + "/d.txt");
    writeManifest({a, b, inside, throughLink});

    // Restoring one of two entries with the same id keeps the other's record.
    ASSERT_FALSE(SafeBinService::restore(a));
    EXPECT_EQ(contents(home("back/a.txt")), QByteArray("a.txt"));
    EXPECT_EQ(SafeBinService::list(), (std::vector<SafeBinEntry>{b, inside, throughLink}));
    // An original place inside the bin, directly or through a link, is refused.
    for (const SafeBinEntry& entry : {inside, throughLink}) {
        const auto refused = SafeBinService::restore(entry);
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->code, SafeBinService::kInvalidPathCode);
        EXPECT_TRUE(FileOperations::itemExists(held(entry)));
    }
    // An entry the manifest does not hold (a stale copy) is refused, not acted on.
    SafeBinEntry stale = b;
    stale.storedName = SafeBinService::storedNameFor(id, "zzz.txt");
    EXPECT_EQ(SafeBinService::restore(stale)->code, SafeBinService::kInvalidRecordCode);
    EXPECT_EQ(SafeBinService::destroy(stale)->code, SafeBinService::kInvalidRecordCode);
    // Deleting one of them for good leaves the others and their items.
    ASSERT_FALSE(SafeBinService::destroy(b));
    EXPECT_EQ(SafeBinService::list(), (std::vector<SafeBinEntry>{inside, throughLink}));
    EXPECT_TRUE(FileOperations::itemExists(held(inside)));
}
