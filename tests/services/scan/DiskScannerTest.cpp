#include "services/scan/DiskScanner.h"

#include "FileTreeSupport.h"
#include "SysfsSupport.h"
#include "TestSupport.h"
#include "services/scan/WalkTestSupport.h"
#include "platform/MountTable.h"
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
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

using namespace tarnwick;
using test::expectConsistent;
using test::withoutPermissionOverride;

namespace {

const QString kEllipsis = QString(QChar(0x2026));

// A file of the given length without any data blocks (a hole), so its size
// on disk is 0. False when the file system allocates blocks anyway.
bool sparseWithoutBlocks(const QString& path, qint64 size) {
    test::writeSparse(path, size);
    struct stat st{};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && st.st_size == size && st.st_blocks == 0;
}

qint64 allocated(const QString& path) {
    struct stat st{};
    if (::lstat(PathCodec::encode(path).constData(), &st) != 0) return -1;
    return static_cast<qint64>(st.st_blocks) * 512;
}

ScanNodePtr child(const ScanNodePtr& node, const QString& name) {
    if (!node) return nullptr;
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

// A root or folder that could not be listed: restricted and empty.
void expectRestricted(const ScanNodePtr& node, const QString& name, const QString& path) {
    ASSERT_TRUE(node) << path.toStdString();
    EXPECT_EQ(node->kind, NodeKind::restricted) << path.toStdString();
    EXPECT_EQ(node->name, name);
    EXPECT_EQ(node->path(), path);
    EXPECT_EQ(node->size, 0);
    EXPECT_TRUE(node->children.empty());
}

ScanResult scan(DiskScanner& scanner, const QString& path) { return scanner.scan(path, {}); }

// A chain of `depth` nested folders of one name with a one-byte file at the bottom.
void makeChain(const QString& root, int depth, const char* name) {
    int fd = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < depth; ++i) {
        ASSERT_EQ(::mkdirat(fd, name, 0755), 0);
        const int next = ::openat(fd, name, O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    const int bottom = ::openat(fd, "bottom", O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(::write(bottom, "x", 1), 1);
    ::close(bottom);
    ::close(fd);
}

// The deepest folder of a chain and its depth.
std::pair<ScanNodePtr, int> deepest(const ScanResult& result) {
    int depth = 0;
    ScanNodePtr node = result.root;
    while (!node->children.empty() && node->children[0]->kind == NodeKind::dir) {
        node = node->children[0];
        ++depth;
    }
    return {node, depth};
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

// What only the serial walk promises: a cancel from a report stops at once.
class DiskScannerSerial : public ::testing::Test {
protected:
    test::FakeEnvironment env;
};

}  // namespace

TEST_P(DiskScannerWalks, MeasuresBlocksOnDiskAndFoldsFilesBelow256KiB) {
    QTemporaryDir dir;
    const QString root = dir.path();
    const QString data = root + "/data";
    test::writeFilled(data + "/whole", 262144);
    test::writeFilled(data + "/short", 262144 - 4096);
    test::writeFilled(data + "/byte", 1);
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
    EXPECT_EQ(small->size, shortOne + byte);
    EXPECT_EQ(small->path(), data);  // the folder's own path
    EXPECT_TRUE(small->isAggregate);

    // A file of holes takes no space, however long: 0 bytes, not its length
    // (a 50 GiB one used to count as 50 GiB).
    const QString sparse = test::makeDir(root + "/sparse");
    if (!sparseWithoutBlocks(sparse + "/huge", qint64(50) << 30) || !sparseWithoutBlocks(sparse + "/at", 262144)) {
        GTEST_SKIP() << "the file system gives holes blocks";
    }
    const QString partly = test::writeFilled(sparse + "/partly", 4096);
    ASSERT_EQ(::truncate(QFile::encodeName(partly).constData(), qint64(1) << 30), 0);
    result = scan(scanner, sparse);
    EXPECT_EQ(scanner.files(), 3);
    EXPECT_EQ(result.root->size, allocated(partly));
    EXPECT_EQ(result.insights.totalFileBytes, allocated(partly));
    EXPECT_FALSE(child(result.root, "huge"));
}

TEST_P(DiskScannerWalks, FoldersThatCannotBeListedAreRestricted) {
    QTemporaryDir dir;
    const QString root = dir.path();
    const QString file = test::writeFilled(root + "/plain.txt", 10);
    const QString locked = test::makeDir(root + "/tree/locked");
    test::writeFilled(locked + "/inside", 300000);
    test::writeFilled(root + "/tree/open/seen", 10);
    ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0), 0);

    DiskScanner scanner(GetParam());
    // A root that is a file, or that does not exist, cannot be listed.
    for (const QString& path : {file, root + "/missing"}) {
        expectRestricted(scan(scanner, path).root, QFileInfo(path).fileName(), path);
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

    expectRestricted(child(tree.root, "locked"), "locked", locked);
    expectRestricted(lockedRoot.root, "locked", locked);
    EXPECT_EQ(tree.root->kind, NodeKind::dir);
    EXPECT_EQ(tree.root->size, allocated(root + "/tree/open/seen"));
    expectConsistent(tree.root);
}

TEST_P(DiskScannerWalks, FollowsLinksToFoldersOnlyWhereTheWalkCanEndAndCountsEachFolderOnce) {
    QTemporaryDir dir;
    const QString root = dir.path() + "/scanned";
    const QString outside = dir.path() + "/outside";
    test::writeFilled(outside + "/shared/big", 300000);
    test::writeFilled(outside + "/shared/inner/x", 10);
    test::writeFilled(root + "/file", 300000);
    test::writeFilled(root + "/inside/small", 10);
    test::makeLink(outside + "/shared", root + "/to-outside");
    test::makeLink("../outside/shared", root + "/to-outside-again");  // the same folder again
    test::makeLink(outside + "/shared/inner", root + "/to-inner");     // a folder within it
    test::makeLink("inside", root + "/to-inside");                     // counted at its own place
    test::makeLink("file", root + "/to-file");
    test::makeLink(root + "/gone", root + "/dangling");
    test::makeLink("..", root + "/inside/to-root");  // back up the walk path: would never end
    test::makeLink(".", root + "/inside/to-self");
    test::makeLink("/proc", root + "/to-proc");      // another file system
    test::makeLink("/", root + "/to-slash");         // above the walked folder: would count the whole disk
    test::makeLink(dir.path(), root + "/to-above");
    test::makeLink(root, root + "/inside/to-walked");

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
    const QString big = test::writeFilled(root + "/a/big", 400000);
    const QString small = test::writeFilled(root + "/a/small", 1000);
    test::makeDir(root + "/b");
    ASSERT_EQ(::link(QFile::encodeName(big).constData(), QFile::encodeName(root + "/b/big-again").constData()), 0);
    ASSERT_EQ(::link(QFile::encodeName(small).constData(), QFile::encodeName(root + "/b/small-again").constData()), 0);
    ASSERT_EQ(::link(QFile::encodeName(small).constData(), QFile::encodeName(root + "/a/small-twice").constData()), 0);

    DiskScanner scanner(GetParam());
    ScanResult result = scan(scanner, root);
    EXPECT_EQ(scanner.files(), 2);
    EXPECT_EQ(result.root->size, allocated(big) + allocated(small));
    // Exactly one of the two names of the large file has a node.
    const bool inA = child(child(result.root, "a"), "big") != nullptr;
    const bool inB = child(child(result.root, "b"), "big-again") != nullptr;
    EXPECT_NE(inA, inB);
}

TEST(DiskScannerThreads, OneThreadOnlyOnADiskThatReallySpins) {
    test::FakeEnvironment env;
    const QString folder = env.home() + QStringLiteral("/tree");
    test::writeFilled(folder + QStringLiteral("/a"), 1000);
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
    if (std::thread::hardware_concurrency() > 1) {
        EXPECT_GT(pool, 1);
    }
}

TEST_F(DiskScannerSerial, CancelKeepsWhatWasCountedAndStillFinishes) {
    QTemporaryDir dir;
    const QString root = dir.path();
    for (int folder = 0; folder < 6; ++folder) {
        for (int file = 0; file < 170; ++file) test::writeFilled(QString("%1/f%2/%3").arg(root).arg(folder).arg(file), 10);
    }

    // Cancelled before the walk starts: an empty folder node, nothing counted.
    DiskScanner scanner(1);
    scanner.cancel();
    ScanResult before = scan(scanner, root);
    EXPECT_EQ(before.root->kind, NodeKind::dir);
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
}

TEST_P(DiskScannerWalks, SkipsSystemFoldersAndOtherFileSystems) {
    DiskScanner scanner(GetParam());
    for (const QString& path : {QString("/proc"), QString("/sys"), QString("/dev"), QString("/proc/")}) {
        expectRestricted(scan(scanner, path).root, QDir::cleanPath(path).mid(1), QDir::cleanPath(path));
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
    test::makeLink("/dev", dir.path() + "/dev-link");
    ScanResult dev = scan(scanner, dir.path() + "/dev-link");
    EXPECT_EQ(dev.root->kind, NodeKind::dir);
    for (const QString& mount : mounts) EXPECT_FALSE(child(dev.root, mount)) << mount.toStdString();
    EXPECT_GT(scanner.files(), 0);  // device files are counted, with no size
}

// A bind mount of the walked file system shares its device, so only the mount
// table tells it. The fake table names folders in the kernel's form, links
// resolved, while the walk reaches them through links.
TEST_P(DiskScannerWalks, NeverEntersAMountPointOfTheSameFileSystem) {
    QTemporaryDir dir;
    const QString real = QFileInfo(dir.path()).canonicalFilePath();
    const QString root = real + "/home";
    const QString outside = real + "/outside";
    const QString own = test::writeFilled(root + "/.cache/app/own", 300000);
    test::writeFilled(root + "/.cache/bound/other", 3 * 1024 * 1024);  // a bind mount of some other folder
    const QString kept = test::writeFilled(root + "/Documents/bound/kept", 10);  // only named like one
    test::writeFilled(outside + "/shared/mnt/hidden", 400000);
    const QString plain = test::writeFilled(outside + "/shared/plain", 10);
    const QString mounted = test::writeFilled(outside + "/mounted/sub/x", 400000);
    test::makeLink(root, real + "/home-link");
    test::makeLink(outside + "/shared", root + "/to-shared");         // on the root's mount, with a mount inside
    test::makeLink(outside + "/mounted", root + "/to-mount");         // a mount point
    test::makeLink(outside + "/mounted/sub", root + "/into-mount");   // a folder on another mount
    QByteArray table;
    for (const QString& point : {real, root + "/.cache/bound", outside + "/shared/mnt", outside + "/mounted"}) {
        table += "40 27 8:1 /x " + PathCodec::encode(point) + " rw - ext4 /dev/sda1 rw\n";
    }
    MountTable::setSourceForTesting([&] { return std::optional<QByteArray>(table); });
    struct Restore {
        ~Restore() { MountTable::setSourceForTesting({}); }
    } restore;

    DiskScanner scanner(GetParam());
    ScanResult result = scan(scanner, real + "/home-link");
    EXPECT_EQ(childNames(child(result.root, ".cache")), QStringList{"app"});
    EXPECT_TRUE(child(child(result.root, "Documents"), "bound"));
    ScanNodePtr shared = child(result.root, "to-shared");
    ASSERT_TRUE(shared);
    EXPECT_EQ(childNames(shared), QStringList{"…1 small files…"});
    EXPECT_FALSE(child(result.root, "to-mount"));
    EXPECT_FALSE(child(result.root, "into-mount"));
    EXPECT_EQ(scanner.files(), 3);
    EXPECT_EQ(scanner.bytes(), allocated(own) + allocated(kept) + allocated(plain));
    expectConsistent(result.root);

    // The folder the user chose is walked, also when it is a mount point.
    ScanResult chosen = scan(scanner, outside + "/mounted");
    EXPECT_EQ(chosen.root->kind, NodeKind::dir);
    EXPECT_EQ(scanner.files(), 1);
    EXPECT_EQ(scanner.bytes(), allocated(mounted));
}

TEST_P(DiskScannerWalks, ReturnsThroughLinksAfterDescriptorsWereClosed) {
    // Folders outside the walked one link each to the next, so the walk goes
    // 120 levels deep through links, and folders far up close their
    // descriptors on the way down and reopen them on the way back.
    QTemporaryDir dir;
    const QString root = test::makeDir(dir.path() + "/walked");
    constexpr int kFolders = 120;
    for (int i = 0; i < kFolders; ++i) {
        test::writeFilled(QString("%1/chain/d%2/data").arg(dir.path()).arg(i), 1);
        if (i + 1 < kFolders) test::makeLink(QString("../d%1").arg(i + 1), QString("%1/chain/d%2/next").arg(dir.path()).arg(i));
    }
    test::writeFilled(root + "/own", 1);
    test::makeLink(dir.path() + "/chain/d0", root + "/start");
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
    ASSERT_EQ(cafe->children.size(), 2u);

    // Every path names the real bytes, so the file found is the file acted on.
    EXPECT_EQ(PathCodec::encode(cafe->path()), folder);
    const ScanNodePtr binary = cafe->children[0];  // the large file, then the small-files node
    EXPECT_EQ(PathCodec::encode(binary->path()), folder + "/\xff\xfe.bin");
    ASSERT_EQ(result.insights.largest.size(), 1);
    const FileRecord& largest = result.insights.largest[0];
    EXPECT_EQ(PathCodec::encode(largest.path), folder + "/\xff\xfe.bin");
    EXPECT_EQ(largest.fileExtension, "bin");
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

TEST_P(DiskScannerWalks, DeepTreesOfLongNamesTakeFewDescriptorsAndLittleMemory) {
    // 5,000 nested folders of 255-byte names: 1.3 million characters of path
    // at the bottom, far beyond PATH_MAX. Full paths per folder would take
    // gigabytes; a descriptor per level would pass the limit of 256 set here.
    QTemporaryDir dir;
    const QString root = dir.path();
    constexpr int kDepth = 5000;
    const std::string name(255, 'n');
    makeChain(root, kDepth, name.c_str());

    const int threads = GetParam();
    const qint64 used = peakMemoryOf([&] {
        rlimit tight{};
        getrlimit(RLIMIT_NOFILE, &tight);
        tight.rlim_cur = 256;
        setrlimit(RLIMIT_NOFILE, &tight);
        const int before = openDescriptors();
        int most = before;
        qint64 longest = 0;
        DiskScanner scanner(threads);
        ScanResult result = scanner.scan(root, [&](const ScanProgress& progress) {
            most = std::max(most, openDescriptors());
            longest = std::max<qint64>(longest, progress.currentPath.size());
        });
        const auto [node, depth] = deepest(result);
        // The deepest folder still knows its whole path.
        const QString path = node->path();
        const bool ok = depth == kDepth && scanner.files() == 1 && node->children.size() == 1 &&
                        node->children[0]->isAggregate && result.root->size == node->size &&
                        path.size() == root.size() + kDepth * 256 && path.endsWith(QString::fromStdString("/" + name)) &&
                        longest <= path.size() + 7 && most <= before + 70;
        result = {};  // the tree is freed without deep recursion too
        if (!ok || openDescriptors() != before) {
            std::fprintf(stderr, "depth %d, files %lld, descriptors %d then %d of %d\n", depth,
                         static_cast<long long>(scanner.files()), most, openDescriptors(), before);
        }
        return ok && openDescriptors() == before;
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
    test::writeFilled(bin + "/3F2504E0-4F89-11D3-9A0C-0305E82C3301-movie.mov", 3 * 1024 * 1024);
    test::writeFilled(bin + "/notes.txt", 1000);
    test::writeFilled(root + "/Videos/film.mov", 2 * 1024 * 1024 + 4096);
    test::writeFilled(root + "/Videos/list.txt", 500);
    // Scanned as a whole, or from inside it: nothing in it reaches the insights.
    DiskScanner scanner(GetParam());
    ScanResult result = scan(scanner, root);
    EXPECT_EQ(scanner.files(), 4);
    ASSERT_EQ(result.insights.largest.size(), 1);
    EXPECT_EQ(result.insights.largest[0].name, "film.mov");
    EXPECT_EQ(result.insights.fileCount, 2);
    EXPECT_EQ(result.insights.totalFileBytes, allocated(root + "/Videos/film.mov") + allocated(root + "/Videos/list.txt"));
    ScanNodePtr support = child(child(child(result.root, ".local"), "share"), "Tarnwick");
    ASSERT_TRUE(support);  // still on the map, with its size
    EXPECT_GE(support->size, 3 * 1024 * 1024);

    ScanResult inside = scan(scanner, bin);
    EXPECT_EQ(scanner.files(), 2);
    EXPECT_EQ(inside.insights.fileCount, 0);
    EXPECT_TRUE(inside.insights.largest.isEmpty());
}
