#include "state/AppState.h"

#include "StateTestSupport.h"
#include "TestSupport.h"
#include "platform/PathCodec.h"
#include "services/safebin/SafeBinService.h"
#include "support/AppIdentity.h"
#include "support/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {
namespace {

constexpr int kTick = 10;  // ms between countdown ticks in these tests

// The delete countdown with the real walker and the real Safe Bin in a
// temporary support folder, over a folder of three files of 300 KiB.
class AppStateDeleteTest : public ::testing::Test {
protected:
    AppStateDeleteTest() {
        for (const char* name : {"a.bin", "b.bin", "c.bin"}) test::writeFile(file(name), QByteArray(300 * 1024, 'x'));
        state.setCountdownInterval(kTick);
        state.start();
        state.startScan(root);
        EXPECT_TRUE(idle());
        // The start-up settle of the Safe Bin runs on its own thread: the
        // cases that write into the Safe Bin wait for it.
        EXPECT_TRUE(test::safeBinSettled(state));
    }

    QString file(const QString& name) const { return root + "/" + name; }
    bool idle() {
        return test::waitUntil([&] { return state.screen() == AppState::Screen::idle; });
    }
    bool countdownOver() {
        return test::waitUntil([&] { return !state.isDeleting() && !state.hasSafeBinWork(); });
    }
    void collect(const QString& name) {
        const ScanNodePtr found = test::childNamed(state.rootNode(), name);
        ASSERT_NE(found, nullptr) << name.toStdString();
        state.addToCollector(found);
    }
    QStringList collected() const {
        QStringList names;
        for (const CollectorItem& item : state.collector()) names.append(item.name);
        return names;
    }
    QStringList binNames() const { return test::safeBinNames(state); }

    test::FakeEnvironment env;
    QString root = test::makeDir(env.path("Work"));
    AppState state{test::testServices()};
};

TEST_F(AppStateDeleteTest, CountdownMovesTheItemsIntoTheSafeBinAndRescans) {
    collect("a.bin");
    collect("b.bin");
    const ScanNodePtr before = state.rootNode();
    std::vector<int> counts;
    QObject context;
    QObject::connect(&state, &AppState::changed, &context, [&](AppState::Field field) {
        if (field == AppState::Field::deleteCountdown) counts.push_back(state.deleteCountdown());
    });
    state.beginDelete();
    EXPECT_TRUE(state.isDeleting());
    EXPECT_EQ(state.deleteCountdown(), 5);
    ASSERT_TRUE(countdownOver());
    EXPECT_EQ(counts, (std::vector<int>{5, 4, 3, 2, 1, 0}));
    EXPECT_FALSE(QFileInfo::exists(file("a.bin")));
    EXPECT_FALSE(QFileInfo::exists(file("b.bin")));
    EXPECT_EQ(binNames(), (QStringList{"a.bin", "b.bin"}));
    EXPECT_TRUE(state.collector().isEmpty());
    EXPECT_FALSE(state.errorMessage());
    ASSERT_TRUE(idle());
    EXPECT_NE(state.rootNode(), before) << "a rescan of the same root follows";
    EXPECT_EQ(state.scanRootPath(), root);
    EXPECT_EQ(state.scanRootName(), "Work");
    EXPECT_EQ(test::childNamed(state.rootNode(), "a.bin"), nullptr);
    EXPECT_NE(test::childNamed(state.rootNode(), "c.bin"), nullptr);
}

// What the map moved is no finding any more, in any module.
TEST_F(AppStateDeleteTest, TheModulesListsDropWhatTheMapMoved) {
    AppStateTesting::setClutterItems(state, {test::finding<ClutterItem>(file("a.bin"), 300 * 1024, true),
                                             test::finding<ClutterItem>(file("c.bin"), 300 * 1024, true)});
    CleanupItem junk = test::finding<CleanupItem>(root, 600 * 1024);
    junk.scope.contentsOnly = true;
    junk.scope.measured = QList<ScopeEntry>{{file("a.bin"), *FileIdentity::of(file("a.bin")), 300 * 1024},
                                            {file("b.bin"), *FileIdentity::of(file("b.bin")), 300 * 1024}};
    AppStateTesting::setCleanupItems(state, {junk});
    collect("a.bin");
    state.beginDelete();
    ASSERT_TRUE(countdownOver());
    ASSERT_EQ(state.clutterItems().size(), 1);
    EXPECT_EQ(state.clutterItems()[0].title, "c.bin");
    EXPECT_EQ(state.clutterSelectedBytes(), 300 * 1024);
    ASSERT_EQ(state.cleanupItems().size(), 1);
    EXPECT_EQ(state.cleanupItems()[0].size, 300 * 1024) << "the entry that went left the folder's finding";
}

TEST_F(AppStateDeleteTest, CancelRestartAndRepeatedStartsKeepTheirOwnCountdown) {
    state.beginDelete();  // nothing collected: nothing starts
    EXPECT_FALSE(state.isDeleting());
    EXPECT_EQ(state.deleteCountdown(), 0);

    collect("a.bin");
    state.setCountdownInterval(30);
    state.beginDelete();
    ASSERT_TRUE(test::waitUntil([&] { return state.deleteCountdown() == 3; }));
    state.beginDelete();  // a second start does not reset the running countdown
    EXPECT_EQ(state.deleteCountdown(), 3);
    state.cancelDelete();
    EXPECT_FALSE(state.isDeleting());
    EXPECT_EQ(state.deleteCountdown(), 0);

    // Restarted at once: the old countdown's ticks must not shorten the new one.
    std::vector<int> counts;
    QObject context;
    QObject::connect(&state, &AppState::changed, &context, [&](AppState::Field field) {
        if (field == AppState::Field::deleteCountdown) counts.push_back(state.deleteCountdown());
    });
    state.beginDelete();
    ASSERT_TRUE(test::waitUntil([&] { return state.deleteCountdown() == 2; }));
    EXPECT_EQ(counts, (std::vector<int>{5, 4, 3, 2}));
    state.cancelDelete();
    test::spin(300);  // well past where the countdown would have ended
    EXPECT_TRUE(QFileInfo::exists(file("a.bin")));
    EXPECT_TRUE(state.safeBinItems().empty());
    EXPECT_EQ(collected(), QStringList{"a.bin"});
}

TEST_F(AppStateDeleteTest, StartingAScanCancelsTheCountdown) {
    collect("a.bin");
    state.beginDelete();
    state.rescan();
    EXPECT_FALSE(state.isDeleting());
    EXPECT_EQ(state.deleteCountdown(), 0);
    ASSERT_TRUE(idle());
    test::spin(10 * kTick);
    EXPECT_TRUE(QFileInfo::exists(file("a.bin")));
    EXPECT_TRUE(state.safeBinItems().empty());
}

TEST_F(AppStateDeleteTest, MovesWhatWasCollectedWhenTheCountdownBegan) {
    collect("a.bin");
    collect("b.bin");
    state.beginDelete();
    state.removeFromCollector(state.collector()[1]);  // b.bin taken out during the countdown
    collect("c.bin");                                // c.bin added during the countdown
    ASSERT_TRUE(countdownOver());
    EXPECT_EQ(binNames(), QStringList{"a.bin"});
    EXPECT_TRUE(QFileInfo::exists(file("b.bin")));
    EXPECT_TRUE(QFileInfo::exists(file("c.bin")));
}

TEST_F(AppStateDeleteTest, PartFailureKeepsWhatDidNotMoveAndRescans) {
    collect("a.bin");
    collect("b.bin");
    collect("c.bin");
    const QString failing = file("b.bin");
    test::FileFault fault([&](std::string_view operation, const QString& path) {
        return operation == "move" && path == failing ? EACCES : 0;
    });
    const ScanNodePtr before = state.rootNode();
    state.beginDelete();
    ASSERT_TRUE(countdownOver());
    EXPECT_EQ(binNames(), (QStringList{"a.bin", "c.bin"})) << "each item moves or fails on its own";
    EXPECT_EQ(collected(), QStringList{"b.bin"});
    ASSERT_TRUE(state.errorMessage());
    EXPECT_TRUE(state.errorMessage()->contains("b.bin")) << state.errorMessage()->toStdString();
    ASSERT_TRUE(idle());
    EXPECT_NE(state.rootNode(), before) << "the tree was scanned again";
    EXPECT_EQ(test::childNamed(state.rootNode(), "a.bin"), nullptr);
    EXPECT_EQ(collected(), QStringList{"b.bin"});
    EXPECT_TRUE(state.errorMessage());
    EXPECT_EQ(state.deleteCountdown(), 0);
}

TEST_F(AppStateDeleteTest, FailureBeforeAnyMoveKeepsEverything) {
    collect("a.bin");
    ASSERT_TRUE(AtomicFile::write(SafeBinService::root() + "/manifest.json", "not json"));
    const ScanNodePtr before = state.rootNode();
    state.beginDelete();
    ASSERT_TRUE(countdownOver());
    EXPECT_EQ(state.deleteCountdown(), 0);
    EXPECT_EQ(collected(), QStringList{"a.bin"});
    EXPECT_TRUE(state.errorMessage());
    EXPECT_EQ(state.screen(), AppState::Screen::idle) << "no rescan when nothing moved";
    EXPECT_EQ(state.rootNode(), before);
    EXPECT_TRUE(QFileInfo::exists(file("a.bin")));
}

TEST_F(AppStateDeleteTest, AFolderSwappedForALinkDuringTheCountdownMovesNothingProtected) {
    // Work/d/passwd is collected; during the countdown Work/d becomes a link
    // to a folder the guard refuses (the support folder stands for one).
    const QString vault = test::makeDir(AppIdentity::supportDirectory() + "/vault");
    test::writeFile(vault + "/passwd", QByteArray(300 * 1024, 's'));
    test::writeFile(file("d/passwd"), QByteArray(300 * 1024, 'm'));
    state.startScan(root);
    ASSERT_TRUE(idle());
    const ScanNodePtr passwd = test::childNamed(test::childNamed(state.rootNode(), "d"), "passwd");
    ASSERT_NE(passwd, nullptr);
    state.addToCollector(passwd);
    ASSERT_EQ(collected(), QStringList{"passwd"});

    state.beginDelete();
    ASSERT_TRUE(QDir().rename(file("d"), file("d-real")));
    ASSERT_EQ(::symlink(QFile::encodeName(vault).constData(), QFile::encodeName(file("d")).constData()), 0);
    ASSERT_TRUE(countdownOver());

    EXPECT_EQ(QFileInfo(vault + "/passwd").size(), 300 * 1024);
    EXPECT_TRUE(QFileInfo::exists(file("d-real/passwd")));
    EXPECT_TRUE(state.safeBinItems().empty());
    ASSERT_TRUE(state.errorMessage());
    EXPECT_TRUE(state.errorMessage()->contains("protected")) << state.errorMessage()->toStdString();
    EXPECT_EQ(collected(), QStringList{"passwd"});
}

TEST_F(AppStateDeleteTest, ANameThatIsNotUtf8MovesItselfAndNeverItsLookAlike) {
    const QByteArray folder = QFile::encodeName(root);
    const QByteArray raw = folder + "/bad\xff.bin";
    const QByteArray lookalike = folder + "/bad\xef\xbf\xbd.bin";  // what a lossy decoding of the first shows
    for (const QByteArray& path : {raw, lookalike}) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0);
        const QByteArray data(300 * 1024, 'y');
        ASSERT_EQ(::write(fd, data.constData(), data.size()), data.size());
        ::close(fd);
    }
    state.startScan(root);
    ASSERT_TRUE(idle());
    ScanNodePtr found;
    for (const ScanNodePtr& child : state.rootNode()->children) {
        if (PathCodec::encode(child->path()) == raw) found = child;
    }
    ASSERT_NE(found, nullptr);
    state.addToCollector(found);
    state.beginDelete();
    ASSERT_TRUE(countdownOver());
    EXPECT_FALSE(state.errorMessage());
    struct stat st{};
    EXPECT_NE(::lstat(raw.constData(), &st), 0) << "the file collected is gone";
    EXPECT_EQ(::lstat(lookalike.constData(), &st), 0) << "its look-alike stays";
    ASSERT_EQ(test::safeBinNames(state).size(), 1);
}

}  // namespace
}  // namespace tarnwick
