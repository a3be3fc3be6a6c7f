// The parallel walk against the serial one, which is the reference: the same
// tree and the same insights on generated trees, progress that never goes
// back, and a consistent partial tree when cancelled from another thread.
#include "services/scan/DiskScanner.h"

#include "TestSupport.h"
#include "services/scan/WalkTestSupport.h"
#include "platform/PathCodec.h"
#include "platform/ToolRunner.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>
#include <vector>

using namespace tarnwick;
using test::expectConsistent;
using test::withoutPermissionOverride;

namespace {

constexpr qint64 kMiB = 1024 * 1024;

QByteArray bytesOf(const QString& path) { return PathCodec::encode(path); }

// A file taking `size` bytes on disk: written when small, allocated when large.
void makeFile(const QByteArray& path, qint64 size, std::optional<qint64> mtimeSecs = std::nullopt) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path.constData();
    if (size > 65536) {
        if (::posix_fallocate(fd, 0, size) != 0) {
            const QByteArray data(static_cast<qsizetype>(size), 'x');
            ASSERT_EQ(::write(fd, data.constData(), static_cast<size_t>(size)), size);
        }
    } else if (size > 0) {
        const QByteArray data(static_cast<qsizetype>(size), 'x');
        ASSERT_EQ(::write(fd, data.constData(), static_cast<size_t>(size)), size);
    }
    if (mtimeSecs) {
        const timespec times[2] = {{*mtimeSecs, 0}, {*mtimeSecs, 0}};
        ::futimens(fd, times);
    }
    ::close(fd);
}

void makeFolder(const QByteArray& path) { ASSERT_EQ(::mkdir(path.constData(), 0755), 0) << path.constData(); }

void makeLink(const QByteArray& target, const QByteArray& link) {
    ASSERT_EQ(::symlink(target.constData(), link.constData()), 0) << link.constData();
}

// A random tree with what a walk has to get right: deep and wide folders (one
// wide enough to be measured in several chunks), small, large and empty
// files, files of equal size and date (ties in the insights), hard links,
// links back up the tree, above it and out of it, names that are not UTF-8,
// unreadable folders and the program's support folder.
struct RandomTree {
    QByteArray root;
    std::vector<QByteArray> locked;

    RandomTree(const QString& rootPath, unsigned seed, int folderCount, int fileCount, int tiedLarge,
               const QString& supportFolder) {
        root = bytesOf(rootPath);
        std::mt19937 random(seed);
        auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
        std::vector<QByteArray> folders{root};
        makeFolder(root);
        for (int i = 0; i < folderCount; ++i) {
            const QByteArray& parent = folders[pick(folders.size())];
            QByteArray name = "d" + QByteArray::number(i);
            if (i % 17 == 5) name += "\xff\xfe";  // not UTF-8
            folders.push_back(parent + "/" + name);
            makeFolder(folders.back());
        }
        const QByteArray wide = folders[1 % folders.size()] + "/wide";
        makeFolder(wide);
        for (int i = 0; i < 2600; ++i) {
            if (i % 97 == 0) {
                makeFolder(wide + "/sub" + QByteArray::number(i));
                makeFile(wide + "/sub" + QByteArray::number(i) + "/inner", 300000);
            } else {
                makeFile(wide + "/w" + QByteArray::number(i) + (i % 3 ? ".txt" : ".jpg"), i % 5 == 0 ? 0 : 100 + i);
            }
        }
        static const char* extensions[] = {".txt", ".jpg", ".c", ".bin", "", ".MOV", ".tar.gz"};
        const qint64 old = 1'500'000'000;  // 2017
        for (int i = 0; i < fileCount; ++i) {
            const QByteArray folder = folders[pick(folders.size())];
            const QByteArray path = folder + "/f" + QByteArray::number(i) + extensions[pick(7)];
            const int kind = static_cast<int>(pick(20));
            qint64 size = kind == 0 ? 0 : kind < 15 ? 1 + static_cast<qint64>(pick(30000)) : kind < 18 ? 262144 : 600000;
            makeFile(path, size, kind % 2 ? std::optional<qint64>(old + static_cast<qint64>(pick(3)) * 86400) : std::nullopt);
            if (i % 41 == 0) { EXPECT_EQ(::link(path.constData(), (path + "-again").constData()), 0); }  // same folder
        }
        // Many files of one size and date: which of them make a full list
        // depends only on where they stand in the walk.
        for (int i = 0; i < tiedLarge; ++i) {
            makeFile(folders[pick(folders.size())] + "/tied" + QByteArray::number(i) + ".iso", 2 * kMiB, old);
        }
        makeLink(".", folders.back() + "/to-self");
        makeLink(root, folders[folders.size() / 2] + "/to-root");
        makeLink("/", folders[folders.size() / 3] + "/to-slash");
        makeLink(root + "/..", folders[pick(folders.size())] + "/to-above");
        makeLink(root + "/does-not-exist", root + "/dangling");
        makeLink(folders[2 % folders.size()], root + "/to-inside");
        const QByteArray outside = root + "-outside";
        makeFolder(outside);
        makeFolder(outside + "/deeper");
        makeFile(outside + "/deeper/far", 400000);
        makeFile(outside + "/near", 10);
        makeLink(outside, folders[pick(folders.size())] + "/to-outside");
        for (int i = 0; i < 3; ++i) {
            locked.push_back(folders[1 + pick(folders.size() - 1)] + "/locked" + QByteArray::number(i));
            makeFolder(locked.back());
            makeFile(locked.back() + "/hidden", 5000);
        }
        // The program's own folder: walked and shown, left out of the insights.
        const QByteArray support = bytesOf(supportFolder);
        EXPECT_EQ(support.left(root.size() + 1), root + "/");
        QDir().mkpath(supportFolder + "/SafeBin");
        makeFile(support + "/SafeBin/held.iso", 3 * kMiB, old);
        makeFile(support + "/SafeBin/small.txt", 1000);
        for (const QByteArray& folder : locked) ::chmod(folder.constData(), 0);
    }

    ~RandomTree() {
        for (const QByteArray& folder : locked) ::chmod(folder.constData(), 0755);
        ToolRunner::run("rm", {"-rf", PathCodec::decode(root), PathCodec::decode(root + "-outside")});
    }
};

// The insights without the records' ids (fresh in every walk).
std::string insightsDifference(const ScanInsights& a, const ScanInsights& b) {
    auto records = [](const QList<FileRecord>& list) {
        QStringList out;
        for (const FileRecord& r : list) {
            out << QStringLiteral("%1|%2|%3|%4").arg(r.path).arg(r.size).arg(r.modified.toMSecsSinceEpoch()).arg(r.fileExtension);
        }
        return out;
    };
    if (records(a.largest) != records(b.largest)) return "largest differ";
    if (records(a.oldest) != records(b.oldest)) return "oldest differ";
    if (a.types != b.types) return "types differ";
    if (a.fileCount != b.fileCount || a.totalFileBytes != b.totalFileBytes) return "counts differ";
    return {};
}

class ParallelWalkAgainstSerial : public ::testing::Test {
protected:
    test::FakeEnvironment env;

    // The tree's root inside the scratch folder, with the support folder in it.
    QString prepareRoot() {
        const QString root = env.path("tree");
        env.environment().applicationSupport = root + "/home/.local/share";
        env.apply();
        return root;
    }
};

}  // namespace

TEST_F(ParallelWalkAgainstSerial, BuildsTheSerialWalksTreeAndInsights) {
    struct Case {
        unsigned seed;
        int folders;
        int files;
        int tiedLarge;
    };
    // The last case fills both insight lists past their caps with ties.
    for (const Case& c : {Case{1, 40, 600, 0}, Case{2, 300, 2500, 0}, Case{3, 120, 800, 130}}) {
        SCOPED_TRACE(c.seed);
        const QString root = prepareRoot();
        RandomTree tree(root, c.seed, c.folders, c.files, c.tiedLarge, env.environment().applicationSupport + "/Tarnwick");
        ScanResult serial;
        std::vector<ScanResult> parallel;
        qint64 serialFiles = 0;
        withoutPermissionOverride([&] {
            DiskScanner reference(1);
            serial = reference.scan(root, {});
            serialFiles = reference.files();
            for (int threads : {2, 8}) {
                DiskScanner scanner(threads);
                parallel.push_back(scanner.scan(root, {}));
                EXPECT_EQ(scanner.files(), serialFiles);
                EXPECT_EQ(scanner.bytes(), serial.root->size);
            }
        });
        // The tree is what it should be, not merely the same twice.
        for (const ScanNodePtr& node : serial.root->children) {
            EXPECT_NE(node->name, "to-slash");
            EXPECT_NE(node->name, "to-root");
            EXPECT_NE(node->name, "to-inside");  // counted at its own place
        }
        if (c.tiedLarge > 0) {
            EXPECT_EQ(serial.insights.largest.size(), 120);
            EXPECT_EQ(serial.insights.oldest.size(), 120);
        }
        for (const FileRecord& record : serial.insights.largest) EXPECT_FALSE(record.path.contains("SafeBin"));
        for (const FileRecord& record : serial.insights.oldest) EXPECT_FALSE(record.path.contains("SafeBin"));
        expectConsistent(serial.root);

        for (const ScanResult& result : parallel) {
            EXPECT_EQ(test::treeDifference(*serial.root, *result.root, false), "");
            EXPECT_EQ(insightsDifference(serial.insights, result.insights), "");
        }
    }
}

TEST_F(ParallelWalkAgainstSerial, ProgressNeverGoesBackAndACancelFromAnotherThreadLeavesAConsistentPartialTree) {
    const QString root = prepareRoot();
    RandomTree tree(root, 11, 400, 4000, 0, env.environment().applicationSupport + "/Tarnwick");
    // Uncancelled, progress is reported on the calling thread, never goes
    // back, and ends with the totals.
    DiskScanner whole(4);
    std::vector<ScanProgress> reports;
    const std::thread::id caller = std::this_thread::get_id();
    bool onCaller = true;
    const ScanResult full = whole.scan(root, [&](const ScanProgress& progress) {
        onCaller = onCaller && std::this_thread::get_id() == caller;
        reports.push_back(progress);
    });
    ASSERT_FALSE(reports.empty());
    EXPECT_TRUE(onCaller);
    for (size_t i = 1; i < reports.size(); ++i) {
        EXPECT_GE(reports[i].scannedFiles, reports[i - 1].scannedFiles);
        EXPECT_GE(reports[i].scannedBytes, reports[i - 1].scannedBytes);
        EXPECT_TRUE(reports[i].currentPath.startsWith(root)) << reports[i].currentPath.toStdString();
    }
    EXPECT_EQ(reports.back().scannedFiles, whole.files());
    EXPECT_EQ(reports.back().scannedBytes, whole.bytes());

    for (const auto& [threads, delayUs] : {std::pair{1, 0}, {1, 200}, {1, 1000}, {4, 0}, {4, 100}, {4, 500},
                                           {4, 2000}, {4, 10000}}) {
        SCOPED_TRACE(testing::Message() << threads << " threads, " << delayUs << " us");
        DiskScanner scanner(threads);
        std::thread canceller([&] {
            std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
            scanner.cancel();
        });
        ScanResult partial = scanner.scan(root, {});
        canceller.join();
        ASSERT_TRUE(partial.root);
        EXPECT_EQ(partial.root->path(), root);
        EXPECT_EQ(partial.root->size, scanner.bytes());  // every counted file is in the tree
        EXPECT_LE(scanner.files(), whole.files());
        EXPECT_LE(partial.insights.fileCount, scanner.files());
        expectConsistent(partial.root);
    }
    // A cancel at the first report stops every thread well before the end.
    DiskScanner stopped(4);
    std::vector<qint64> seen;
    ScanResult early = stopped.scan(root, [&](const ScanProgress& progress) {
        seen.push_back(progress.scannedFiles);
        stopped.cancel();
    });
    ASSERT_FALSE(seen.empty());
    EXPECT_LT(stopped.files(), whole.files());
    EXPECT_EQ(early.root->size, stopped.bytes());
    // And the scanner walks in full again afterwards.
    EXPECT_EQ(test::treeDifference(*full.root, *stopped.scan(root, {}).root, false), "");
}
