#include "state/AppState.h"

#include "FileTreeSupport.h"
#include "StateTestSupport.h"
#include "TestSupport.h"
#include "services/store/ActivityService.h"
#include "services/safebin/SafeBinService.h"
#include "support/AtomicFile.h"
#include "support/JsonCoding.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

namespace tarnwick {
namespace {

// Cleaning junk findings into the real Safe Bin of a temporary support
// folder, and restoring and deleting its entries.
class AppStateCleanTest : public ::testing::Test {
protected:
    AppStateCleanTest() {
        state.start();
        EXPECT_TRUE(test::safeBinSettled(state));
    }

    // A finding of a file of `size` bytes made in the home folder.
    template <class Item = CleanupItem>
    Item fileFinding(const QString& name, qint64 size, bool selected = true) {
        return test::finding<Item>(test::writeFile(env.home(name), QByteArray(int(size), 'x')), size, selected);
    }
    CleanupItem pathFinding(const QString& path, qint64 size, bool selected) {
        return test::finding<CleanupItem>(path, size, selected);
    }
    void clean() {
        state.cleanSelectedToSafeBin();
        ASSERT_TRUE(test::safeBinSettled(state));
    }
    QStringList listed() const { return test::titlesOf(state.cleanupItems()); }
    // A folder finding cleaned by the entries measured now, each made two
    // hours old first (the clean leaves what changed within the hour).
    template <class Item>
    Item entriesOf(const QString& folder, const QStringList& names, bool selected) {
        Item item = test::finding<Item>(folder, 0, selected);
        item.scope.contentsOnly = true;
        item.scope.measured = QList<ScopeEntry>{};
        const QDateTime old = QDateTime::currentDateTimeUtc().addSecs(-7200);
        for (const QString& name : names) {
            const QString entry = folder + '/' + name;
            QDirIterator below(entry, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
            while (below.hasNext()) test::setModified(below.next(), old);
            test::setModified(entry, old);
            qint64 size = 0;
            QDirIterator files(entry, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (files.hasNext()) size += QFileInfo(files.next()).size();
            item.scope.measured->append({entry, *FileIdentity::of(entry), size});
            item.size += size;
        }
        return item;
    }
    QStringList binNames() const { return test::safeBinNames(state); }

    test::FakeEnvironment env;
    AppState state{test::testServices(), test::quietModules()};
};

// The one clean pattern of every module: off this thread, one event counting
// what reached the Safe Bin, the lists reloaded; nothing selected, nothing done.
TEST_F(AppStateCleanTest, MovesTheSelectionOffThisThreadRecordsOneEventAndReloadsTheLists) {
    AppStateTesting::setCleanupItems(state, {fileFinding("a.log", 1000000), fileFinding("b.log", 2000000),
                                             fileFinding("keep.log", 10, false), fileFinding("c.log", 500000)});
    std::atomic<QThread*> mover{nullptr};
    test::FileFault fault([&](std::string_view operation, const QString&) {
        if (operation == "move") mover = QThread::currentThread();
        return 0;
    });
    state.cleanSelectedToSafeBin();
    EXPECT_TRUE(state.isSafeBinBusy()) << "the move runs on the Safe Bin thread";
    EXPECT_EQ(state.cleanupItems().size(), 4) << "nothing changes before the move is done";
    ASSERT_TRUE(test::safeBinSettled(state));
    EXPECT_FALSE(state.isSafeBinBusy());
    ASSERT_NE(mover.load(), nullptr);
    EXPECT_NE(mover.load(), QThread::currentThread());
    EXPECT_EQ(listed(), QStringList{"keep.log"});
    EXPECT_EQ(binNames(), (QStringList{"a.log", "b.log", "c.log"}));
    EXPECT_FALSE(QFileInfo::exists(env.home() + "/a.log"));
    EXPECT_TRUE(QFileInfo::exists(env.home() + "/keep.log"));
    ASSERT_EQ(state.activityEvents().size(), 1);
    const ActivityEvent& event = state.activityEvents()[0];
    EXPECT_EQ(event.kind, "Junk");
    EXPECT_EQ(event.bytesFreed, test::safeBinBytes(state)) << "what reached the Safe Bin";
    EXPECT_GE(event.bytesFreed, 3500000);
    EXPECT_EQ(event.itemsAffected, 3);
    EXPECT_FALSE(state.errorMessage());

    state.cleanSelectedToSafeBin();
    EXPECT_FALSE(state.hasSafeBinWork()) << "nothing selected";
    EXPECT_EQ(ActivityService::list(10).size(), 1);
}

TEST_F(AppStateCleanTest, NestedAndDuplicatePathsMoveOnce) {
    const QString folder = test::makeDir(env.home() + "/build");
    test::writeFile(folder + "/out.o", QByteArray(4000, 'o'));
    CleanupItem outer = pathFinding(folder, 9000, true);
    CleanupItem inner = pathFinding(folder + "/out.o", 4000, true);
    CleanupItem twin = pathFinding(folder, 9000, false);       // the same folder found by another stage
    CleanupItem below = pathFinding(folder + "/gone", 5, false);  // inside it, not selected
    twin.title = "twin";
    below.title = "below";
    AppStateTesting::setCleanupItems(state, {outer, inner, twin, below, fileFinding("other.bin", 100, false)});
    clean();
    EXPECT_EQ(listed(), QStringList{"other.bin"});
    EXPECT_EQ(binNames(), QStringList{"build"}) << "the file went with its folder";
    ASSERT_EQ(state.activityEvents().size(), 1);
    EXPECT_EQ(state.activityEvents()[0].itemsAffected, 1) << "one item moved";
    EXPECT_EQ(state.activityEvents()[0].bytesFreed, test::safeBinBytes(state));
}

TEST_F(AppStateCleanTest, ContentsOnlyMovesTheEntriesAndKeepsTheFolder) {
    const QString cache = test::makeDir(env.home() + "/.cache");
    test::writeFile(cache + "/a.bin", "a");
    test::writeFile(cache + "/b/c.bin", "c");
    test::writeFile(cache + "/models/weights.bin", "w");  // another finding's
    for (const QString& path : {cache + "/a.bin", cache + "/b/c.bin", cache + "/b"}) {
        test::setModified(path, QDateTime::currentDateTimeUtc().addSecs(-7200));  // not in use
    }
    CleanupItem item = pathFinding(cache, 2, true);
    item.scope = MoveScope{true, {cache + "/models"}};
    item.scope.measured = QList<ScopeEntry>{{cache + "/a.bin", *FileIdentity::of(cache + "/a.bin")},
                                            {cache + "/b", *FileIdentity::of(cache + "/b")}};
    AppStateTesting::setCleanupItems(state, {item});
    clean();
    EXPECT_TRUE(state.cleanupItems().isEmpty());
    EXPECT_EQ(binNames(), QStringList{".cache"}) << "the entries are one Safe Bin item";
    EXPECT_TRUE(QFileInfo(cache).isDir());
    EXPECT_EQ(QDir(cache).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList{"models"});
    EXPECT_EQ(state.activityEvents()[0].itemsAffected, 1);
}

TEST_F(AppStateCleanTest, ProtectedPathsStayAndAreNamed) {
    AppStateTesting::setCleanupItems(state, {pathFinding(env.home(), 1, true), fileFinding("a.log", 10)});
    clean();
    EXPECT_EQ(state.cleanupItems().size(), 1) << "the home folder finding stays";
    EXPECT_EQ(state.cleanupItems()[0].path, env.home());
    EXPECT_EQ(binNames(), QStringList{"a.log"});
    ASSERT_TRUE(state.errorMessage());
    EXPECT_TRUE(state.errorMessage()->startsWith("Protected path")) << state.errorMessage()->toStdString();
    EXPECT_TRUE(QFileInfo(env.home()).isDir());
}

TEST_F(AppStateCleanTest, PartFailureKeepsWhatStayedAndCountsWhatMoved) {
    AppStateTesting::setCleanupItems(state, {fileFinding("a.log", 300), fileFinding("b.log", 400),
                                             fileFinding("c.log", 500)});
    const QString failing = env.home() + "/b.log";
    test::FileFault fault([&](std::string_view operation, const QString& path) {
        return operation == "move" && path == failing ? EACCES : 0;
    });
    clean();
    EXPECT_EQ(listed(), QStringList{"b.log"});
    EXPECT_TRUE(state.cleanupItems()[0].isSelected) << "the selection stays for another try";
    EXPECT_EQ(binNames(), (QStringList{"a.log", "c.log"})) << "each finding moves or fails on its own";
    ASSERT_EQ(state.activityEvents().size(), 1);
    EXPECT_EQ(state.activityEvents()[0].itemsAffected, 2);
    EXPECT_EQ(state.activityEvents()[0].bytesFreed, test::safeBinBytes(state)) << "what moved";
    EXPECT_EQ(state.cleanupItems()[0].notMoved, "Not moved") << "the row says it stayed";
    EXPECT_TRUE(state.cleanupItems()[0].rowDetail().startsWith("Not moved \u00B7 "));
    ASSERT_TRUE(state.errorMessage());
    EXPECT_TRUE(state.errorMessage()->contains("Not moved: \u201C~/b.log\u201D."))
        << state.errorMessage()->toStdString();
}

// Moved by copying (another file system), a folder part of which could not
// be removed: its copy is in the Safe Bin, part of it is still in place. The
// row, the message and the log all say it is not moved whole.
TEST_F(AppStateCleanTest, ACopyWhoseOriginalPartlyStaysStaysListedSaidAndUncounted) {
    const QString folder = test::makeDir(env.home("old-cache"));
    test::writeFile(folder + "/c.bin", QByteArray(3000, 'c'));
    test::writeFile(folder + "/locked/a.bin", QByteArray(2000, 'a'));
    AppStateTesting::setCleanupItems(state, {pathFinding(folder, 5000, true), fileFinding("b.log", 400)});
    {
        const QString bin = SafeBinService::root();
        test::FileFault fault([&](std::string_view operation, const QString& path) {
            if (operation == "rename") return EXDEV;
            return operation == "remove" && path.endsWith("/locked/a.bin") && !path.startsWith(bin) ? EACCES : 0;
        });
        clean();
    }
    EXPECT_FALSE(QFileInfo::exists(folder + "/c.bin"));
    EXPECT_TRUE(QFileInfo::exists(folder + "/locked/a.bin"));
    ASSERT_EQ(listed(), QStringList{"old-cache"});
    EXPECT_EQ(state.cleanupItems()[0].notMoved, "Partly moved");
    EXPECT_TRUE(state.cleanupItems()[0].isSelected);
    EXPECT_EQ(binNames(), (QStringList{"b.log", "old-cache"})) << "the copy is held";
    ASSERT_TRUE(state.errorMessage());
    const QString said = *state.errorMessage();
    EXPECT_TRUE(said.contains("the original could not be removed")) << said.toStdString();
    EXPECT_TRUE(said.contains("Partly moved \u2014 a copy is in the Safe Bin and part of the original is still in "
                              "place: \u201C~/old-cache\u201D."))
        << said.toStdString();
    EXPECT_FALSE(said.contains("Not moved")) << said.toStdString();
    ASSERT_EQ(state.activityEvents().size(), 1);
    const ActivityEvent& event = state.activityEvents()[0];
    EXPECT_EQ(event.summary, "Moved 1 junk items to Safe Bin") << "b.log alone";
    EXPECT_EQ(event.itemsAffected, 1);
    const auto held = std::find_if(state.safeBinItems().begin(), state.safeBinItems().end(),
                                   [](const SafeBinEntry& entry) { return entry.displayName == "b.log"; });
    ASSERT_NE(held, state.safeBinItems().end());
    EXPECT_EQ(event.bytesFreed, held->size);

    // The held copy completes what stayed when it goes back.
    for (const SafeBinEntry& entry : state.safeBinItems()) {
        if (entry.displayName == "old-cache") state.restoreSafeBin(entry);
    }
    ASSERT_TRUE(test::safeBinSettled(state));
    EXPECT_EQ(QFileInfo(folder + "/c.bin").size(), 3000);
    EXPECT_EQ(QFileInfo(folder + "/locked/a.bin").size(), 2000);
    EXPECT_EQ(binNames(), QStringList{"b.log"});
}

// A cache cleaned by its entries: an entry used again since the scan stays
// and is named, the message says what stays in use with what the scan
// already left, and the event counts what reached the Safe Bin.
TEST_F(AppStateCleanTest, ACacheCleanSaysWhatStaysInUseAndCountsWhatMoved) {
    const QString cache = env.home(".cache");
    const QString old = test::writeFile(cache + "/old/x", QByteArray(5000, 'o'));
    const QString busy = test::writeFile(cache + "/busy/y", QByteArray(3000, 'b'));
    CleanupItem caches = entriesOf<CleanupItem>(cache, {"old", "busy"}, true);
    caches.scope.measuredAtMSecs = QDateTime::currentMSecsSinceEpoch();
    caches.scope.inUseBytes = 12'000'000;  // what the scan left in place as in use
    AppStateTesting::setCleanupItems(state, {caches});
    QThread::msleep(20);
    test::writeFile(cache + "/busy/z", "written after the scan");

    clean();
    EXPECT_FALSE(QFileInfo::exists(old));
    EXPECT_TRUE(QFileInfo::exists(busy)) << "the entry moves whole or not at all";
    ASSERT_TRUE(state.errorMessage());
    EXPECT_EQ(*state.errorMessage(), "12 MB in use or changed in the last hour stays, with \u201C~/.cache/busy\u201D.");
    EXPECT_TRUE(state.cleanupItems().isEmpty()) << "what it could take went";
    ASSERT_EQ(state.activityEvents().size(), 1);
    EXPECT_EQ(state.activityEvents()[0].bytesFreed, test::safeBinBytes(state));
    EXPECT_LT(test::safeBinBytes(state), caches.size + 12'000'000);
}

// After a move, no module offers what went: the same file, what lay in a
// moved folder, a cache entry that moved, or a copy whose other copy went.
TEST_F(AppStateCleanTest, AfterACleanEveryModulesListDropsWhatWent) {
    const CleanupItem installer = fileFinding("Downloads/Setup.iso", 3000);
    const QString cache = env.home(".cache");
    const QString chrome = test::writeFile(cache + "/google-chrome/x", QByteArray(4000, 'c'));
    test::writeFile(cache + "/google-chrome/Default/y", QByteArray(1000, 'c'));
    test::writeFile(cache + "/fontconfig/x", QByteArray(600, 'f'));
    CleanupItem caches = entriesOf<CleanupItem>(cache, {"fontconfig", "google-chrome"}, true);
    AppStateTesting::setCleanupItems(state, {installer, caches});
    ClutterItem copy = fileFinding<ClutterItem>("Documents/Setup copy.iso", 3000, false);
    copy.keptCopy = NamedCopy{installer.path, *FileIdentity::of(installer.path)};
    AppStateTesting::setClutterItems(state, {test::finding<ClutterItem>(installer.path, 3000, true), copy,
                                             fileFinding<ClutterItem>("Desktop/shot.png", 100)});
    ASSERT_EQ(state.clutterSelectedBytes(), 3100);
    AppStateTesting::setPrivacyItems(state, {entriesOf<PrivacyItem>(cache + "/google-chrome", {"Default"}, false)});

    clean();
    EXPECT_TRUE(state.cleanupItems().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(chrome));
    ASSERT_EQ(test::titlesOf(state.clutterItems()), QStringList{"shot.png"}) << "the installer and the copy of it went";
    EXPECT_EQ(state.clutterSelectedBytes(), 100);
    EXPECT_TRUE(state.privacyItems().isEmpty()) << "the browser's cache went with the cache folder";
    EXPECT_TRUE(QFileInfo::exists(copy.path)) << "the last copy";

    // The other way round: the privacy clean moves an entry inside an entry
    // the junk finding measured, which is then no longer what it measured.
    test::writeFile(cache + "/thumbnails/normal/a.png", QByteArray(700, 't'));
    test::writeFile(cache + "/other/x", QByteArray(800, 'o'));
    AppStateTesting::setCleanupItems(state, {entriesOf<CleanupItem>(cache, {"other", "thumbnails"}, false)});
    AppStateTesting::setPrivacyItems(state, {entriesOf<PrivacyItem>(cache + "/thumbnails", {"normal"}, true)});
    state.cleanSelectedPrivacy();
    ASSERT_TRUE(test::safeBinSettled(state));
    EXPECT_FALSE(QFileInfo::exists(cache + "/thumbnails/normal/a.png"));
    ASSERT_EQ(state.cleanupItems().size(), 1);
    ASSERT_EQ(state.cleanupItems()[0].scope.measured->size(), 1);
    EXPECT_EQ(state.cleanupItems()[0].scope.measured->at(0).path, cache + "/other");
    EXPECT_EQ(state.cleanupItems()[0].size, 800);
}

// A copy is moved only while the copy it names is in place, unchanged and
// not moving with the same clean; otherwise it is the last one and leaves
// the list.
TEST_F(AppStateCleanTest, TheLastCopyIsNeverMoved) {
    const QString original = test::writeFile(env.home("Downloads/photos.zip"), QByteArray(5000, 'p'));
    const auto copyOf = [&](const QString& name) {
        ClutterItem copy = fileFinding<ClutterItem>("Documents/" + name, 5000);
        copy.keptCopy = NamedCopy{original, *FileIdentity::of(original)};
        return copy;
    };
    AppStateTesting::setClutterItems(state, {test::finding<ClutterItem>(original, 5000, true), copyOf("photos copy.zip")});
    state.cleanSelectedClutter();
    ASSERT_TRUE(test::safeBinSettled(state));
    EXPECT_EQ(binNames(), QStringList{"photos.zip"});
    EXPECT_TRUE(QFileInfo::exists(env.home("Documents/photos copy.zip")));
    EXPECT_TRUE(state.clutterItems().isEmpty()) << "the last copy leaves the list";
    ASSERT_TRUE(state.errorMessage());
    EXPECT_TRUE(state.errorMessage()->contains("photos copy.zip")) << state.errorMessage()->toStdString();

// The kept copy changed since the scan.
    state.clearErrorMessage();
    test::writeFile(original, QByteArray(5000, 'q'));
    ClutterItem stale = copyOf("photos again.zip");
    stale.keptCopy->seen.modifiedNSecs -= 1000000000;
    AppStateTesting::setClutterItems(state, {stale});
    state.cleanSelectedClutter();
    ASSERT_TRUE(test::safeBinSettled(state));
    EXPECT_TRUE(QFileInfo::exists(stale.path));
    EXPECT_TRUE(state.clutterItems().isEmpty());

    // In place and unchanged: it moves.
    AppStateTesting::setClutterItems(state, {copyOf("photos third.zip")});
    state.cleanSelectedClutter();
    ASSERT_TRUE(test::safeBinSettled(state));
    EXPECT_FALSE(QFileInfo::exists(env.home() + "/Documents/photos third.zip"));
    EXPECT_TRUE(QFileInfo::exists(original));
}

TEST_F(AppStateCleanTest, FailureBeforeAnyMoveChangesNothingAndWhatIsGoneJustLeaves) {
    AppStateTesting::setCleanupItems(state, {fileFinding("a.log", 300)});
    ASSERT_TRUE(AtomicFile::write(SafeBinService::root() + "/manifest.json", "not json"));
    clean();
    EXPECT_EQ(listed(), QStringList{"a.log"});
    EXPECT_TRUE(state.activityEvents().isEmpty());
    EXPECT_TRUE(state.errorMessage());
    EXPECT_TRUE(QFileInfo::exists(env.home() + "/a.log"));

    // Findings already gone leave the list without an event or an error.
    state.clearErrorMessage();
    ASSERT_TRUE(AtomicFile::write(SafeBinService::root() + "/manifest.json", "[]"));
    AppStateTesting::setCleanupItems(state, {pathFinding(env.home() + "/never-there", 50, true)});
    clean();
    EXPECT_TRUE(state.cleanupItems().isEmpty());
    EXPECT_TRUE(state.activityEvents().isEmpty()) << "nothing moved, nothing recorded";
    EXPECT_FALSE(state.errorMessage());
}

TEST_F(AppStateCleanTest, RestoreAndDestroyReloadTheListOrShowWhyNot) {
    AppStateTesting::setCleanupItems(state, {fileFinding("a.log", 10), fileFinding("b.log", 20)});
    clean();
    ASSERT_EQ(state.safeBinItems().size(), 2u);
    const auto entryNamed = [&](const QString& name) {
        for (const SafeBinEntry& entry : state.safeBinItems()) {
            if (entry.displayName == name) return entry;
        }
        ADD_FAILURE() << name.toStdString();
        return SafeBinEntry{};
    };

    // Something already back at the original place: refused, entry kept.
    test::writeFile(env.home() + "/a.log", "new");
    state.restoreSafeBin(entryNamed("a.log"));
    ASSERT_TRUE(test::safeBinSettled(state));
    EXPECT_TRUE(state.errorMessage());
    EXPECT_EQ(state.safeBinItems().size(), 2u);
    state.clearErrorMessage();

    QFile::remove(env.home() + "/a.log");
    state.restoreSafeBin(entryNamed("a.log"));
    ASSERT_TRUE(test::safeBinSettled(state));
    EXPECT_FALSE(state.errorMessage());
    EXPECT_EQ(binNames(), QStringList{"b.log"});
    EXPECT_EQ(QFileInfo(env.home() + "/a.log").size(), 10);
    EXPECT_TRUE(state.cleanupItems().isEmpty()) << "a restored item is no finding until the next scan";
    EXPECT_EQ(state.activityEvents().size(), 1) << "restoring records no event";

    // A stored item that cannot be removed keeps its entry, and the user is told.
    const SafeBinEntry b = entryNamed("b.log");
    {
        test::FileFault fault([](std::string_view operation, const QString&) { return operation == "remove" ? EPERM : 0; });
        state.destroySafeBin(b);
        ASSERT_TRUE(test::safeBinSettled(state));
    }
    ASSERT_TRUE(state.errorMessage());
    EXPECT_TRUE(state.errorMessage()->contains("b.log")) << state.errorMessage()->toStdString();
    EXPECT_EQ(binNames(), QStringList{"b.log"});
    state.clearErrorMessage();

    state.destroySafeBin(b);
    EXPECT_TRUE(state.isSafeBinBusy());
    ASSERT_TRUE(test::safeBinSettled(state));
    EXPECT_TRUE(state.safeBinItems().empty());
    EXPECT_FALSE(QFileInfo::exists(SafeBinService::root() + "/" + b.storedName));

    // Put back, but what was kept beside it could not be read: the message
    // says so, and the list agrees that the item went.
    AppStateTesting::setCleanupItems(state, {fileFinding("c.log", 30)});
    clean();
    ASSERT_EQ(state.safeBinItems().size(), 1u);
    const SafeBinEntry c = state.safeBinItems()[0];
    test::writeFile(SafeBinService::root() + "/.tarnwick-attributes-" + JsonCoding::uuidText(c.id), "garbled\n");
    state.restoreSafeBin(c);
    ASSERT_TRUE(test::safeBinSettled(state));
    ASSERT_TRUE(state.errorMessage());
    EXPECT_TRUE(state.errorMessage()->contains("could not be read")) << state.errorMessage()->toStdString();
    EXPECT_TRUE(state.safeBinItems().empty());
    EXPECT_EQ(QFileInfo(env.home() + "/c.log").size(), 30);
}

// A path found under two kinds counts once in the selected bytes, moves
// once, and both rows leave.
TEST_F(AppStateCleanTest, APathUnderTwoClutterKindsIsCountedAndMovedOnce) {
    const QString setup = test::writeFile(env.home() + "/Setup.iso", QByteArray(4000, 'x'));
    ClutterItem download = test::finding<ClutterItem>(setup, 4096, true);
    download.kind = ClutterItem::Kind::downloads;
    ClutterItem duplicate = test::finding<ClutterItem>(setup, 4000, true);
    duplicate.kind = ClutterItem::Kind::duplicates;
    const ClutterItem other = test::finding<ClutterItem>(test::writeFile(env.home() + "/other.bin", "o"), 100);
    AppStateTesting::setClutterItems(state, {download, duplicate, other});
    EXPECT_EQ(state.clutterSelectedBytes(), 4096) << "the path counts once, with the size listed first";
    EXPECT_EQ(state.clutterStatusText(), AppState::selectionLine(3, "findings", 2, 4096));
    state.cleanSelectedClutter();
    ASSERT_TRUE(test::safeBinSettled(state));
    ASSERT_EQ(state.clutterItems().size(), 1);
    EXPECT_EQ(state.clutterItems()[0].path, other.path);
    EXPECT_EQ(binNames(), QStringList{"Setup.iso"});
    ASSERT_EQ(state.activityEvents().size(), 1);
    EXPECT_EQ(state.activityEvents()[0].kind, "Clutter");
    EXPECT_EQ(state.activityEvents()[0].bytesFreed, test::safeBinBytes(state));
    EXPECT_EQ(state.activityEvents()[0].itemsAffected, 1);
}

}  // namespace
}  // namespace tarnwick
