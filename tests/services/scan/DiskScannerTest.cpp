#include "services/scan/DiskScanner.h"

#include "SysfsSupport.h"
#include "TestSupport.h"
#include "services/scan/WalkTestSupport.h"
#include "platform/PathCodec.h"
#include "platform/ToolRunner.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

using namespace tarnwick;
using test::expectConsistent;
using test::withoutPermissionOverride;

namespace {

const QString kEllipsis = QString(QChar(0x2026));

// A file of real data, so it takes blocks on disk.
QString writeData(const QString& path, qint64 size) {
    return test::writeFile(path, QByteArray(static_cast<qsizetype>(size), 'x'));
}

// A file of the given length without any data blocks (a hole), so its size
// on disk is 0. False when the file system allocates blocks anyway.
bool writeSparse(const QString& path, qint64 size) {
    test::writeFile(path);
    if (::truncate(QFile::encodeName(path).constData(), size) != 0) return false;
    struct stat st{};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && st.st_blocks == 0;
}

qint64 allocated(const QString& path) {
    struct stat st{};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return -1;
    return static_cast<qint64>(st.st_blocks) * 512;
}

void symlinkTo(const QString& target, const QString& link) {
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()), 0);
}

ScanNodePtr child(const ScanNodePtr& node, const QString& name) {
    for (const ScanNodePtr& c : node->children) {
        if (c->name == name) return c;
    }
    return nullptr;
}

QStringList childNames(const ScanNodePtr& node) {
    QStringList names;
    for (const ScanNodePtr& c : node->children) names << c->name;
    names.sort();
    return names;
}

ScanResult scan(DiskScanner& scanner, const QString& path, std::vector<ScanProgress>* reports = nullptr) {
    return scanner.scan(path, [reports](const ScanProgress& progress) {
        if (reports) reports->push_back(progress);
    });
}

int openDescriptors() {
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

// Every walk behaviour holds for the serial walk (one thread) and the
// parallel one; the support folder lives in a scratch folder.
class DiskScannerWalks : public ::testing::TestWithParam<int> {
protected:
    test::FakeEnvironment env;
};

INSTANTIATE_TEST_SUITE_P(Threads, DiskScannerWalks, ::testing::Values(1, 4),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == 1 ? std::string("serial") : std::string("parallel");
                         });

// What only the serial walk promises: progress after every subfolder while
// the count is a multiple of 400, a cancel from a report stopping at once.
class DiskScannerSerial : public ::testing::Test {
protected:
    test::FakeEnvironment env;
};

}  // namespace

TEST_P(DiskScannerWalks, MeasuresBlocksOnDiskAndFoldsFilesBelow256KiB) {
    QTemporaryDir dir;
    const QString root = dir.path();
    const QString data = root + "/data";
    writeData(data + "/whole", 262144);
    writeData(data + "/short", 262144 - 4096);
    writeData(data + "/byte", 1);
    test::writeFile(root + "/only-empty/a");
    test::makeDir(root + "/nothing");
    const qint64 whole = allocated(data + "/whole"), shortOne = allocated(data + "/short"),
                 byte = allocated(data + "/byte");
    ASSERT_GE(byte, 512);  // one byte of data takes a whole block

    DiskScanner scanner(GetParam());
    ScanResult result = scan(scanner, root + "/");  // a trailing slash names the same folder
    EXPECT_EQ(result.root->path(), root);
    EXPECT_EQ(scanner.files(), 4);  // the empty file is counted but joins nothing
    EXPECT_EQ(scanner.bytes(), whole + shortOne + byte);
    EXPECT_EQ(result.insights.fileCount, 3);  // the insights ignore files of 0 bytes
    ScanNodePtr dataNode = child(result.root, "data");
    ASSERT_TRUE(dataNode);
    EXPECT_EQ(dataNode->path(), data);
    for (const auto& [name, size] : {std::pair{QString("whole"), whole}, {QString("short"), shortOne}}) {
        ScanNodePtr node = child(dataNode, name);
        EXPECT_EQ(node != nullptr, size >= DiskScanner::kLeafFoldThreshold) << name.toStdString();
        if (node) {
            EXPECT_EQ(node->size, size);
        }
    }
    for (const char* empty : {"only-empty", "nothing"}) {
        ScanNodePtr node = child(result.root, empty);
        ASSERT_TRUE(node) << empty;
        EXPECT_EQ(node->size, 0);
        EXPECT_TRUE(node->children.empty());  // no small-files node for empty files
    }
    expectConsistent(result.root);

    ScanNodePtr small = child(dataNode, kEllipsis + "2 small files" + kEllipsis);
    ASSERT_TRUE(small);
    EXPECT_EQ(small->kind, NodeKind::file);
    EXPECT_EQ(small->size, shortOne + byte);
    EXPECT_EQ(small->path(), data);  // the folder's own path
    EXPECT_TRUE(small->isAggregate);

    // A file of holes takes no space, however long: 0 bytes, not its length
    // (a 50 GiB one used to count as 50 GiB).
    const QString sparse = test::makeDir(root + "/sparse");
    if (!writeSparse(sparse + "/huge", qint64(50) << 30) || !writeSparse(sparse + "/at", 262144)) {
        GTEST_SKIP() << "the file system gives holes blocks";
    }
    const QString partly = writeData(sparse + "/partly", 4096);
    ASSERT_EQ(::truncate(QFile::encodeName(partly).constData(), qint64(1) << 30), 0);
    result = scan(scanner, sparse);
    EXPECT_EQ(scanner.files(), 3);
    EXPECT_EQ(scanner.bytes(), allocated(partly));
    EXPECT_EQ(result.root->size, allocated(partly));
    EXPECT_EQ(result.insights.totalFileBytes, scanner.bytes());
    EXPECT_FALSE(child(result.root, "huge"));
    EXPECT_FALSE(child(result.root, "at"));
}

TEST_P(DiskScannerWalks, FoldersThatCannotBeListedAreRestricted) {
    QTemporaryDir dir;
    const QString root = dir.path();
    const QString file = writeData(root + "/plain.txt", 10);
    const QString locked = test::makeDir(root + "/tree/locked");
    writeData(locked + "/inside", 300000);
    writeData(root + "/tree/open/seen", 10);
    ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0), 0);

    DiskScanner scanner(GetParam());
    // A root that is a file, or that does not exist, cannot be listed.
    for (const QString& path : {file, root + "/missing"}) {
        ScanResult result = scan(scanner, path);
        EXPECT_EQ(result.root->kind, NodeKind::restricted);
        EXPECT_EQ(result.root->name, QFileInfo(path).fileName());
        EXPECT_EQ(result.root->path(), path);
        EXPECT_EQ(result.root->size, 0);
        EXPECT_TRUE(result.root->children.empty());
        EXPECT_EQ(scanner.files(), 0);
    }

    ScanResult tree;
    ScanResult lockedRoot;
    bool permissionsApply = true;
    withoutPermissionOverride([&] {
        const int probe = ::open(QFile::encodeName(locked).constData(), O_RDONLY | O_DIRECTORY);
        if (probe >= 0) {
            permissionsApply = false;
            ::close(probe);
            return;
        }
        tree = scan(scanner, root + "/tree");
        lockedRoot = scan(scanner, locked);
    });
    ::chmod(QFile::encodeName(locked).constData(), 0755);
    if (!permissionsApply) GTEST_SKIP() << "file permissions do not apply to this process";

    ScanNodePtr lockedNode = child(tree.root, "locked");
    ASSERT_TRUE(lockedNode);
    EXPECT_EQ(lockedNode->kind, NodeKind::restricted);
    EXPECT_EQ(lockedNode->path(), locked);
    EXPECT_EQ(lockedNode->size, 0);
    EXPECT_TRUE(child(tree.root, "open"));
    EXPECT_EQ(tree.root->kind, NodeKind::dir);
    EXPECT_EQ(tree.root->size, allocated(root + "/tree/open/seen"));
    expectConsistent(tree.root);

    EXPECT_EQ(lockedRoot.root->kind, NodeKind::restricted);
    EXPECT_EQ(lockedRoot.root->name, "locked");
}

TEST_P(DiskScannerWalks, FollowsLinksToFoldersOnlyWhereTheWalkCanEndAndCountsEachFolderOnce) {
    QTemporaryDir dir;
    const QString root = dir.path() + "/scanned";
    const QString outside = dir.path() + "/outside";
    writeData(outside + "/shared/big", 300000);
    writeData(outside + "/shared/inner/x", 10);
    writeData(root + "/file", 300000);
    writeData(root + "/inside/small", 10);
    symlinkTo(outside + "/shared", root + "/to-outside");
    symlinkTo("../outside/shared", root + "/to-outside-again");  // the same folder again
    symlinkTo(outside + "/shared/inner", root + "/to-inner");     // a folder within it
    symlinkTo("inside", root + "/to-inside");                     // counted at its own place
    symlinkTo("file", root + "/to-file");
    symlinkTo(root + "/gone", root + "/dangling");
    symlinkTo("..", root + "/inside/to-root");  // back up the walk path: would never end
    symlinkTo(".", root + "/inside/to-self");
    symlinkTo("/proc", root + "/to-proc");      // another file system
    symlinkTo("/", root + "/to-slash");         // above the walked folder: would count the whole disk
    symlinkTo(dir.path(), root + "/to-above");
    symlinkTo(root, root + "/inside/to-walked");

    DiskScanner scanner(GetParam());
    ScanResult result = scan(scanner, root);
    const QStringList names = childNames(result.root);
    EXPECT_TRUE(names.contains("file"));
    EXPECT_TRUE(names.contains("inside"));
    for (const char* skipped : {"to-inside", "to-file", "dangling", "to-proc", "to-slash", "to-above"}) {
        EXPECT_FALSE(names.contains(skipped)) << skipped;
    }
    EXPECT_EQ(childNames(child(result.root, "inside")), QStringList{"…1 small files…"});

    // The outside folder is walked under the path of the first link that leads there.
    EXPECT_NE(names.contains("to-outside"), names.contains("to-outside-again"));
    const QString linkName = names.contains("to-outside") ? "to-outside" : "to-outside-again";
    ScanNodePtr linked = child(result.root, linkName);
    ASSERT_TRUE(linked);
    EXPECT_EQ(linked->kind, NodeKind::dir);
    EXPECT_EQ(linked->path(), root + "/" + linkName);
    ScanNodePtr big = child(linked, "big");
    ASSERT_TRUE(big);
    EXPECT_EQ(big->path(), root + "/" + linkName + "/big");

    // Every file once: the folder within the outside one is counted either
    // through its own link or in its place, never both.
    EXPECT_EQ(scanner.files(), 4);
    EXPECT_EQ(scanner.bytes(), allocated(root + "/file") + allocated(root + "/inside/small") +
                                   allocated(outside + "/shared/big") + allocated(outside + "/shared/inner/x"));
    EXPECT_NE(names.contains("to-inner"), child(linked, "inner") != nullptr);
    expectConsistent(result.root);

    // Walking through a link as the root works like walking the folder.
    ScanResult viaLink = scan(scanner, root + "/to-outside");
    EXPECT_EQ(viaLink.root->kind, NodeKind::dir);
    EXPECT_EQ(viaLink.root->name, "to-outside");
    EXPECT_EQ(childNames(viaLink.root), (QStringList{"big", "inner"}));
    EXPECT_EQ(scanner.files(), 2);
}

TEST_P(DiskScannerWalks, CountsAFileWithSeveralHardLinksOnce) {
    QTemporaryDir dir;
    const QString root = dir.path();
    const QString big = writeData(root + "/a/big", 400000);
    const QString small = writeData(root + "/a/small", 1000);
    test::makeDir(root + "/b");
    ASSERT_EQ(::link(QFile::encodeName(big).constData(), QFile::encodeName(root + "/b/big-again").constData()), 0);
    ASSERT_EQ(::link(QFile::encodeName(small).constData(), QFile::encodeName(root + "/b/small-again").constData()), 0);
    ASSERT_EQ(::link(QFile::encodeName(small).constData(), QFile::encodeName(root + "/a/small-twice").constData()), 0);

    DiskScanner scanner(GetParam());
    ScanResult result = scan(scanner, root);
    EXPECT_EQ(scanner.files(), 2);
    EXPECT_EQ(scanner.bytes(), allocated(big) + allocated(small));
    EXPECT_EQ(result.root->size, scanner.bytes());
    // Exactly one of the two names of the large file has a node.
    const bool inA = child(child(result.root, "a"), "big") != nullptr;
    const bool inB = child(child(result.root, "b"), "big-again") != nullptr;
    EXPECT_NE(inA, inB);

    // The same total as du, which counts each file once (folders aside).
    ToolResult du = ToolRunner::run("du", {"-s", "-B1", root});
    if (du.succeeded()) {
        qint64 folders = 0;
        for (const QString& folder : {root, root + "/a", root + "/b"}) folders += allocated(folder);
        EXPECT_EQ(du.output.split('\t').value(0).toLongLong(), scanner.bytes() + folders);
    }
}

TEST(DiskScannerThreads, OneThreadOnlyOnADiskThatReallySpins) {
    test::FakeEnvironment env;
    const QString folder = env.home() + QStringLiteral("/tree");
    writeData(folder + QStringLiteral("/a"), 1000);
    struct stat st {};
    ASSERT_EQ(::stat(PathCodec::encode(folder).constData(), &st), 0);
    const QString node = QStringLiteral("%1:%2").arg(major(st.st_dev)).arg(minor(st.st_dev));
    // The walked folder's disk as the environment's sysfs tree describes it.
    auto threadsFor = [&](const QString& device, const char* driver, const char* vendor) {
        QTemporaryDir root;
        test::FakeSysfs(root.path() + QStringLiteral("/sys")).disk(node, device, true, driver, vendor);
        Environment changed = env.environment();
        changed.rootPrefix = root.path();
        const Environment::Scope scope(changed);
        DiskScanner scanner;
        EXPECT_EQ(scanner.scan(folder, {}).root->children.size(), 1u);
        return scanner.threadsUsed();
    };
    EXPECT_EQ(threadsFor(QStringLiteral("pci0/ata1/host0/t/0:0:0:0/block/sda"), "sd", "ATA"), 1);
    const int pool = threadsFor(QStringLiteral("pci0/virtio1/block/vda"), "virtio_blk", "0x1af4");
    EXPECT_EQ(pool, WalkRules::defaultThreads(st.st_dev)) << "as without any sysfs entry";
    if (std::thread::hardware_concurrency() > 1) EXPECT_GT(pool, 1);
}

TEST_F(DiskScannerSerial, CancelKeepsWhatWasCountedAndStillFinishes) {
    QTemporaryDir dir;
    const QString root = dir.path();
    for (int folder = 0; folder < 6; ++folder) {
        for (int file = 0; file < 170; ++file) writeData(QString("%1/f%2/%3").arg(root).arg(folder).arg(file), 10);
    }

    // Cancelled before the walk starts: an empty folder node, nothing counted.
    DiskScanner scanner(1);
    scanner.cancel();
    ScanResult before = scan(scanner, root);
    EXPECT_EQ(before.root->kind, NodeKind::dir);
    EXPECT_EQ(before.root->path(), root);
    EXPECT_EQ(before.root->size, 0);
    EXPECT_TRUE(before.root->children.empty());
    EXPECT_EQ(scanner.files(), 0);

    // The flag does not outlive the scan it stopped.
    ScanResult full = scan(scanner, root);
    EXPECT_EQ(scanner.files(), 1020);
    const qint64 allBytes = scanner.bytes();

    // Cancelled from a progress report in the middle of a folder.
    qint64 seenAtCancel = -1;
    ScanResult during = scanner.scan(root, [&](const ScanProgress& progress) {
        if (seenAtCancel < 0 && progress.scannedFiles >= 400) {
            seenAtCancel = progress.scannedFiles;
            scanner.cancel();
        }
    });
    EXPECT_EQ(seenAtCancel, 400);
    EXPECT_EQ(scanner.files(), seenAtCancel);
    EXPECT_LT(scanner.bytes(), allBytes);
    EXPECT_EQ(during.root->size, scanner.bytes());  // the partial tree still carries the counted sizes
    EXPECT_EQ(during.insights.fileCount, seenAtCancel);
    expectConsistent(during.root);
    // The folder that was being walked kept its small files.
    qint64 summed = 0;
    for (const ScanNodePtr& folder : during.root->children) {
        for (const ScanNodePtr& c : folder->children) {
            if (c->isAggregate) summed += c->name.mid(1).section(' ', 0, 0).toLongLong();
        }
    }
    EXPECT_EQ(summed, seenAtCancel);

    // Cancelled from another thread at any moment: always a consistent tree.
    for (int delayUs : {0, 50, 200, 1000}) {
        DiskScanner racing(1);
        std::thread canceller([&] {
            std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
            racing.cancel();
        });
        ScanResult raced = scan(racing, root);
        canceller.join();
        EXPECT_EQ(raced.root->size, racing.bytes());
        expectConsistent(raced.root);
    }
}

TEST_F(DiskScannerSerial, ReportsProgressAtEvery400FilesAndAfterFoldersWhileAtAMultiple) {
    QTemporaryDir dir;
    const QString root = dir.path();
    for (int i = 0; i < 3; ++i) test::makeDir(QString("%1/empty%2").arg(root).arg(i));

    DiskScanner scanner(1);
    std::vector<ScanProgress> reports;
    scan(scanner, root, &reports);
    // No files yet: every finished subfolder is at a multiple of 400.
    ASSERT_EQ(reports.size(), 3u);
    QStringList paths;
    for (const ScanProgress& report : reports) {
        EXPECT_EQ(report.scannedFiles, 0);
        paths << report.currentPath;
    }
    paths.sort();
    EXPECT_EQ(paths, (QStringList{root + "/empty0", root + "/empty1", root + "/empty2"}));

    for (int i = 0; i < 1000; ++i) writeData(QString("%1/many/%2").arg(root).arg(i), 1);
    reports.clear();
    scan(scanner, root, &reports);
    ASSERT_FALSE(reports.empty());
    std::vector<qint64> counts;
    for (const ScanProgress& report : reports) {
        if (!counts.empty()) {
            EXPECT_GE(report.scannedFiles, counts.back());
        }
        counts.push_back(report.scannedFiles);
        if (report.scannedFiles == 400 || report.scannedFiles == 800) {
            EXPECT_TRUE(report.currentPath.startsWith(root + "/many/"));
            EXPECT_EQ(report.scannedBytes, report.scannedFiles * allocated(root + "/many/0"));
        }
    }
    EXPECT_NE(std::find(counts.begin(), counts.end(), 400), counts.end());
    EXPECT_NE(std::find(counts.begin(), counts.end(), 800), counts.end());
    // The first entry always reports (the last report is long ago); the rest
    // only at multiples of 400 or after a quarter second.
    EXPECT_LE(reports.size(), 8u);
}

TEST_P(DiskScannerWalks, SkipsSystemFoldersAndOtherFileSystems) {
    DiskScanner scanner(GetParam());
    for (const QString& path : {QString("/proc"), QString("/sys"), QString("/dev"), QString("/proc/")}) {
        ScanResult result = scan(scanner, path);
        EXPECT_EQ(result.root->kind, NodeKind::restricted) << path.toStdString();
        EXPECT_EQ(result.root->name, QDir::cleanPath(path).mid(1));
        EXPECT_EQ(result.root->size, 0);
        EXPECT_TRUE(result.root->children.empty());
    }

    // The home folders are user data, not a system folder: walked (stopped at once here).
    if (QFileInfo(QStringLiteral("/home")).isDir()) {
        ScanResult home = scanner.scan("/home", [&](const ScanProgress&) { scanner.cancel(); });
        EXPECT_EQ(home.root->kind, NodeKind::dir);
    }

    // The start-up volume's walk is named after what was walked.
    scanner.cancel();
    ScanResult slash = scan(scanner, "/");
    EXPECT_EQ(slash.root->name, "/");
    EXPECT_EQ(slash.root->path(), "/");
    EXPECT_EQ(scan(scanner, "/System/Volumes/Data").root->name, "Data");

    // Mount points inside the walked folder are left out; the walked folder
    // itself may be a volume root (/dev is one, reached here through a link).
    QStringList mounts;
    struct stat devStat{};
    ASSERT_EQ(::stat("/dev", &devStat), 0);
    for (const QString& name : QDir("/dev").entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden)) {
        struct stat st{};
        if (::lstat(QFile::encodeName("/dev/" + name).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
            st.st_dev != devStat.st_dev) {
            mounts << name;
        }
    }
    if (mounts.isEmpty()) GTEST_SKIP() << "no mount point below /dev";
    QTemporaryDir dir;
    symlinkTo("/dev", dir.path() + "/dev-link");
    ScanResult dev = scan(scanner, dir.path() + "/dev-link");
    EXPECT_EQ(dev.root->kind, NodeKind::dir);
    for (const QString& mount : mounts) EXPECT_FALSE(child(dev.root, mount)) << mount.toStdString();
    EXPECT_GT(scanner.files(), 0);  // device files are counted, with no size
}

TEST_P(DiskScannerWalks, WalksVeryDeepTreesWithFewDescriptors) {
    QTemporaryDir dir;
    const QString root = dir.path();
    // 3000 nested folders: the path of the deepest is far beyond PATH_MAX.
    constexpr int kDepth = 3000;
    int fd = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < kDepth; ++i) {
        ASSERT_EQ(::mkdirat(fd, "d", 0755), 0);
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    const int bottom = ::openat(fd, "deepest-file", O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(::write(bottom, "x", 1), 1);
    ::close(bottom);
    ::close(fd);

    // Far fewer descriptors than levels, so an open descriptor per level would fail.
    rlimit saved{};
    getrlimit(RLIMIT_NOFILE, &saved);
    rlimit tight = saved;
    tight.rlim_cur = 256;
    setrlimit(RLIMIT_NOFILE, &tight);
    const int before = openDescriptors();
    int most = before;
    DiskScanner scanner(GetParam());
    ScanResult result = scanner.scan(root, [&](const ScanProgress&) { most = std::max(most, openDescriptors()); });
    setrlimit(RLIMIT_NOFILE, &saved);

    EXPECT_EQ(openDescriptors(), before);
    EXPECT_LE(most, before + 70);
    EXPECT_EQ(scanner.files(), 1);
    int depth = 0;
    ScanNodePtr node = result.root;
    while (!node->children.empty() && node->children[0]->kind == NodeKind::dir) {
        node = node->children[0];
        ++depth;
    }
    EXPECT_EQ(depth, kDepth);
    ASSERT_EQ(node->children.size(), 1u);
    EXPECT_TRUE(node->children[0]->isAggregate);
    EXPECT_EQ(result.root->size, node->size);
    EXPECT_GT(node->path().size(), 6000);
    result = {};  // the tree is freed without deep recursion too
    ToolRunner::run("rm", {"-rf", root});
}

TEST_P(DiskScannerWalks, ReturnsThroughLinksAfterDescriptorsWereClosed) {
    // Folders outside the walked one link each to the next, so the walk goes
    // 120 levels deep through links, and folders far up close their
    // descriptors on the way down and reopen them on the way back.
    QTemporaryDir dir;
    const QString root = test::makeDir(dir.path() + "/walked");
    constexpr int kFolders = 120;
    for (int i = 0; i < kFolders; ++i) {
        writeData(QString("%1/chain/d%2/data").arg(dir.path()).arg(i), 1);
        if (i + 1 < kFolders) symlinkTo(QString("../d%1").arg(i + 1), QString("%1/chain/d%2/next").arg(dir.path()).arg(i));
    }
    writeData(root + "/own", 1);
    symlinkTo(dir.path() + "/chain/d0", root + "/start");
    DiskScanner scanner(GetParam());
    ScanResult result = scan(scanner, root);
    EXPECT_EQ(scanner.files(), kFolders + 1);
    expectConsistent(result.root);
    ScanNodePtr node = child(result.root, "start");
    int depth = 0;
    while (node && (node = child(node, "next"))) ++depth;
    EXPECT_EQ(depth, kFolders - 1);
}

TEST_P(DiskScannerWalks, HandlesNamesThatAreNotUtf8AndFeedsTheInsights) {
    QTemporaryDir dir;
    const QString root = dir.path();
    const QByteArray base = QFile::encodeName(root);
    const QByteArray folder = base + "/caf\xe9";  // Latin-1, not UTF-8
    ASSERT_EQ(::mkdir(folder.constData(), 0755), 0);
    const QByteArray data(3 * 1024 * 1024, 'x');
    for (const QByteArray& path : {folder + "/\xff\xfe.bin", folder + "/\x80small"}) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        const qsizetype size = path.endsWith("small") ? 10 : data.size();
        ASSERT_EQ(::write(fd, data.constData(), size), size);
        ::close(fd);
    }

    DiskScanner scanner(GetParam());
    ScanResult result = scan(scanner, root);
    EXPECT_EQ(scanner.files(), 2);  // the folder was listed by its raw name
    ASSERT_EQ(result.root->children.size(), 1u);
    const ScanNodePtr& cafe = result.root->children[0];
    EXPECT_EQ(cafe->kind, NodeKind::dir);
    EXPECT_TRUE(cafe->name.startsWith("caf"));
    EXPECT_EQ(cafe->children.size(), 2u);

    // Every path names the real bytes, so the file found is the file acted on.
    EXPECT_EQ(PathCodec::encode(cafe->path()), folder);
    ScanNodePtr binary;
    for (const ScanNodePtr& c : cafe->children) {
        if (!c->isAggregate) binary = c;
    }
    ASSERT_TRUE(binary);
    EXPECT_EQ(PathCodec::encode(binary->path()), folder + "/\xff\xfe.bin");
    EXPECT_NE(binary->name, QString::fromUtf8("\xff\xfe.bin"));  // not the replacement characters

    ASSERT_EQ(result.insights.largest.size(), 1);
    const FileRecord& largest = result.insights.largest[0];
    EXPECT_EQ(PathCodec::encode(largest.path), folder + "/\xff\xfe.bin");
    EXPECT_EQ(largest.name, binary->name);
    EXPECT_TRUE(largest.path.startsWith(cafe->path() + "/"));
    EXPECT_EQ(largest.fileExtension, "bin");
    struct stat st{};
    ASSERT_EQ(::lstat((folder + "/\xff\xfe.bin").constData(), &st), 0);
    EXPECT_EQ(largest.size, static_cast<qint64>(st.st_blocks) * 512);
    EXPECT_EQ(result.insights.fileCount, 2);
    ToolRunner::run("rm", {"-rf", root});  // names that are not UTF-8 cannot be removed by their text
}

namespace {

// The peak resident memory of a child process running work (which says
// whether it went right), less that of a child doing nothing; -1 when the
// work failed.
qint64 peakMemoryOf(const std::function<bool()>& work) {
    auto peak = [](const std::function<bool()>& w) -> qint64 {
        const pid_t pid = ::fork();
        if (pid == 0) ::_exit(w() ? 0 : 1);
        int status = 0;
        rusage usage{};
        if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            return -1;
        }
        return static_cast<qint64>(usage.ru_maxrss) * 1024;
    };
    const qint64 idle = peak([] { return true; });
    const qint64 busy = peak(work);
    return idle < 0 || busy < 0 ? -1 : std::max<qint64>(busy - idle, 0);
}

}  // namespace

TEST_P(DiskScannerWalks, MemoryDoesNotGrowWithDepthTimesNameLength) {
    // 5,000 nested folders of 255-byte names: 1.3 million characters of path
    // at the bottom. Full paths per folder would take gigabytes.
    QTemporaryDir dir;
    const QString root = dir.path();
    constexpr int kDepth = 5000;
    const std::string name(255, 'n');
    int fd = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < kDepth; ++i) {
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    const int bottom = ::openat(fd, "bottom", O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(::write(bottom, "x", 1), 1);
    ::close(bottom);
    ::close(fd);

    const int threads = GetParam();
    const qint64 used = peakMemoryOf([&] {
        DiskScanner scanner(threads);
        qint64 longest = 0;
        ScanResult result = scanner.scan(root, [&](const ScanProgress& progress) {
            longest = std::max<qint64>(longest, progress.currentPath.size());
        });
        int depth = 0;
        ScanNodePtr node = result.root;
        while (!node->children.empty() && node->children[0]->kind == NodeKind::dir) {
            node = node->children[0];
            ++depth;
        }
        // The deepest folder still knows its whole path.
        const QString path = node->path();
        return depth == kDepth && scanner.files() == 1 && path.size() == root.size() + kDepth * 256 &&
               path.endsWith(QString::fromStdString("/" + name)) && longest <= path.size() + 7;
    });
    ToolRunner::run("rm", {"-rf", root});
    ASSERT_GE(used, 0) << "the walk in the child process went wrong";
    EXPECT_LT(used, 100 * 1024 * 1024);
}

TEST_P(DiskScannerWalks, TheSupportFolderIsMappedButLeftOutOfTheInsights) {
    const QString root = env.path("scanned");
    env.environment().applicationSupport = root + "/.local/share";
    env.apply();
    const QString bin = root + "/.local/share/Tarnwick/SafeBin";
    writeData(bin + "/3F2504E0-4F89-11D3-9A0C-0305E82C3301-movie.mov", 3 * 1024 * 1024);
    writeData(bin + "/notes.txt", 1000);
    writeData(root + "/Videos/film.mov", 2 * 1024 * 1024 + 4096);
    writeData(root + "/Videos/list.txt", 500);
    // Scanned as a whole, or from inside it: nothing in it reaches the insights.
    DiskScanner scanner(GetParam());
    ScanResult result = scan(scanner, root);
    EXPECT_EQ(scanner.files(), 4);
    ASSERT_EQ(result.insights.largest.size(), 1);
    EXPECT_EQ(result.insights.largest[0].name, "film.mov");
    EXPECT_EQ(result.insights.fileCount, 2);
    EXPECT_EQ(result.insights.totalFileBytes, allocated(root + "/Videos/film.mov") + allocated(root + "/Videos/list.txt"));
    for (const TypeBucket& bucket : result.insights.types) EXPECT_EQ(bucket.count, 1) << bucket.name.toStdString();
    ScanNodePtr share = child(child(result.root, ".local"), "share");
    ASSERT_TRUE(share);
    ScanNodePtr support = child(share, "Tarnwick");
    ASSERT_TRUE(support);  // still on the map, as one folder with its size
    EXPECT_EQ(support->kind, NodeKind::dir);
    EXPECT_GE(support->size, 3 * 1024 * 1024);

    ScanResult inside = scan(scanner, bin);
    EXPECT_EQ(scanner.files(), 2);
    EXPECT_EQ(inside.insights.fileCount, 0);
    EXPECT_TRUE(inside.insights.largest.isEmpty());
}
