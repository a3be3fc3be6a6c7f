// The Safe Bin under a failing machine and a hostile user: full disks, killed
// processes, two processes at once, folders swapped for links, names that are
// not UTF-8, sparse files and hand-edited manifests.
#include "services/store/SafeBinService.h"

#include "StoreTestSupport.h"
#include "TestSupport.h"
#include "platform/FileOperations.h"
#include "platform/PathCodec.h"
#include "services/store/ActivityService.h"
#include "support/AppIdentity.h"
#include "support/AtomicFile.h"
#include "support/JsonCoding.h"

#include <QDir>
#include <QSet>
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tarnwick;
using test::binContents;
using test::contents;
using Fault = test::FileFault;
using test::lstatOf;
using test::nativePath;

namespace {

class SafeBinFaultTest : public ::testing::Test {
protected:
    QString bin() const { return SafeBinService::root(); }
    QString manifest() const { return bin() + QStringLiteral("/manifest.json"); }
    QString home(const QString& relative) const { return env.home() + QLatin1Char('/') + relative; }

    QStringList makeFiles(const QString& folder, int count, const QByteArray& body = "x") {
        QStringList paths;
        for (int i = 0; i < count; ++i) paths << test::writeFile(folder + QStringLiteral("/f") + QString::number(i), body);
        return paths;
    }
    // The entries the manifest on disk holds, as written (no settling).
    std::vector<SafeBinEntry> recorded() const {
        const auto data = AtomicFile::read(manifest());
        if (!data) return {};
        return SafeBinEntry::decodeManifest(*data).value_or(std::vector<SafeBinEntry>{});
    }
    // Every item is in exactly one place: where it was, or in the bin with a
    // record naming it; and the bin holds nothing unrecorded.
    void expectNothingLost(const QStringList& paths) {
        const std::vector<SafeBinEntry> entries = SafeBinService::list();
        QSet<QString> stored{QStringLiteral("manifest.json")};
        QSet<QString> inBin;
        for (const SafeBinEntry& entry : entries) {
            stored.insert(entry.storedName);
            inBin.insert(entry.originalPath);
            EXPECT_TRUE(FileOperations::itemExists(bin() + QLatin1Char('/') + entry.storedName)) << entry.storedName.toStdString();
        }
        for (const QString& path : paths) {
            EXPECT_NE(FileOperations::itemExists(path), inBin.contains(path)) << path.toStdString();
        }
        for (const QString& name : binContents(bin())) EXPECT_TRUE(stored.contains(name)) << name.toStdString();
    }

    test::FakeEnvironment env;
};

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

// ---- A full disk ----

TEST_F(SafeBinFaultTest, FullDiskReportsTheFailureAndKeepsTheListAndTheLog) {
    test::ScratchFileSystem disk(env.path(QStringLiteral("disk")), 1 << 20);
    if (!disk.ok()) GTEST_SKIP() << "mounting a small tmpfs needs root";
    env.environment().applicationSupport = test::makeDir(disk.path(QStringLiteral("support")));
    env.apply();
    const QStringList earlier = makeFiles(disk.path(QStringLiteral("items")), 3);
    ASSERT_FALSE(SafeBinService::moveToSafeBin(earlier).error);
    ActivityService::log(QStringLiteral("Junk"), QStringLiteral("one"), 10, 1);
    ActivityService::log(QStringLiteral("Junk"), QStringLiteral("two"), 20, 2);
    const QString late = test::writeFile(disk.path(QStringLiteral("items/late.txt")), "late");
    const QString gap = test::writeFile(disk.path(QStringLiteral("gap")), QByteArray(4096, 'g'));
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
    EXPECT_EQ(result.error->code, ENOSPC);
    EXPECT_TRUE(result.error->description.contains(QStringLiteral("put back")));
    EXPECT_EQ(contents(late), QByteArray("late"));
    EXPECT_EQ(contents(manifest()), manifestBefore);
    EXPECT_EQ(SafeBinService::list().size(), 3u);

    disk.fill(QStringLiteral("filler-2"));  // the journal's page is free again
    ActivityService::log(QStringLiteral("Junk"), QStringLiteral("three"), 30, 3);
    EXPECT_EQ(contents(ActivityService::filePath()), logBefore);
    EXPECT_EQ(ActivityService::list(100).size(), 2);

    // With space again everything works, and nothing was lost on the way.
    QFile::remove(disk.path(QStringLiteral("filler")));
    QFile::remove(disk.path(QStringLiteral("filler-2")));
    ASSERT_FALSE(SafeBinService::moveToSafeBin({late}).error);
    EXPECT_EQ(SafeBinService::list().size(), 4u);
    expectNothingLost(earlier + QStringList{late});
}

// ---- A folder swapped for a link between the check and the move ----

TEST_F(SafeBinFaultTest, AFolderSwappedForALinkAfterTheCheckMovesNothingProtected) {
    // The support folder stands for a folder the guard refuses.
    const QString vault = test::makeDir(AppIdentity::supportDirectory() + QStringLiteral("/vault"));
    const QString secret = test::writeFile(vault + QStringLiteral("/passwd"), "secret");
    const QString work = test::makeDir(home(QStringLiteral("Work")));
    const QString collected = test::writeFile(work + QStringLiteral("/d/passwd"), "mine");
    auto swap = [&](const QString& aside) {
        ASSERT_TRUE(QDir().rename(work + QStringLiteral("/d"), work + QLatin1Char('/') + aside));
        ASSERT_EQ(::symlink(nativePath(vault).constData(), nativePath(work + QStringLiteral("/d")).constData()), 0);
    };
    auto unswap = [&](const QString& aside) {
        ASSERT_EQ(::unlink(nativePath(work + QStringLiteral("/d")).constData()), 0);
        ASSERT_TRUE(QDir().rename(work + QLatin1Char('/') + aside, work + QStringLiteral("/d")));
    };

    // Swapped before the move: the guard, asked again, refuses.
    swap(QStringLiteral("d-before"));
    auto result = SafeBinService::moveToSafeBin({collected});
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, SafeBinService::kProtectedPathCode);
    unswap(QStringLiteral("d-before"));

    // Swapped right after the check: the folder cannot be opened as checked.
    {
        Fault fault([&](std::string_view operation, const QString& path) {
            if (operation == "check" && path == collected) swap(QStringLiteral("d-checked"));
            return 0;
        });
        result = SafeBinService::moveToSafeBin({collected});
    }
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, SafeBinService::kPathChangedCode);
    EXPECT_TRUE(result.error->description.contains(QStringLiteral("nothing was moved")));
    EXPECT_TRUE(result.moved.empty());
    unswap(QStringLiteral("d-checked"));

    // Swapped once the folder is open: what moves is what was checked.
    {
        Fault fault([&](std::string_view operation, const QString& path) {
            if (operation == "move" && path == collected) swap(QStringLiteral("d-opened"));
            return 0;
        });
        result = SafeBinService::moveToSafeBin({collected});
    }
    ASSERT_FALSE(result.error) << result.error->description.toStdString();
    ASSERT_EQ(result.moved.size(), 1u);
    EXPECT_EQ(contents(bin() + QLatin1Char('/') + result.moved[0].storedName), QByteArray("mine"));
    EXPECT_FALSE(FileOperations::itemExists(work + QStringLiteral("/d-opened/passwd")));

    EXPECT_EQ(contents(secret), QByteArray("secret"));
    EXPECT_EQ(SafeBinService::list().size(), 1u);

    // Swapped for a link to a folder nobody protects: still refused, and
    // nothing outside the path the user saw moves.
    const QString outside = test::writeFile(env.path(QStringLiteral("outside/passwd")), "theirs");
    ASSERT_EQ(::unlink(nativePath(work + QStringLiteral("/d")).constData()), 0);
    test::writeFile(collected, "mine");
    ASSERT_TRUE(QDir().rename(work + QStringLiteral("/d"), work + QStringLiteral("/d-elsewhere")));
    ASSERT_EQ(::symlink(nativePath(env.path(QStringLiteral("outside"))).constData(), nativePath(work + QStringLiteral("/d")).constData()), 0);
    result = SafeBinService::moveToSafeBin({collected});
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, SafeBinService::kPathChangedCode);
    EXPECT_EQ(contents(outside), QByteArray("theirs"));
    EXPECT_EQ(SafeBinService::list().size(), 1u);

    // The home folder itself may be reached through a link.
    const QString homeLink = env.path(QStringLiteral("home-link"));
    ASSERT_EQ(::symlink(nativePath(env.home()).constData(), nativePath(homeLink).constData()), 0);
    env.environment().homeDirectory = homeLink;
    env.apply();
    result = SafeBinService::moveToSafeBin({homeLink + QStringLiteral("/Work/d-elsewhere/passwd")});
    ASSERT_FALSE(result.error) << result.error->description.toStdString();
    ASSERT_TRUE(SafeBinService::restore(result.moved.at(0)) == std::nullopt);
    EXPECT_EQ(contents(work + QStringLiteral("/d-elsewhere/passwd")), QByteArray("mine"));
}

// ---- A process killed during a move ----

TEST_F(SafeBinFaultTest, AMoveKilledHalfWaySettlesWithEveryItemRecorded) {
    GTEST_FLAG_SET(death_test_style, "fast");
    const QStringList paths = makeFiles(home(QStringLiteral("many")), 300);
    EXPECT_EXIT(
        {
            int moves = 0;
            FileOperations::setFaultHookForTesting([&](std::string_view operation, const QString&) {
                if (operation == "move" && ++moves == 150) ::raise(SIGKILL);
                return 0;
            });
            SafeBinService::moveToSafeBin(paths);
            std::_Exit(0);
        },
        ::testing::KilledBySignal(SIGKILL), "");

    // The kill left 149 items in the folder and none in the manifest.
    EXPECT_TRUE(recorded().empty());
    EXPECT_EQ(binContents(bin()).size(), 150);  // the items and the journal
    SafeBinService::settle();
    EXPECT_EQ(SafeBinService::list().size(), 149u);
    EXPECT_EQ(recorded().size(), 149u);
    EXPECT_EQ(lstatOf(bin() + QStringLiteral("/manifest.journal")).st_size, 0);
    expectNothingLost(paths);
    for (const SafeBinEntry& entry : SafeBinService::list()) EXPECT_GT(entry.size, 0);

    // And every adopted item can go back.
    ASSERT_FALSE(SafeBinService::restore(SafeBinService::list().front()));
    EXPECT_EQ(SafeBinService::list().size(), 148u);
}

TEST_F(SafeBinFaultTest, ACopyKilledAcrossFileSystemsLeavesNoPartialFolder) {
    GTEST_FLAG_SET(death_test_style, "fast");
    const QString single = test::writeFile(home(QStringLiteral("single.txt")), "1");
    const QString folder = test::makeDir(home(QStringLiteral("large")));
    const QStringList inside = makeFiles(folder, 10, QByteArray(100000, 'l'));
    auto killOnThirdCopy = [](std::atomic<int>& copies) {
        return [&copies](std::string_view operation, const QString& path) {
            if (operation == "rename") return EXDEV;  // as across file systems
            if (operation == "copy" && path.contains(QStringLiteral("large/f")) && ++copies == 3) ::raise(SIGKILL);
            return 0;
        };
    };
    EXPECT_EXIT(
        {
            std::atomic<int> copies = 0;
            FileOperations::setFaultHookForTesting(killOnThirdCopy(copies));
            SafeBinService::moveToSafeBin({single, folder});
            std::_Exit(0);
        },
        ::testing::KilledBySignal(SIGKILL), "");

    bool partialLeft = false;
    for (const QString& name : binContents(bin())) partialLeft |= name.startsWith(QStringLiteral(".tarnwick-partial-"));
    EXPECT_TRUE(partialLeft);
    SafeBinService::settle();
    for (const QString& name : binContents(bin())) EXPECT_FALSE(name.startsWith(QStringLiteral(".tarnwick-"))) << name.toStdString();
    ASSERT_EQ(SafeBinService::list().size(), 1u);
    EXPECT_EQ(SafeBinService::list()[0].originalPath, single);
    for (const QString& path : inside) EXPECT_EQ(contents(path).size(), 100000);  // the original is whole
    expectNothingLost({single, folder});

    // A restore killed the same way: the partial copy beside the original
    // place goes, the item stays in the bin with its record.
    const SafeBinEntry entry = SafeBinService::moveToSafeBin({folder}).moved.at(0);
    EXPECT_EXIT(
        {
            std::atomic<int> copies = 0;
            FileOperations::setFaultHookForTesting(killOnThirdCopy(copies));
            SafeBinService::restore(entry);
            std::_Exit(0);
        },
        ::testing::KilledBySignal(SIGKILL), "");
    EXPECT_EQ(QDir(env.home()).entryList(QStringList{QStringLiteral(".tarnwick-partial-*")},
                                         QDir::AllEntries | QDir::Hidden).size(), 1);
    SafeBinService::settle();
    EXPECT_TRUE(QDir(env.home()).entryList(QStringList{QStringLiteral(".tarnwick-partial-*")},
                                           QDir::AllEntries | QDir::Hidden).isEmpty());
    EXPECT_EQ(SafeBinService::list().size(), 2u);

    // Killed once the copy is in place, while the bin lets go of its own:
    // the record on what is left of it goes, never offered damaged.
    EXPECT_EXIT(
        {
            int removals = 0;
            FileOperations::setFaultHookForTesting([&](std::string_view operation, const QString& path) {
                if (operation == "rename") return EXDEV;
                if (operation == "remove" && path.startsWith(bin()) && path.contains(QStringLiteral("/f")) && ++removals == 4) {
                    ::raise(SIGKILL);
                }
                return 0;
            });
            SafeBinService::restore(entry);
            std::_Exit(0);
        },
        ::testing::KilledBySignal(SIGKILL), "");
    EXPECT_EQ(recorded().size(), 2u) << "the kill left the record on a half-removed copy";
    SafeBinService::settle();
    ASSERT_EQ(SafeBinService::list().size(), 1u);
    EXPECT_EQ(SafeBinService::list()[0].originalPath, single);
    EXPECT_FALSE(FileOperations::itemExists(bin() + QLatin1Char('/') + entry.storedName));
    for (const QString& path : inside) EXPECT_EQ(contents(path).size(), 100000);
    expectNothingLost({single, folder});
}

// ---- An original that could not be wholly removed ----

TEST_F(SafeBinFaultTest, AMoveLeavingPartOfTheOriginalSaysSoAndItsRestoreCompletesIt) {
    GTEST_FLAG_SET(death_test_style, "fast");
    test::ScratchFileSystem scratch(env.path(QStringLiteral("other")), 16 << 20);
    const QString project = scratch.path(QStringLiteral("project"));
    auto build = [&] {
        test::writeFile(project + QStringLiteral("/c.txt"), "c");
        test::writeFile(project + QStringLiteral("/sub/b.txt"), "b");
        test::writeFile(project + QStringLiteral("/sub/locked/a.txt"), "a");
    };
    auto expectWhole = [&] {
        EXPECT_EQ(contents(project + QStringLiteral("/c.txt")), QByteArray("c"));
        EXPECT_EQ(contents(project + QStringLiteral("/sub/b.txt")), QByteArray("b"));
        EXPECT_EQ(contents(project + QStringLiteral("/sub/locked/a.txt")), QByteArray("a"));
    };
    auto crossing = [&](std::string_view operation) { return operation == "rename" && !scratch.ok() ? EXDEV : 0; };
    build();

    // A folder another user owns inside it: the copy is in the bin, part of
    // the original stays, and the move says so rather than succeed.
    std::optional<SafeBinEntry> entry;
    {
        Fault fault([&](std::string_view operation, const QString& path) {
            if (operation == "remove" && path.endsWith(QStringLiteral("/locked/a.txt")) && !path.startsWith(bin())) {
                return EACCES;
            }
            return crossing(operation);
        });
        const SafeBinMoveResult result = SafeBinService::moveToSafeBin({project});
        ASSERT_TRUE(result.error);
        EXPECT_TRUE(result.error->description.contains(QStringLiteral("could not be removed")));
        ASSERT_EQ(result.moved.size(), 1u);
        entry = result.moved[0];
        EXPECT_TRUE(entry->remains.has_value());
        EXPECT_TRUE(FileOperations::itemExists(project + QStringLiteral("/sub/locked/a.txt")));
        EXPECT_FALSE(FileOperations::itemExists(project + QStringLiteral("/c.txt")));
        // The restore completes into what is left of its own original.
        const auto restored = SafeBinService::restore(*entry);
        ASSERT_FALSE(restored) << restored->description.toStdString();
    }
    expectWhole();
    EXPECT_TRUE(SafeBinService::list().empty());
    EXPECT_TRUE(binContents(bin()).contains(QStringLiteral("manifest.json")));
    EXPECT_EQ(binContents(bin()).size(), 1);

    // Killed during the removal: settled with the same record, and restored the same way.
    EXPECT_EXIT(
        {
            FileOperations::setFaultHookForTesting([&](std::string_view operation, const QString& path) {
                if (operation == "remove" && path.endsWith(QStringLiteral("/sub/b.txt")) && !path.startsWith(bin())) {
                    ::raise(SIGKILL);
                }
                return crossing(operation);
            });
            SafeBinService::moveToSafeBin({project});
            std::_Exit(0);
        },
        ::testing::KilledBySignal(SIGKILL), "");
    {
        Fault fault([&](std::string_view operation, const QString&) { return crossing(operation); });
        SafeBinService::settle();
        ASSERT_EQ(SafeBinService::list().size(), 1u);
        entry = SafeBinService::list()[0];
        EXPECT_TRUE(entry->remains.has_value());

        // Anything else at that path is not completed: it is "already there".
        ASSERT_TRUE(QDir().rename(project, project + QStringLiteral("-aside")));
        test::writeFile(project + QStringLiteral("/new.txt"), "new");
        EXPECT_EQ(SafeBinService::restore(*entry), FileError::alreadyExists());
        FileOperations::removeItem(project);
        ASSERT_TRUE(QDir().rename(project + QStringLiteral("-aside"), project));
        ASSERT_FALSE(SafeBinService::restore(*entry));
    }
    expectWhole();
    EXPECT_TRUE(SafeBinService::list().empty());
}

// ---- Two movers at once ----

TEST_F(SafeBinFaultTest, TwoProcessesMovingAtOnceLoseNoRecord) {
    const QStringList first = makeFiles(home(QStringLiteral("first")), 100);
    const QStringList second = makeFiles(home(QStringLiteral("second")), 100);
    SafeBinService::root();  // made before the children race to make it
    std::vector<pid_t> children;
    for (const QStringList* paths : {&first, &second}) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            // Each item alone, as module cleans and map deletes come.
            bool ok = true;
            for (const QString& path : *paths) ok &= !SafeBinService::moveToSafeBin({path}).error;
            for (int i = 0; i < 20; ++i) ActivityService::log(QStringLiteral("Junk"), QStringLiteral("event"), 1, 1);
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
    expectNothingLost(first + second);
    EXPECT_EQ(ActivityService::list(500).size(), 40);
}

TEST_F(SafeBinFaultTest, WorkerThreadsMovingAtOnceLoseNoRecord) {
    const QStringList first = makeFiles(home(QStringLiteral("first")), 60);
    const QStringList second = makeFiles(home(QStringLiteral("second")), 60);
    std::atomic<int> failures = 0;
    auto mover = [&](const QStringList& paths) {
        for (const QString& path : paths) failures += SafeBinService::moveToSafeBin({path}).error ? 1 : 0;
    };
    std::thread a(mover, first);
    std::thread b(mover, second);
    std::thread c([&] {
        for (int i = 0; i < 30; ++i) SafeBinService::purgeExpired(30);
    });
    a.join();
    b.join();
    c.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(SafeBinService::list().size(), 120u);
    expectNothingLost(first + second);
}

// ---- Names that are not UTF-8 ----

TEST_F(SafeBinFaultTest, ANameThatIsNotUtf8MovesItselfAndComesBack) {
    const QByteArray folder = nativePath(test::makeDir(home(QStringLiteral("odd"))));
    const QString bad = makeRawFile(folder + "/bad\xff.bin", "mine");
    const QString lookAlike = makeRawFile(folder + "/bad\xEF\xBF\xBD.bin", "other");
    ASSERT_NE(bad, lookAlike);

    const auto result = SafeBinService::moveToSafeBin({bad});
    ASSERT_FALSE(result.error) << result.error->description.toStdString();
    ASSERT_EQ(result.moved.size(), 1u);
    const SafeBinEntry entry = result.moved[0];
    EXPECT_EQ(PathCodec::encode(entry.displayName), QByteArray("bad\xff.bin"));
    EXPECT_TRUE(PathCodec::encode(entry.storedName).endsWith("-bad\xff.bin"));
    EXPECT_EQ(contents(bin() + QLatin1Char('/') + entry.storedName), QByteArray("mine"));
    EXPECT_EQ(contents(lookAlike), QByteArray("other"));
    EXPECT_FALSE(FileOperations::itemExists(bad));
    EXPECT_EQ(SafeBinService::list(), std::vector<SafeBinEntry>{entry});  // through the manifest

    // With the look-alike gone too, the missing name is skipped, never confused.
    QFile::remove(lookAlike);
    EXPECT_TRUE(SafeBinService::moveToSafeBin({bad}).moved.empty());

    ASSERT_FALSE(SafeBinService::restore(SafeBinService::list().at(0)));
    EXPECT_EQ(contents(bad), QByteArray("mine"));
    struct stat st {};
    EXPECT_EQ(::lstat((folder + "/bad\xff.bin").constData(), &st), 0);

    // A folder full of such names, copied across file systems, keeps every byte.
    const QByteArray tree = folder + "/tr\xe9s";
    ASSERT_EQ(::mkdir(tree.constData(), 0755), 0);
    makeRawFile(tree + "/\xc3\x28.txt", "a");
    makeRawFile(tree + "/ok\xfe\xfe", "b");
    Fault crossDevice([](std::string_view operation, const QString&) { return operation == "rename" ? EXDEV : 0; });
    const auto folderMove = SafeBinService::moveToSafeBin({PathCodec::decode(tree)});
    ASSERT_FALSE(folderMove.error) << folderMove.error->description.toStdString();
    ASSERT_FALSE(SafeBinService::restore(folderMove.moved.at(0)));
    EXPECT_EQ(contents(PathCodec::decode(tree + "/\xc3\x28.txt")), QByteArray("a"));
    EXPECT_EQ(contents(PathCodec::decode(tree + "/ok\xfe\xfe")), QByteArray("b"));
    EXPECT_TRUE(SafeBinService::list().empty());
}

// ---- Sparse files ----

TEST_F(SafeBinFaultTest, SparseFilesStaySparseInAndOut) {
    test::ScratchFileSystem scratch(env.path(QStringLiteral("other")), 16 << 20);
    const QString folder = scratch.ok() ? scratch.path() : test::makeDir(home(QStringLiteral("images")));
    const QString image = folder + QStringLiteral("/disk.img");
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
    std::unique_ptr<Fault> crossDevice;
    if (!scratch.ok()) {
        crossDevice = std::make_unique<Fault>(
            [](std::string_view operation, const QString&) { return operation == "rename" ? EXDEV : 0; });
    }
    auto expectSparseCopy = [&](const QString& path) {
        const struct stat st = lstatOf(path);
        EXPECT_EQ(st.st_size, kSize);
        EXPECT_LT(qint64(st.st_blocks) * 512, 1 << 20);
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
    expectSparseCopy(bin() + QLatin1Char('/') + result.moved.at(0).storedName);
    EXPECT_LT(result.moved[0].size, 1 << 20);
    ASSERT_FALSE(SafeBinService::restore(result.moved[0]));
    expectSparseCopy(image);
}

// ---- Hand-edited manifests ----

TEST_F(SafeBinFaultTest, RepeatedIdsAndOriginalsInsideTheBinOrphanNothing) {
    const QDateTime now = env.environment().now();
    const QUuid id = QUuid::createUuid();
    auto storedItem = [&](const QString& name, const QString& original) {
        const QString storedName = SafeBinService::storedNameFor(id, name);
        test::writeFile(bin() + QLatin1Char('/') + storedName, name.toUtf8());
        return SafeBinEntry::create(id, original, storedName, name, 4096, now);
    };
    const SafeBinEntry a = storedItem(QStringLiteral("a.txt"), home(QStringLiteral("back/a.txt")));
    const SafeBinEntry b = storedItem(QStringLiteral("b.txt"), home(QStringLiteral("back/b.txt")));
    const SafeBinEntry inside = storedItem(QStringLiteral("c.txt"), bin() + QStringLiteral("/c.txt"));
    const QString linkIntoBin = home(QStringLiteral("bin-link"));
    ASSERT_EQ(::symlink(nativePath(bin()).constData(), nativePath(linkIntoBin).constData()), 0);
    SafeBinEntry throughLink = storedItem(QStringLiteral("d.txt"), linkIntoBin + QStringLiteral("/d.txt"));
    ASSERT_TRUE(AtomicFile::write(manifest(), SafeBinEntry::encodeManifest({a, b, inside, throughLink})));

    // Restoring one of two entries with the same id keeps the other's record.
    ASSERT_FALSE(SafeBinService::restore(a));
    EXPECT_EQ(contents(home(QStringLiteral("back/a.txt"))), QByteArray("a.txt"));
    EXPECT_EQ(SafeBinService::list(), (std::vector<SafeBinEntry>{b, inside, throughLink}));

    // An original place inside the bin, directly or through a link, is refused.
    for (const SafeBinEntry& entry : {inside, throughLink}) {
        const auto refused = SafeBinService::restore(entry);
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->code, SafeBinService::kInvalidPathCode);
        EXPECT_TRUE(refused->description.contains(QStringLiteral("inside the Safe Bin")));
        EXPECT_TRUE(FileOperations::itemExists(bin() + QLatin1Char('/') + entry.storedName));
    }
    EXPECT_EQ(SafeBinService::list().size(), 3u);

    // An entry the manifest does not hold (a stale copy) is refused, not acted on.
    SafeBinEntry stale = b;
    stale.storedName = SafeBinService::storedNameFor(id, QStringLiteral("zzz.txt"));
    EXPECT_EQ(SafeBinService::restore(stale)->code, SafeBinService::kInvalidRecordCode);
    EXPECT_EQ(SafeBinService::destroy(stale)->code, SafeBinService::kInvalidRecordCode);

    // Deleting one of them for good leaves the others and their items.
    ASSERT_FALSE(SafeBinService::destroy(b));
    EXPECT_EQ(SafeBinService::list(), (std::vector<SafeBinEntry>{inside, throughLink}));
    EXPECT_TRUE(FileOperations::itemExists(bin() + QLatin1Char('/') + inside.storedName));
}
