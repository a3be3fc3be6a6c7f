#include "state/AppState.h"

#include "StateTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <limits>

namespace tarnwick {
namespace {

ScanNodePtr node(const QString& path, NodeKind kind, qint64 size = 100) {
    return ScanNode::create(QUuid::createUuid(), path.section('/', -1), path, kind, size);
}

FileRecord record(const QString& path, qint64 size = 100) {
    return FileRecord{QUuid::createUuid(), path.section('/', -1), path, size, FileRecord::distantPast(), "other"};
}

QStringList paths(const AppState& state) {
    QStringList result;
    for (const CollectorItem& item : state.collector()) result.append(item.path);
    return result;
}

class AppStateCollectorTest : public ::testing::Test {
protected:
    QString at(const QString& relative) const { return env.path("c/" + relative); }

    test::FakeEnvironment env;
    AppState state{test::testServices()};
};

TEST_F(AppStateCollectorTest, AFolderReplacesTheItemsInsideIt) {
    state.addToCollector(node(at("Docs/a.txt"), NodeKind::file));
    state.addToCollector(node(at("Docs2"), NodeKind::dir));
    const ScanNodePtr docs = node(at("Docs"), NodeKind::dir, 500);
    state.addToCollector(docs);
    EXPECT_EQ(paths(state), (QStringList{at("Docs2"), at("Docs")}));
    EXPECT_TRUE(state.collector().back().isDirectory);
    EXPECT_EQ(state.collector().back().id, docs->id);

    state.addToCollector(node(at("Docs/b.txt"), NodeKind::file));
    state.addToCollector(docs);
    state.addToCollector(node(at("Docs"), NodeKind::dir));
    EXPECT_EQ(paths(state), (QStringList{at("Docs2"), at("Docs")}));
    EXPECT_FALSE(state.errorMessage());
    EXPECT_EQ(state.collectorTotal(), 600);

    state.addToCollector(node(at("locked"), NodeKind::restricted, 0));
    EXPECT_EQ(state.collector().size(), 3);
}

TEST_F(AppStateCollectorTest, NodesStandingForSeveralItemsAreRefusedWithAReason) {
    ScanNodePtr smallFiles = node(at("Docs"), NodeKind::file);
    smallFiles->name = ScanNode::smallFilesName(12);
    smallFiles->isAggregate = true;
    ScanNodePtr merged = node(at("Docs"), NodeKind::smallGroup);
    merged->name = ScanNode::kSmallerObjectsName.toString();
    ScanNodePtr hidden = node("/System/Volumes/Data/hidden", NodeKind::restricted);
    hidden->isAggregate = true;
    ScanNodePtr purgeable = node("/purgeable", NodeKind::virtual_);

    for (const ScanNodePtr& refused : {smallFiles, merged, hidden, purgeable}) {
        state.clearErrorMessage();
        state.addToCollector(refused);
        EXPECT_TRUE(state.collector().isEmpty()) << refused->name.toStdString();
        ASSERT_TRUE(state.errorMessage());
        EXPECT_TRUE(state.errorMessage()->startsWith("\u201C" + refused->name + "\u201D stands for several items"));
    }
}

TEST_F(AppStateCollectorTest, ProtectedPathsAreRefused) {
    state.addToCollector(node("/usr/lib", NodeKind::dir));
    EXPECT_TRUE(state.errorMessage()->contains("\u201Clib\u201D"));
    state.clearErrorMessage();
    state.addFileToCollector(record(env.home()));
    EXPECT_TRUE(state.errorMessage());
    EXPECT_TRUE(state.collector().isEmpty());
}

TEST_F(AppStateCollectorTest, FilesFromTheListsAreAddedOnce) {
    const FileRecord movie = record(at("Movies/film.mov"), 2000);
    state.addFileToCollector(movie);
    state.addFileToCollector(record(at("Movies/film.mov")));
    ASSERT_EQ(state.collector().size(), 1);
    EXPECT_EQ(state.collector()[0], CollectorItem::fromRecord(movie));
    EXPECT_FALSE(state.collector()[0].isDirectory);

    // A file inside a collected folder would be moved twice: refused silently.
    state.addToCollector(node(at("Docs"), NodeKind::dir));
    state.addFileToCollector(record(at("Docs/deep/report.pdf")));
    state.addFileToCollector(record(at("Docs2/report.pdf")));
    EXPECT_EQ(paths(state), (QStringList{at("Movies/film.mov"), at("Docs"), at("Docs2/report.pdf")}));
    EXPECT_FALSE(state.errorMessage());
}

TEST_F(AppStateCollectorTest, RemovalIsByIdAndTheTotalIsHeldAtTheMaximum) {
    const ScanNodePtr docs = node(at("Docs"), NodeKind::dir);
    state.addToCollector(docs);
    state.addToCollector(node(at("Other"), NodeKind::dir));
    CollectorItem item = CollectorItem::fromNode(*docs);
    item.name = "renamed";
    state.removeFromCollector(item);
    EXPECT_EQ(paths(state), QStringList{at("Other")});
    state.removeFromCollector(item);
    EXPECT_EQ(state.collector().size(), 1);

    state.addToCollector(node(at("a"), NodeKind::file, std::numeric_limits<qint64>::max()));
    state.addToCollector(node(at("b"), NodeKind::file, 10));
    EXPECT_EQ(state.collectorTotal(), std::numeric_limits<qint64>::max());
}

}  // namespace
}  // namespace tarnwick
