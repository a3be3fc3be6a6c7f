#include "services/scan/ScanCache.h"

#include "TestSupport.h"
#include "platform/Lzfse.h"
#include "services/scan/CachedScanJson.h"
#include "services/scan/WalkTestSupport.h"
#include "support/AppIdentity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <limits>
#include <mutex>

using namespace tarnwick;

namespace {

const QDateTime kNow = QDateTime(QDate(2026, 3, 15), QTime(12, 0, 0, 250), Qt::UTC);
const QDateTime kEarlier = QDateTime(QDate(2025, 11, 2), QTime(8, 30, 0, 500), Qt::UTC);
const QString kEllipsis = QString(QChar(0x2026));

ScanNodePtr node(const QString& path, NodeKind kind, qint64 size, std::vector<ScanNodePtr> children = {}) {
    return ScanNode::create(QUuid::createUuid(), path.section('/', -1), path, kind, size, std::move(children));
}

// A folder of the given size (not re-summed) holding files of the given sizes, in that order.
ScanNodePtr folderOfFiles(const QString& path, qint64 size, const std::vector<qint64>& sizes) {
    std::vector<ScanNodePtr> children;
    for (size_t i = 0; i < sizes.size(); ++i) {
        children.push_back(node(path + "/f" + QString::number(i), NodeKind::file, sizes[i]));
    }
    return node(path, NodeKind::dir, size, std::move(children));
}

std::vector<qint64> repeated(qint64 size, int count) { return std::vector<qint64>(count, size); }
std::vector<qint64> joined(std::vector<qint64> a, const std::vector<qint64>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void expectSameTree(const ScanNode& a, const ScanNode& b) { EXPECT_EQ(test::treeDifference(a, b), ""); }

ScanInsights sampleInsights() {
    ScanInsights insights;
    insights.largest.append(FileRecord{QUuid::createUuid(), "movie.mov", "/Users/me/movie.mov", 5000000000,
                                       kEarlier, "video"});
    insights.oldest.append(FileRecord{QUuid::createUuid(), "old.pdf", "/Users/me/old.pdf", 600000,
                                      FileRecord::distantPast(), "documents"});
    insights.types.append(TypeBucket{"video", 5000000000, 1});
    insights.types.append(TypeBucket{"documents", 600000, 1});
    insights.fileCount = 2;
    insights.totalFileBytes = 5000600000;
    return insights;
}

// A walked home folder with every kind of node and every kind of aggregate.
ScanNodePtr sampleTree() {
    const QString home = "/Users/me";
    auto smallFiles = ScanNode::create(QUuid::createUuid(), ScanNode::smallFilesName(12), home + "/Documents",
                                       NodeKind::file, 90000);
    smallFiles->isAggregate = true;
    auto group = ScanNode::create(QUuid::createUuid(), ScanNode::kSmallerObjectsName.toString(), home + "/Documents",
                                  NodeKind::smallGroup, 800,
                                  {node(home + "/Documents/a.txt", NodeKind::file, 500),
                                   node(home + "/Documents/b", NodeKind::dir, 300)});
    group->isAggregate = true;
    auto documents = node(home + "/Documents", NodeKind::dir, 5000090800,
                          {node(home + "/Documents/movie.mov", NodeKind::file, 5000000000), smallFiles, group});
    auto hidden = ScanNode::create(QUuid::createUuid(), "(hidden / restricted space)", home + "/.hidden",
                                   NodeKind::restricted, 60000000);
    hidden->isAggregate = true;
    // A real file whose name merely looks like a small-files node.
    auto lookalike = node(home + "/" + ScanNode::smallFilesName(3), NodeKind::file, 300000);
    auto root = node(home, NodeKind::dir, 5060390800,
                     {documents, hidden, lookalike, node(home + "/Private", NodeKind::restricted, 0),
                      ScanNode::create(QUuid::createUuid(), "Preboot", "/System/Volumes/Preboot", NodeKind::virtual_, 0)});
    root->name = "me";
    return root;
}

long peakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

QByteArray compressed(const QByteArray& json) {
    const auto bytes = Lzfse::compress(reinterpret_cast<const uint8_t*>(json.constData()), json.size());
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

QByteArray documentFor(const ScanNodePtr& root, const QDateTime& at, const QString& rootPath = "/Users/me") {
    CachedScan scan{rootPath, "me", at, root, sampleInsights()};
    return *CachedScanJson::encode(scan);
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Collects what the cache writes to the log.
struct LogCapture {
    static inline std::mutex mutex;
    static inline QStringList lines;
    static void handler(QtMsgType, const QMessageLogContext& context, const QString& message) {
        std::lock_guard lock(mutex);
        lines << QString::fromLatin1(context.category) + ": " + message;
    }
    LogCapture() {
        lines.clear();
        previous = qInstallMessageHandler(handler);
    }
    ~LogCapture() { qInstallMessageHandler(previous); }
    QtMessageHandler previous;
};

class ScanCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        env.setNow(kNow);
        support = AppIdentity::supportDirectory();
        legacy = AppIdentity::legacySupportDirectory();
    }
    QString inSupport(const char* name) const { return support + "/" + name; }
    QString inLegacy(const char* name) const { return legacy + "/" + name; }

    test::FakeEnvironment env;
    QString support;
    QString legacy;
};

}  // namespace

TEST(ScanCachePrune, ThresholdIsTheLargerOfTheFractionAndTheFloor) {
    const double f = ScanCache::kMinFraction;
    const qint64 floor = ScanCache::kAbsoluteFloor;
    // 1,000,000,000 bytes: 1,500,000. The 21st child at exactly the threshold
    // stays; the ones below fold into one node whose size is their sum.
    auto big = folderOfFiles("/v/big", 1000000000, joined(repeated(2000000, 20), {1500000, 1499999, 1000}));
    ScanNodePtr pruned = ScanCache::prune(*big, f, floor);
    ASSERT_EQ(pruned->children.size(), 22u);
    const ScanNodePtr& fold = pruned->children[20];
    EXPECT_EQ(fold->name, kEllipsis + "2 smaller" + kEllipsis);
    EXPECT_EQ(fold->size, 1500999);
    EXPECT_EQ(fold->path(), "/v/big");
    EXPECT_TRUE(fold->isAggregate);
    EXPECT_FALSE(fold->isCollectable());  // collecting it would take the folder
    EXPECT_EQ(pruned->size, 1000000000);  // not re-summed
    EXPECT_EQ(big->children.size(), 23u);  // the tree given is untouched

    // 100,000,000 bytes: the floor, 750,000; children above it all stay.
    auto floored = folderOfFiles("/v/floor", 100000000, joined(repeated(1000000, 20), {750000, 749999}));
    pruned = ScanCache::prune(*floored, f, floor);
    ASSERT_EQ(pruned->children.size(), 22u);
    EXPECT_EQ(pruned->children[20]->size, 750000);
    EXPECT_EQ(pruned->children[21]->name, kEllipsis + "1 smaller" + kEllipsis);
    auto large = folderOfFiles("/v/large", 100000000, joined(repeated(3000000, 20), repeated(1000000, 5)));
    EXPECT_EQ(ScanCache::prune(*large, f, floor)->children.size(), 25u);
}

TEST(ScanCachePrune, OnlyLaterSmallFilesAndGroupsFold) {
    const double f = ScanCache::kMinFraction;
    const qint64 floor = ScanCache::kAbsoluteFloor;

    // The 20 largest stay whatever their size, even when listed late; later
    // children of 0 bytes leave no fold node.
    for (const auto& [sizes, fold] :
         {std::pair{joined(repeated(400, 20), {100, 90, 80, 70, 60}), QString("5 smaller")},
          {joined({5}, repeated(400, 20)), QString("1 smaller")}, {joined(repeated(400, 20), repeated(0, 5)), QString()}}) {
        ScanNodePtr pruned = ScanCache::prune(*folderOfFiles("/v/t", 10000, sizes), f, floor);
        ASSERT_EQ(pruned->children.size(), fold.isEmpty() ? 20u : 21u);
        EXPECT_EQ(pruned->children[0]->size, 400);
        if (!fold.isEmpty()) {
            EXPECT_EQ(pruned->children[20]->name, kEllipsis + fold + kEllipsis);
        }
    }

    // Folders, restricted and virtual nodes at any position stay, even of 0
    // bytes; 30 tiny subfolders all stay and are pruned in turn.
    std::vector<ScanNodePtr> children;
    for (int i = 0; i < 30; ++i) {
        children.push_back(folderOfFiles("/v/s/d" + QString::number(i), 2500, repeated(100, 25)));
    }
    children.push_back(node("/v/s/locked", NodeKind::restricted, 0));
    children.push_back(node("/v/s/role", NodeKind::virtual_, 0));
    ScanNodePtr pruned = ScanCache::prune(*node("/v/s", NodeKind::dir, 75000, children), f, floor);
    ASSERT_EQ(pruned->children.size(), 32u);
    EXPECT_EQ(pruned->children[30]->kind, NodeKind::restricted);
    EXPECT_EQ(pruned->children[31]->kind, NodeKind::virtual_);
    for (int i = 0; i < 30; ++i) {
        ASSERT_EQ(pruned->children[i]->children.size(), 21u);
        EXPECT_EQ(pruned->children[i]->children[0]->size, 500);
    }

    // A merged group among the first 20 keeps its place and its children are
    // pruned by its own size; a later group below the threshold folds like a file.
    auto group = folderOfFiles("/v/g", 5000, joined(repeated(150, 20), repeated(100, 20)));
    group->kind = NodeKind::smallGroup;
    group->isAggregate = true;
    auto laterGroup = folderOfFiles("/v/g2", 10, repeated(5, 2));
    laterGroup->kind = NodeKind::smallGroup;
    std::vector<ScanNodePtr> withGroup{node("/v/m/big", NodeKind::file, 900000), group};
    for (int i = 0; i < 18; ++i) withGroup.push_back(node("/v/m/x" + QString::number(i), NodeKind::file, 100));
    withGroup.push_back(laterGroup);
    pruned = ScanCache::prune(*node("/v/m", NodeKind::dir, 1000000, withGroup), f, floor);
    ASSERT_EQ(pruned->children.size(), 21u);
    EXPECT_EQ(pruned->children[1]->id, group->id);
    ASSERT_EQ(pruned->children[1]->children.size(), 21u);
    EXPECT_EQ(pruned->children[1]->children[0]->size, 2000);  // the fold node, largest here
    EXPECT_EQ(pruned->children[1]->children[0]->path(), "/v/g");
    EXPECT_EQ(pruned->children[20]->name, kEllipsis + "1 smaller" + kEllipsis);
    EXPECT_EQ(pruned->children[20]->size, 10);

    // A fold node as large as another child stands after it.
    std::vector<ScanNodePtr> tie;
    for (int i = 0; i < 20; ++i) tie.push_back(node("/v/e/x" + QString::number(i), NodeKind::file, 5000));
    tie.push_back(node("/v/e/sub", NodeKind::dir, 1000));
    tie.push_back(node("/v/e/a", NodeKind::file, 500));
    tie.push_back(node("/v/e/b", NodeKind::file, 500));
    pruned = ScanCache::prune(*node("/v/e", NodeKind::dir, 102000, tie), f, floor);
    ASSERT_EQ(pruned->children.size(), 22u);
    EXPECT_EQ(pruned->children[20]->name, "sub");
    EXPECT_EQ(pruned->children[21]->name, kEllipsis + "2 smaller" + kEllipsis);

    // A root that is not a folder is copied as a leaf.
    auto leaf = node("/v/file", NodeKind::file, 7, {node("/v/file/odd", NodeKind::file, 7)});
    EXPECT_TRUE(ScanCache::prune(*leaf, f, floor)->children.empty());
}

TEST_F(ScanCacheTest, RoundTripsTreeInsightsAndAggregates) {
    ScanNodePtr tree = sampleTree();
    const ScanInsights insights = sampleInsights();
    QFile::copy(test::dataPath("lzfse/tiny.json"), inSupport(ScanCache::kOlderFileName));
    test::writeFile(inSupport(ScanCache::kOlderCompressedFileName), "gz");

    ScanCache::save("/Users/me", "Macintosh HD", tree, insights);
    const QByteArray file = readAll(inSupport(ScanCache::kFileName));
    EXPECT_TRUE(file.startsWith("bvx"));  // compressed
    EXPECT_FALSE(QFile::exists(inSupport(ScanCache::kOlderFileName)));
    EXPECT_FALSE(QFile::exists(inSupport(ScanCache::kOlderCompressedFileName)));
    EXPECT_FALSE(QDir(legacy).exists());

    std::optional<CachedScan> loaded = ScanCache::load();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->rootPath, "/Users/me");
    EXPECT_EQ(loaded->rootName, "Macintosh HD");
    EXPECT_EQ(loaded->scannedAt, kNow);
    EXPECT_EQ(loaded->insights, insights);
    // Aggregates are recognised again; the look-alike real file is not one.
    expectSameTree(*tree, *loaded->root);
    // Loading changes nothing on disk.
    EXPECT_EQ(readAll(inSupport(ScanCache::kFileName)), file);
}

TEST_F(ScanCacheTest, AChainOfLongNamesIsKeptAsFarAsItsPathsFit) {
    // 5,000 folders of 255-byte names, one in the other, 1 MB in the deepest:
    // every path would be written at every level below it.
    const QString longName(255, QLatin1Char('n'));
    ScanNodePtr root = ScanNode::create(QUuid::createUuid(), "home", "/home", NodeKind::dir, 0);
    std::vector<ScanNode*> chain{root.get()};
    for (int i = 0; i < 5000; ++i) {
        ScanNodePtr child = ScanNode::createEntry(QUuid::createUuid(), longName, NodeKind::dir, 0);
        ScanNode* next = child.get();
        chain.back()->appendChild(std::move(child));
        chain.push_back(next);
    }
    chain.back()->appendChild(ScanNode::createEntry(QUuid::createUuid(), "data", NodeKind::file, 1000000));
    root->finalize(0.008);
    root->appendChild(ScanNode::createEntry(QUuid::createUuid(), "beside", NodeKind::file, 2000000));
    {
        LogCapture log;
        ScanCache::save("/home", "home", root, ScanInsights::empty());
        EXPECT_TRUE(LogCapture::lines.isEmpty()) << LogCapture::lines.join('\n').toStdString();
    }
    std::optional<CachedScan> loaded = ScanCache::load();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->root->size, 3000000);
    ASSERT_EQ(loaded->root->children.size(), 2u);
    EXPECT_EQ(loaded->root->children[0]->name, "beside");
    // Down the chain while the paths fit, then one node for the rest.
    const ScanNode* at = loaded->root->children[1].get();
    int depth = 1;
    while (at->kind == NodeKind::dir) {
        EXPECT_EQ(at->size, 1000000);
        EXPECT_LE(at->path().size(), ScanCache::kLongestPath);
        ASSERT_EQ(at->children.size(), 1u);
        at = at->children[0].get();
        ++depth;
    }
    EXPECT_EQ(depth, int((ScanCache::kLongestPath - 5) / 256) + 1);
    EXPECT_EQ(at->name, kEllipsis + "1 nested too deep" + kEllipsis);
    EXPECT_EQ(at->size, 1000000);
    EXPECT_EQ(at->path(), at->parent()->path());
    EXPECT_TRUE(at->isAggregate && !at->isCollectable());
}

TEST(ScanCacheFit, ATreeTooLargeToReadBackIsKeptDownToTheLevelThatFits) {
    // Three levels of ten folders, each holding ten files: 1 + 10 + 100 + 1,000 nodes.
    std::vector<ScanNodePtr> folders;
    for (int f = 0; f < 10; ++f) {
        std::vector<ScanNodePtr> subfolders;
        for (int g = 0; g < 10; ++g) {
            const QString path = QString("/r/%1/%2").arg(f).arg(g);
            subfolders.push_back(folderOfFiles(path, 10 * 100, repeated(100, 10)));
        }
        folders.push_back(node(QString("/r/%1").arg(f), NodeKind::dir, 10 * 1000, std::move(subfolders)));
    }
    ScanNodePtr root = node("/r", NodeKind::dir, 100000, std::move(folders));
    auto count = [](const ScanNode& top) {
        qint64 nodes = 0;
        std::vector<const ScanNode*> pending{&top};
        while (!pending.empty()) {
            const ScanNode* n = pending.back();
            pending.pop_back();
            ++nodes;
            for (const ScanNodePtr& child : n->children) pending.push_back(child.get());
        }
        return nodes;
    };
    ScanCache::fitWithin(*root, 2000, qint64(1) << 30, 100);
    EXPECT_EQ(count(*root), 1111) << "all of it fits";

    // 500 nodes: the subfolders keep their sizes, each with one node for its files.
    ScanCache::fitWithin(*root, 500, qint64(1) << 30, 100);
    EXPECT_EQ(count(*root), 1 + 10 + 100 + 100);
    const ScanNode& subfolder = *root->children[3]->children[7];
    EXPECT_EQ(subfolder.size, 1000);
    ASSERT_EQ(subfolder.children.size(), 1u);
    EXPECT_EQ(subfolder.children[0]->name, kEllipsis + "10 nested too deep" + kEllipsis);
    EXPECT_EQ(subfolder.children[0]->size, 1000);
    EXPECT_EQ(subfolder.children[0]->path(), "/r/3/7");

    // One level deep at most: the root holds one node for all.
    ScanCache::fitWithin(*root, 500, qint64(1) << 30, 1);
    ASSERT_EQ(count(*root), 2);
    EXPECT_EQ(root->size, 100000);
    EXPECT_EQ(root->children[0]->name, kEllipsis + "10 nested too deep" + kEllipsis);
    EXPECT_EQ(root->children[0]->size, 100000);
}

TEST_F(ScanCacheTest, ACacheWrittenByTheEarlierReleaseLoads) {
    QFile::copy(QStringLiteral(TARNWICK_TEST_DATA_DIR) + "/scan-cache/last-scan.taldo", inSupport(ScanCache::kFileName));
    std::optional<CachedScan> loaded = ScanCache::load();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->rootPath, "/home/ana");
    EXPECT_EQ(loaded->scannedAt, QDateTime(QDate(2026, 3, 15), QTime(12, 0, 0, 250), Qt::UTC));
    const ScanNode& root = *loaded->root;
    EXPECT_EQ(root.id, QUuid("{6a1f0c2e-0000-4000-8000-000000000001}"));
    EXPECT_EQ(root.size, 5003090000);
    ASSERT_EQ(root.children.size(), 3u);
    const ScanNode& documents = *root.children[0];
    ASSERT_EQ(documents.children.size(), 2u);
    EXPECT_EQ(documents.children[0]->path(), "/home/ana/Documents/film.mkv");
    EXPECT_TRUE(documents.children[1]->isAggregate);
    EXPECT_EQ(root.children[1]->children[0]->path(), QString::fromUtf8("/home/ana/Musik \u00e4\u00f6/song.ogg"));
    EXPECT_EQ(root.children[2]->kind, NodeKind::restricted);
    ASSERT_EQ(loaded->insights.largest.size(), 1);
    EXPECT_EQ(loaded->insights.largest[0].path, "/home/ana/Documents/film.mkv");
    EXPECT_EQ(loaded->insights.fileCount, 14);
}

TEST_F(ScanCacheTest, OlderJsonCacheIsConvertedOnce) {
    ScanNodePtr tree = sampleTree();
    test::writeFile(inSupport(ScanCache::kFileName), "not lzfse at all");
    test::writeFile(inSupport(ScanCache::kOlderFileName), documentFor(tree, kEarlier));
    test::writeFile(inSupport(ScanCache::kOlderCompressedFileName), "gz");

    std::optional<CachedScan> loaded = ScanCache::load();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->scannedAt, kEarlier);  // the older file's own date
    expectSameTree(*tree, *loaded->root);
    EXPECT_FALSE(QFile::exists(inSupport(ScanCache::kOlderFileName)));
    EXPECT_FALSE(QFile::exists(inSupport(ScanCache::kOlderCompressedFileName)));

    // The compressed file now serves, dated at the conversion.
    loaded = ScanCache::load();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->scannedAt, kNow);
}

TEST_F(ScanCacheTest, EarlierFolderIsReadButNeverChanged) {
    ScanNodePtr tree = sampleTree();
    const QByteArray document = documentFor(tree, kEarlier);

    // Its compressed file serves when ours is missing or unreadable; nothing is written.
    test::writeFile(inLegacy(ScanCache::kFileName), compressed(document));
    std::optional<CachedScan> loaded = ScanCache::load();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->scannedAt, kEarlier);
    expectSameTree(*tree, *loaded->root);
    EXPECT_TRUE(QDir(support).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    test::makeDir(inSupport(ScanCache::kFileName));
    EXPECT_TRUE(ScanCache::load());
    QDir(inSupport(ScanCache::kFileName)).removeRecursively();

    // Its older JSON file is converted into ours and stays where it is,
    // after ours was found undecodable.
    QFile::remove(inLegacy(ScanCache::kFileName));
    test::writeFile(inLegacy(ScanCache::kOlderFileName), document);
    test::writeFile(inSupport(ScanCache::kOlderFileName), "{\"rootPath\":");
    loaded = ScanCache::load();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->scannedAt, kEarlier);
    EXPECT_TRUE(QFile::exists(inLegacy(ScanCache::kOlderFileName)));
    EXPECT_FALSE(QFile::exists(inSupport(ScanCache::kOlderFileName)));
    loaded = ScanCache::load();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->scannedAt, kNow);
}

TEST_F(ScanCacheTest, NothingUsableLoadsAsNoCache) {
    // No files at all: nothing, and nothing created.
    EXPECT_FALSE(ScanCache::load());
    EXPECT_TRUE(QDir(support).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    EXPECT_FALSE(QDir(legacy).exists());

    // Undecodable older files: ours are removed, the earlier folder's stay.
    test::writeFile(inSupport(ScanCache::kOlderFileName), "[]");
    test::writeFile(inSupport(ScanCache::kOlderCompressedFileName), "gz");
    test::writeFile(inLegacy(ScanCache::kOlderFileName), "{");
    test::writeFile(inLegacy(ScanCache::kOlderCompressedFileName), "gz");
    EXPECT_FALSE(ScanCache::load());
    EXPECT_FALSE(QFile::exists(inSupport(ScanCache::kOlderFileName)));
    EXPECT_FALSE(QFile::exists(inSupport(ScanCache::kOlderCompressedFileName)));
    EXPECT_TRUE(QFile::exists(inLegacy(ScanCache::kOlderFileName)));
    EXPECT_TRUE(QFile::exists(inLegacy(ScanCache::kOlderCompressedFileName)));
}

TEST_F(ScanCacheTest, CorruptOrHostileFilesLoadAsNoCache) {
    ScanCache::save("/Users/me", "me", sampleTree(), sampleInsights());
    const QByteArray good = readAll(inSupport(ScanCache::kFileName));
    ASSERT_TRUE(ScanCache::load());
    const QByteArray document = documentFor(sampleTree(), kEarlier);

    auto loadsNothing = [this](const QByteArray& contents) {
        test::writeFile(inSupport(ScanCache::kFileName), contents);
        const bool none = !ScanCache::load().has_value();
        EXPECT_TRUE(QFile::exists(inSupport(ScanCache::kFileName)));  // a load never removes it
        return none;
    };

    EXPECT_TRUE(loadsNothing(good.left(good.size() - 10)));       // truncated stream
    EXPECT_TRUE(loadsNothing(good.left(good.size() / 2)));
    EXPECT_TRUE(loadsNothing(good + "bvx$"));                      // stray bytes after the end
    EXPECT_TRUE(loadsNothing(document));                           // plain JSON is not LZFSE
    EXPECT_TRUE(loadsNothing(QByteArray(4096, '\0')));
    EXPECT_TRUE(loadsNothing(compressed("{\"rootPath\":\"/\"")));  // bad JSON (the JSON tests hold the rest)
    EXPECT_FALSE(loadsNothing(compressed(document)));

    // A stream that claims to expand beyond 1 GiB is refused before any of
    // it is unpacked: an LZVN block of 1 GiB + 1 bytes (its payload just the
    // end mark), then the end of the stream.
    auto le32 = [](quint32 v) {
        const char bytes[] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
        return QByteArray(bytes, 4);
    };
    const QByteArray bomb = "bvxn" + le32((1u << 30) + 1) + le32(8) + QByteArray("\x06", 1) + QByteArray(7, '\0') +
                            "bvx$";
    const long peakBefore = peakMiB();
    EXPECT_TRUE(loadsNothing(bomb));
    EXPECT_LT(peakMiB() - peakBefore, 512);
}

TEST_F(ScanCacheTest, FailedSaveLogsOneLineAndKeepsTheOldFile) {
    ScanCache::save("/Users/me", "me", sampleTree(), sampleInsights());
    test::writeFile(inSupport(ScanCache::kOlderFileName), "{}");

    // The file cannot be written (a folder stands in its place).
    QFile::remove(inSupport(ScanCache::kFileName));
    test::makeDir(inSupport(ScanCache::kFileName));
    {
        LogCapture log;
        ScanCache::save("/Users/me", "me", sampleTree(), sampleInsights());
        ASSERT_EQ(LogCapture::lines.size(), 1);
        EXPECT_TRUE(LogCapture::lines[0].startsWith("tarnwick.cache: Tarnwick cache save failed: "));
    }
    EXPECT_TRUE(QFileInfo(inSupport(ScanCache::kFileName)).isDir());
    EXPECT_TRUE(QFile::exists(inSupport(ScanCache::kOlderFileName)));
}

TEST_F(ScanCacheTest, BackgroundSavesRunInOrder) {
    for (int i = 0; i < 5; ++i) {
        ScanCache::saveInBackground("/scan" + QString::number(i), "scan", sampleTree(), sampleInsights());
    }
    ScanCache::waitForBackgroundSaves();
    std::optional<CachedScan> loaded = ScanCache::load();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->rootPath, "/scan4");
    EXPECT_EQ(loaded->scannedAt, kNow);
}

TEST_F(ScanCacheTest, CacheOfTenMillionTinyNodesIsRefusedBeforeTheyAreMade) {
    // 10.4 million nodes of the smallest form, flat under one root: 1 GB of
    // JSON that packs into well under a megabyte.
    const QByteArray minimal =
        R"({"id":"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9","name":"","path":"","kind":"","size":0,"children":[]})";
    const qsizetype count = 10400000;
    QByteArray document = R"({"rootPath":"/","rootName":"/","scannedAt":0,"root":)" + minimal;
    document.chop(2);
    document.reserve(document.size() + count * (minimal.size() + 1) + 200);
    document += minimal;
    for (qsizetype i = 1; i < count; ++i) {
        document += ',';
        document += minimal;
    }
    document += R"(]},"insights":{"largest":[],"oldest":[],"types":[],"fileCount":0,"totalFileBytes":0}})";
    ASSERT_LE(document.size(), CachedScanJson::kMaxDocumentBytes);
    const QByteArray packed = compressed(document);
    document = QByteArray();
    EXPECT_LT(packed.size(), 2 << 20);
    test::writeFile(inSupport(ScanCache::kFileName), packed);

    const long peakBefore = peakMiB();
    EXPECT_FALSE(ScanCache::load());
    // The unpacked document is all it costs: no node of it was made (they
    // would take well over a gigabyte).
    EXPECT_LT(peakMiB() - peakBefore, 1200);
}

TEST_F(ScanCacheTest, LargestSizesRoundTripAndFoldsHoldAtTheMaximum) {
    constexpr qint64 kMax = std::numeric_limits<qint64>::max();
    // A folder at the maximum (the walker holds sums there) whose files past
    // the 20 largest add up to more than the maximum when folded.
    std::vector<qint64> sizes = joined(repeated(kMax, 20), repeated(13000000000000000, 720));
    ScanNodePtr big = folderOfFiles("/v/big", kMax, sizes);
    ScanNodePtr root = node("/v", NodeKind::dir, kMax, {big, node("/v/max", NodeKind::file, kMax)});
    ScanInsights insights = sampleInsights();
    insights.fileCount = kMax;
    insights.totalFileBytes = kMax;
    insights.types[0].size = kMax;
    insights.largest[0].size = kMax;

    ScanCache::save("/v", "v", root, insights);
    std::optional<CachedScan> loaded = ScanCache::load();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->insights, insights);
    EXPECT_EQ(loaded->root->size, kMax);
    const ScanNode& folder = *loaded->root->children[0];
    EXPECT_EQ(folder.size, kMax);
    ASSERT_EQ(folder.children.size(), 21u);
    EXPECT_EQ(folder.children[20]->name, kEllipsis + "720 smaller" + kEllipsis);
    EXPECT_EQ(folder.children[20]->size, kMax);
    EXPECT_EQ(loaded->root->children[1]->size, kMax);
}
