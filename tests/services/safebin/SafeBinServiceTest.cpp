#include "services/safebin/SafeBinService.h"

#include "SafeBinTestSupport.h"
#include "support/JsonCoding.h"
#include "support/PathRules.h"

#include <QFileInfo>
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>

#include <sys/xattr.h>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

const QDateTime kNow(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC);

class SafeBinServiceTest : public SafeBinTest {
protected:
    SafeBinServiceTest() { env.setNow(kNow); }
};

}  // namespace

TEST_F(SafeBinServiceTest, MoveListRestoreAndDestroyRoundTrip) {
    ASSERT_FALSE(SafeBinService::moveToSafeBin({writeFile(home("old.log"), "old")}).error);
    env.setNow(kNow.addSecs(60));
    const QString file = writeFile(home("a/b.txt"), QByteArray(10000, 'b'));
    const QString folder = makeDir(home("a/folder"));
    writeFile(folder + "/inner/x.bin", QByteArray(5000, 'x'));
    const SafeBinMoveResult result = SafeBinService::moveToSafeBin({file, home("missing"), folder, file});
    EXPECT_FALSE(result.error);
    ASSERT_EQ(result.moved.size(), 2u);
    const SafeBinEntry& fileEntry = result.moved[0];
    EXPECT_EQ(fileEntry.originalPath, file);
    EXPECT_EQ(fileEntry.displayName, "b.txt");
    EXPECT_EQ(fileEntry.removedAt, kNow.addSecs(60));
    EXPECT_EQ(fileEntry.size, qint64(lstatOf(held(fileEntry)).st_blocks) * 512);
    EXPECT_FALSE(QFileInfo::exists(file) || QFileInfo::exists(folder));
    EXPECT_EQ(contents(held(result.moved[1]) + "/inner/x.bin").size(), 5000);

    // This call's entries in reverse order, ahead of the older one.
    const auto entries = recorded();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0], result.moved[1]);
    EXPECT_EQ(entries[1], result.moved[0]);
    EXPECT_EQ(entries[2].displayName, "old.log");
    EXPECT_EQ(SafeBinService::list(), entries);

    ASSERT_FALSE(SafeBinService::restore(fileEntry));
    EXPECT_EQ(contents(file), QByteArray(10000, 'b'));
    QDir(home("a")).removeRecursively();  // parent folders that are gone are made again
    ASSERT_FALSE(SafeBinService::restore(result.moved[1]));
    EXPECT_EQ(contents(folder + "/inner/x.bin").size(), 5000);

    const SafeBinEntry oldEntry = SafeBinService::list().at(0);
    ASSERT_FALSE(SafeBinService::destroy(oldEntry));
    EXPECT_FALSE(QFileInfo::exists(held(oldEntry)));
    EXPECT_TRUE(SafeBinService::list().empty());
    EXPECT_EQ(binContents(bin()), QStringList{"manifest.json"});
}

// Thirty days to the second; a purge with nothing to do writes nothing; an
// item that cannot be removed keeps its record.
TEST_F(SafeBinServiceTest, ExpiryKeepsExactlyThirtyDaysAndWhatCannotBeRemoved) {
    const SafeBinEntry boundary = stored("boundary", kNow.addSecs(-30 * 86400));
    const SafeBinEntry expired = stored("expired", kNow.addSecs(-30 * 86400 - 1));
    const SafeBinEntry fresh = stored("fresh", kNow);
    writeManifest({fresh, expired, boundary});
    SafeBinService::purgeExpired(30);
    EXPECT_EQ(recorded(), (std::vector<SafeBinEntry>{fresh, boundary}));
    EXPECT_FALSE(QFileInfo::exists(held(expired)));
    EXPECT_TRUE(QFileInfo::exists(held(boundary)));

    const struct timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, nativePath(manifest()).constData(), past, 0), 0);
    const ino_t inode = lstatOf(manifest()).st_ino;
    SafeBinService::purgeExpired(30);
    EXPECT_EQ(lstatOf(manifest()).st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(lstatOf(manifest()).st_ino, inode);

    // Every other operation purges first.
    env.setNow(kNow.addSecs(1));
    SafeBinService::destroy(fresh);
    EXPECT_TRUE(SafeBinService::list().empty());
    EXPECT_FALSE(QFileInfo::exists(held(boundary)));

    const SafeBinEntry stuckOld = stored("stuck-old", kNow.addDays(-31));
    const SafeBinEntry stuckNew = stored("stuck-new", kNow);
    writeManifest({stuckNew, stuckOld});
    {
        FileFault fault([&](std::string_view operation, const QString& path) {
            return operation == "remove" && (path == held(stuckOld) || path == held(stuckNew)) ? EBUSY : 0;
        });
        SafeBinService::purgeExpired(30);
        EXPECT_EQ(recorded().size(), 2u);
        const auto error = SafeBinService::destroy(stuckNew);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code, EBUSY);
        EXPECT_TRUE(error->description.contains("stuck-new"));
        EXPECT_EQ(recorded().size(), 2u);
        EXPECT_TRUE(QFileInfo::exists(held(stuckNew)) && QFileInfo::exists(held(stuckOld)));
    }
    // An item deleted by hand is no failure: the record goes.
    QFile::remove(held(stuckNew));
    EXPECT_FALSE(SafeBinService::destroy(stuckNew));
    EXPECT_TRUE(recorded().empty());
}

TEST_F(SafeBinServiceTest, LegacyFolderServesWhileOnlyItHasAManifest) {
    const QString legacy = AppIdentity::legacySupportDirectory() + "/SafeBin";
    const SafeBinEntry old = stored("kept.txt", kNow.addDays(-1), legacy);
    writeManifest({old}, legacy);
    EXPECT_EQ(SafeBinService::root(), legacy);
    EXPECT_EQ(SafeBinService::list(), std::vector<SafeBinEntry>{old});
    const auto result = SafeBinService::moveToSafeBin({writeFile(home("new.txt"), "n")});
    ASSERT_EQ(result.moved.size(), 1u);
    EXPECT_TRUE(QFileInfo::exists(legacy + "/" + result.moved[0].storedName));
    EXPECT_EQ(SafeBinService::list().size(), 2u);
    EXPECT_TRUE(QFileInfo(bin()).isDir() && binContents(bin()).isEmpty());

    writeManifest({});  // the support folder's own manifest takes over
    EXPECT_EQ(SafeBinService::root(), bin());
    EXPECT_TRUE(SafeBinService::list().empty());
}

TEST_F(SafeBinServiceTest, UnreadableManifestIsNeverOverwritten) {
    const SafeBinEntry item = stored("precious.txt", kNow.addDays(-40));
    const QByteArray broken = SafeBinEntry::encodeManifest({item}).replace("\"size\":4096,", "");
    writeFile(manifest(), broken);
    const QString file = writeFile(home("doc.txt"), "d");
    EXPECT_TRUE(SafeBinService::list().empty());
    const auto moved = SafeBinService::moveToSafeBin({file});
    ASSERT_TRUE(moved.error);
    EXPECT_EQ(moved.error->code, SafeBinService::kManifestUnreadableCode);
    EXPECT_TRUE(moved.error->description.contains(manifest()));
    EXPECT_TRUE(moved.moved.empty());
    EXPECT_TRUE(QFileInfo::exists(file));
    EXPECT_TRUE(SafeBinService::restore(item).has_value());
    EXPECT_TRUE(SafeBinService::destroy(item).has_value());
    SafeBinService::purgeExpired(30);
    EXPECT_EQ(contents(manifest()), broken);
    EXPECT_TRUE(QFileInfo::exists(held(item)));
    EXPECT_FALSE(QFileInfo::exists(item.originalPath));

    QFile::remove(manifest());
    makeDir(manifest());  // not even a file
    EXPECT_EQ(SafeBinService::moveToSafeBin({file}).error->code, SafeBinService::kManifestUnreadableCode);
    EXPECT_TRUE(QFileInfo::exists(file));
}

TEST_F(SafeBinServiceTest, CraftedStoredNamesNeverReachOutsideTheFolder) {
    const QString victim = writeFile(AppIdentity::supportDirectory() + "/victim.txt", "v");
    const QString victimDir = makeDir(AppIdentity::supportDirectory() + "/victim-dir");
    writeFile(victimDir + "/inside", "i");
    auto crafted = [&](const QString& storedName, const QDateTime& when) {
        return SafeBinEntry::create(QUuid::createUuid(), home("x"), storedName, "x", 1, when);
    };
    const QDateTime old = kNow.addDays(-31);
    const SafeBinEntry current = crafted("../victim-dir", kNow);
    const SafeBinEntry self = crafted("manifest.json", kNow);
    writeManifest({crafted("../victim.txt", old), crafted(victim, old), crafted("..", old), crafted(QString(), old),
                   current, self});
    SafeBinService::purgeExpired(30);
    EXPECT_EQ(recorded(), (std::vector<SafeBinEntry>{current, self}));
    const auto refused = SafeBinService::restore(current);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->code, SafeBinService::kInvalidRecordCode);
    EXPECT_FALSE(QFileInfo::exists(home("x")));
    EXPECT_FALSE(SafeBinService::destroy(current));
    EXPECT_FALSE(SafeBinService::destroy(self));
    EXPECT_TRUE(SafeBinService::list().empty());
    EXPECT_EQ(contents(victim), QByteArray("v"));
    EXPECT_EQ(contents(victimDir + "/inside"), QByteArray("i"));
}

TEST_F(SafeBinServiceTest, RestoreNeverReplacesAnything) {
    const QString file = writeFile(home("report.txt"), "mine");
    const SafeBinEntry entry = SafeBinService::moveToSafeBin({file}).moved.at(0);
    const QByteArray before = contents(manifest());
    writeFile(file, "newer");
    EXPECT_EQ(SafeBinService::restore(entry), FileError::alreadyExists());
    EXPECT_EQ(contents(file), QByteArray("newer"));
    EXPECT_EQ(contents(manifest()), before);

    // A link, even a dangling one, is something at the destination.
    QFile::remove(file);
    ASSERT_EQ(::symlink("nowhere", nativePath(file).constData()), 0);
    EXPECT_EQ(SafeBinService::restore(entry), FileError::alreadyExists());
    EXPECT_EQ(linkTarget(file), "nowhere");
    EXPECT_EQ(contents(held(entry)), QByteArray("mine"));

    // A file where a parent folder should be: the folder cannot be made.
    const QString blocked = writeFile(home("blocker"), "b");
    SafeBinEntry elsewhere = entry;
    elsewhere.originalPath = blocked + "/report.txt";
    writeManifest({elsewhere});
    const auto notFolder = SafeBinService::restore(elsewhere);
    ASSERT_TRUE(notFolder);
    EXPECT_EQ(notFolder->code, ENOTDIR);
    EXPECT_TRUE(notFolder->description.contains(blocked));
    EXPECT_EQ(recorded(), std::vector<SafeBinEntry>{elsewhere});
    writeManifest({entry});

    // The fallback where a file system lacks RENAME_NOREPLACE keeps the same promise.
    const QString a = writeFile(home("p/a"), "a");
    const QString b = writeFile(home("p/b"), "b");
    const QString dir = makeDir(home("p/dir"));
    EXPECT_EQ(FileOperations::renameByPlaceholder(a, b), EEXIST);
    EXPECT_EQ(FileOperations::renameByPlaceholder(a, file), EEXIST);  // the dangling link
    EXPECT_EQ(FileOperations::renameByPlaceholder(dir, makeDir(home("p/empty"))), EEXIST);
    EXPECT_EQ(contents(b), QByteArray("b"));
    EXPECT_EQ(FileOperations::renameByPlaceholder(a, home("p/c")), 0);
    EXPECT_EQ(FileOperations::renameByPlaceholder(dir, home("p/dir2")), 0);
    EXPECT_EQ(contents(home("p/c")), QByteArray("a"));
    EXPECT_FALSE(QFileInfo::exists(a));
    EXPECT_TRUE(QFileInfo(home("p/dir2")).isDir());

    // A stored item that went missing: an error naming it, the record kept.
    QFile::remove(file);
    QFile::remove(held(entry));
    const auto lost = SafeBinService::restore(entry);
    ASSERT_TRUE(lost);
    EXPECT_EQ(lost->code, ENOENT);
    EXPECT_TRUE(lost->description.contains("report.txt"));
    EXPECT_EQ(contents(manifest()), before);
}

TEST_F(SafeBinServiceTest, LinksAreMovedAndMeasuredAsThemselves) {
    const QString big = writeFile(env.path("outside/big.bin"), QByteArray(1 << 20, 'z'));
    const QString link = home("big-link");
    const QString dangling = home("dangling");
    const QString folder = makeDir(home("folder"));
    writeFile(folder + "/small", QByteArray(100, 's'));
    ASSERT_EQ(::symlink(nativePath(big).constData(), nativePath(link).constData()), 0);
    ASSERT_EQ(::symlink("no-such-target", nativePath(dangling).constData()), 0);
    ASSERT_EQ(::symlink(nativePath(big).constData(), nativePath(folder + "/to-big").constData()), 0);
    ASSERT_EQ(::symlink(nativePath(env.path()).constData(), nativePath(folder + "/to-top").constData()), 0);
    EXPECT_LT(SafeBinService::allocatedSize(folder), 1 << 20);
    EXPECT_EQ(SafeBinService::allocatedSize(home("nothing")), 0);

    const auto result = SafeBinService::moveToSafeBin({link, dangling, folder});
    ASSERT_FALSE(result.error);
    ASSERT_EQ(result.moved.size(), 3u);
    EXPECT_LT(result.moved[0].size, 1 << 20);
    EXPECT_EQ(linkTarget(held(result.moved[0])), big);
    EXPECT_EQ(linkTarget(held(result.moved[1])), "no-such-target");
    EXPECT_LT(result.moved[2].size, 1 << 20);
    // Deleting for good removes the links, never what they point at.
    for (const SafeBinEntry& entry : result.moved) ASSERT_FALSE(SafeBinService::destroy(entry));
    EXPECT_EQ(contents(big).size(), 1 << 20);
    EXPECT_TRUE(QFileInfo::exists(env.home()));
    EXPECT_EQ(binContents(bin()), QStringList{"manifest.json"});
}

TEST_F(SafeBinServiceTest, OverlongNamesAreShortenedOnlyInTheFolder) {
    QString wide;
    for (int i = 0; i < 40; ++i) wide += QStringLiteral("\u00e9\U0001F600");  // 2 + 4 bytes each
    for (const QString& name : {QString(246, 'n') + ".txt", wide + ".jpeg", QString(300, 'q')}) {
        const QString file = writeFile(home("long/") + name.left(250), "L");
        const auto result = SafeBinService::moveToSafeBin({file});
        ASSERT_FALSE(result.error) << result.error->description.toStdString();
        const SafeBinEntry& entry = result.moved.at(0);
        EXPECT_EQ(entry.displayName, name.left(250));
        EXPECT_LE(entry.storedName.toUtf8().size(), 255);
        EXPECT_TRUE(entry.storedName.startsWith(JsonCoding::uuidText(entry.id) + '-'));
        const QString extension = PathRules::pathExtension(name);
        EXPECT_TRUE(extension.isEmpty() || entry.storedName.endsWith('.' + extension));
        EXPECT_EQ(QString::fromUtf8(entry.storedName.toUtf8()), entry.storedName) << "no character cut in two";
        ASSERT_FALSE(SafeBinService::restore(entry));
        EXPECT_EQ(contents(file), QByteArray("L"));
    }
}

TEST_F(SafeBinServiceTest, EachPathMovesOrFailsOnItsOwn) {
    const QStringList paths = makeFiles(home("each"), 4);
    {
        FileFault fault([&](std::string_view operation, const QString& path) {
            return operation == "move" && (path == paths[1] || path == paths[2]) ? EBUSY : 0;
        });
        const auto result = SafeBinService::moveToSafeBin(paths);
        ASSERT_TRUE(result.error);
        EXPECT_EQ(result.error->code, EBUSY);
        EXPECT_TRUE(result.error->description.contains(paths[1]) && result.error->description.contains(paths[2]));
        ASSERT_EQ(result.moved.size(), 2u);
        EXPECT_EQ(result.moved[0].originalPath, paths[0]);
        EXPECT_EQ(result.moved[1].originalPath, paths[3]);
        EXPECT_EQ(result.stayed, (QStringList{paths[1], paths[2]}));
        EXPECT_EQ(SafeBinService::list().size(), 2u);
        EXPECT_TRUE(QFileInfo::exists(paths[1]));
    }
    ASSERT_FALSE(SafeBinService::moveToSafeBin({paths[1]}).error) << "the failure poisons nothing";

    // A real refusal part-way: the folder that holds the Safe Bin.
    const auto result = SafeBinService::moveToSafeBin({env.support(), paths[2]});
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, SafeBinService::kInvalidPathCode);
    ASSERT_EQ(result.moved.size(), 1u);
    EXPECT_FALSE(QFileInfo::exists(paths[2]));
    EXPECT_TRUE(QFileInfo(bin()).isDir());
    // Paths that name no item are refused, not guessed at.
    for (const QString& path : {QString("relative/x"), home("each/f0/.."), manifest()}) {
        EXPECT_EQ(SafeBinService::moveToSafeBin({path}).error->code, SafeBinService::kInvalidPathCode);
    }
    EXPECT_EQ(SafeBinService::list().size(), 4u);
}

TEST_F(SafeBinServiceTest, ManifestWriteFailurePutsItemsBack) {
    const QString first = writeFile(home("keep/one"), "1");
    const QString folder = makeDir(home("keep/folder"));
    writeFile(folder + "/f", "f");
    // The manifest, and before it the intent each move records first.
    for (const char* failing : {"/manifest.json", "/manifest.journal"}) {
        FileFault fault([&](std::string_view operation, const QString& path) {
            return operation == "write" && path.endsWith(failing) ? ENOSPC : 0;
        });
        const auto result = SafeBinService::moveToSafeBin({first, folder});
        ASSERT_TRUE(result.error);
        EXPECT_EQ(result.error->code, ENOSPC);
        EXPECT_TRUE(result.moved.empty());
        EXPECT_EQ(contents(first), QByteArray("1"));
        EXPECT_EQ(contents(folder + "/f"), QByteArray("f"));
        EXPECT_TRUE(binContents(bin()).isEmpty());
    }
}

TEST_F(SafeBinServiceTest, MovesAcrossFileSystemsKeepLinksModesTimesAttributesAndAcls) {
    // A real second file system where one can be mounted; else every rename
    // is made to report another file system, which takes the same copy path.
    ScratchFileSystem scratch(env.path("other"), 64 << 20);
    bool failCopy = true;
    FileFault fault([&](std::string_view operation, const QString& path) {
        if (operation == "rename" && !scratch.ok()) return EXDEV;
        return failCopy && operation == "copy" && path.endsWith("/absolute-link") ? ENOSPC : 0;
    });
    const QString tree = makeDir(scratch.path() + "/tree");
    const QString sub = tree + "/sub";
    const QString file = writeFile(sub + "/data.bin", QByteArray(300000, 'd'));
    ASSERT_EQ(::chmod(nativePath(file).constData(), 0640), 0);
    ASSERT_EQ(::symlink("../outside", nativePath(tree + "/relative-link").constData()), 0);
    ASSERT_EQ(::symlink("/etc/hostname", nativePath(sub + "/absolute-link").constData()), 0);
    ASSERT_EQ(::chmod(nativePath(sub).constData(), 0750), 0);
    // Where a download came from, and who else may read: kept both ways.
    const QByteArray origin("https://example.org/data.bin");
    // user::rw-, user 1234 r--, group::r--, mask r--, other ---
    const QByteArray acl = QByteArray::fromHex("02000000" "01000600ffffffff" "02000400d2040000" "04000400ffffffff"
                                               "10000400ffffffff" "20000000ffffffff");
    auto attribute = [](const QString& path, const char* name) {
        QByteArray value(256, '\0');
        const ssize_t length = ::lgetxattr(nativePath(path).constData(), name, value.data(), size_t(value.size()));
        return length < 0 ? QByteArray("<none>") : value.left(length);
    };
    ASSERT_EQ(::setxattr(nativePath(file).constData(), "user.xdg.origin.url", origin.constData(), size_t(origin.size()), 0), 0);
    ASSERT_EQ(::setxattr(nativePath(sub).constData(), "user.note", "folder", 6, 0), 0);
    const bool acls =
        ::setxattr(nativePath(file).constData(), "system.posix_acl_access", acl.constData(), size_t(acl.size()), 0) == 0 &&
        ::setxattr(nativePath(sub).constData(), "system.posix_acl_default", acl.constData(), size_t(acl.size()), 0) == 0;
    auto expectKept = [&](const QString& top) {
        EXPECT_EQ(contents(top + "/sub/data.bin"), QByteArray(300000, 'd'));
        EXPECT_EQ(lstatOf(top + "/sub/data.bin").st_mode & 07777, 0640u);
        EXPECT_EQ(lstatOf(top + "/sub").st_mode & 07777, 0750u);
        EXPECT_EQ(linkTarget(top + "/relative-link"), "../outside");
        EXPECT_EQ(linkTarget(top + "/sub/absolute-link"), "/etc/hostname");
        EXPECT_EQ(attribute(top + "/sub/data.bin", "user.xdg.origin.url"), origin);
        EXPECT_EQ(attribute(top + "/sub", "user.note"), QByteArray("folder"));
        if (!acls) return;
        EXPECT_EQ(attribute(top + "/sub/data.bin", "system.posix_acl_access"), acl);
        EXPECT_EQ(attribute(top + "/sub", "system.posix_acl_default"), acl);
    };
    const struct timespec when[2] = {{1500000000, 0}, {1500000000, 0}};
    for (const QString& path : {file, tree + "/relative-link", sub, tree}) {
        ASSERT_EQ(::utimensat(AT_FDCWD, nativePath(path).constData(), when, AT_SYMLINK_NOFOLLOW), 0);
    }

    // A copy that fails leaves the original whole and nothing behind in the bin.
    const auto failed = SafeBinService::moveToSafeBin({tree});
    ASSERT_TRUE(failed.error);
    EXPECT_EQ(failed.error->code, ENOSPC);
    EXPECT_TRUE(failed.error->description.contains("absolute-link"));
    EXPECT_TRUE(failed.moved.empty());
    EXPECT_TRUE(binContents(SafeBinService::root()).isEmpty());
    expectKept(tree);
    failCopy = false;

    const auto result = SafeBinService::moveToSafeBin({tree});
    ASSERT_FALSE(result.error) << result.error->description.toStdString();
    ASSERT_EQ(result.moved.size(), 1u);
    EXPECT_FALSE(QFileInfo::exists(tree));
    EXPECT_EQ(binContents(SafeBinService::root()), (QStringList{result.moved[0].storedName, "manifest.json"}));
    expectKept(held(result.moved[0]));
    for (const char* kept : {"/sub/data.bin", "/sub", "", "/relative-link"}) {
        EXPECT_EQ(lstatOf(held(result.moved[0]) + kept).st_mtim.tv_sec, 1500000000) << kept;
    }
    EXPECT_GE(result.moved[0].size, 300000);

    // And back again, onto the other file system.
    ASSERT_FALSE(SafeBinService::restore(result.moved[0]));
    expectKept(tree);
    EXPECT_EQ(QDir(scratch.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"tree"});
    EXPECT_EQ(binContents(SafeBinService::root()), QStringList{"manifest.json"});
}

TEST_F(SafeBinServiceTest, MovesKeepOrderAndPurgeWhicheverWayTheManifestIsRead) {
    // Written sorted by the earlier writer: the new entry goes in front.
    const SafeBinEntry kept = stored("kept", kNow.addDays(-2));
    const SafeBinEntry older = stored("older", kNow.addDays(-3));
    writeManifest({kept, older});
    const auto one = SafeBinService::moveToSafeBin({writeFile(home("first"), "1")});
    EXPECT_EQ(recorded(), (std::vector<SafeBinEntry>{one.moved.at(0), kept, older}));

    // Out of order, with an expired entry: sorted, purged, then the new entry in front.
    const SafeBinEntry expired = stored("expired", kNow.addDays(-31));
    writeManifest({older, expired, kept});
    const auto two = SafeBinService::moveToSafeBin({writeFile(home("second"), "2")});
    EXPECT_EQ(recorded(), (std::vector<SafeBinEntry>{two.moved.at(0), kept, older}));
    EXPECT_FALSE(QFileInfo::exists(held(expired)));

    writeFile(manifest(), " [ ] ");  // an empty list, written with spaces
    const auto three = SafeBinService::moveToSafeBin({writeFile(home("third"), "3")});
    EXPECT_EQ(recorded(), three.moved);
}

TEST_F(SafeBinServiceTest, ItemsSpendThirtyDaysInTheBinWhateverTheClockSays) {
    const SafeBinEntry a = SafeBinService::moveToSafeBin({writeFile(home("first.log"), "1")}).moved.at(0);
    env.jumpClock(kNow.addDays(31));  // 31 days ahead: minutes-old items stay
    SafeBinService::purgeExpired(30);
    EXPECT_EQ(SafeBinService::list().size(), 1u);

    // Set 40 days back, a clean, then corrected: the item is dated by the
    // newest time seen, so the correction does not age it.
    env.jumpClock(kNow.addDays(-40));
    const SafeBinEntry b = SafeBinService::moveToSafeBin({writeFile(home("second.log"), "2")}).moved.at(0);
    EXPECT_EQ(b.removedAt, kNow);
    env.jumpClock(kNow);
    SafeBinService::purgeExpired(30);
    EXPECT_EQ(SafeBinService::list().size(), 2u);

    // A removal date in the future (a hand-edited manifest) counts as now.
    std::vector<SafeBinEntry> entries = recorded();
    const SafeBinEntry future = stored("future", kNow.addDays(100));
    entries.insert(entries.begin(), future);
    writeManifest(entries);
    env.setNow(kNow.addDays(30).addSecs(1));  // thirty days that really pass
    SafeBinService::purgeExpired(30);
    EXPECT_EQ(SafeBinService::list(), std::vector<SafeBinEntry>{future});
    EXPECT_FALSE(QFileInfo::exists(held(a)));
}

TEST_F(SafeBinServiceTest, PathsLongerThanTheSystemLimitGoBackThroughDescriptors) {
    QString deep = home("deep");
    while (deep.size() < PATH_MAX + 300) deep += '/' + QString(200, 'd');
    auto file = [&](int flags) {
        int error = 0;
        const FileDescriptor folder = FileOperations::openFolderAsWritten(deep, env.home(), error, flags != O_RDONLY);
        EXPECT_TRUE(folder.valid()) << error;
        return folder.valid() ? ::openat(folder.get(), "note.txt", flags, 0644) : -1;
    };
    int fd = file(O_WRONLY | O_CREAT | O_EXCL);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "deep", 4), 4);
    ::close(fd);
    const SafeBinMoveResult result = SafeBinService::moveToSafeBin({deep + "/note.txt"});
    ASSERT_FALSE(result.error) << result.error->description.toStdString();
    ASSERT_FALSE(FileOperations::removeItem(home("deep")));  // its folders are made again, one by one
    const auto restored = SafeBinService::restore(result.moved.at(0));
    ASSERT_FALSE(restored) << restored->description.toStdString();
    fd = file(O_RDONLY);
    ASSERT_GE(fd, 0);
    char text[8] = {};
    EXPECT_EQ(::read(fd, text, sizeof text), 4);
    ::close(fd);
    EXPECT_EQ(QByteArray(text), QByteArray("deep"));
    EXPECT_TRUE(SafeBinService::list().empty());
}
