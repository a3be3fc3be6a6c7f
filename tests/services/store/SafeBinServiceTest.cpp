#include "services/store/SafeBinService.h"

#include "StoreTestSupport.h"
#include "TestSupport.h"
#include "platform/FileOperations.h"
#include "support/AppIdentity.h"
#include "support/AtomicFile.h"
#include "support/JsonCoding.h"
#include "support/PathRules.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace tarnwick;

namespace {

const QDateTime kNow(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC);

using test::binContents;
using test::contents;
using Fault = test::FileFault;
using test::linkTarget;
using test::lstatOf;
using test::nativePath;

class SafeBinServiceTest : public ::testing::Test {
protected:
    SafeBinServiceTest() { env.setNow(kNow); }

    QString bin() const { return env.support() + QStringLiteral("/Tarnwick/SafeBin"); }
    QString manifest() const { return bin() + QStringLiteral("/manifest.json"); }
    QString home(const QString& relative) const { return env.home() + QLatin1Char('/') + relative; }

    // An entry with its stored item, as if moved in at `when`.
    SafeBinEntry stored(const QString& name, const QDateTime& when, const QString& folder = {}) {
        const QUuid id = QUuid::createUuid();
        const QString storedName = SafeBinService::storedNameFor(id, name);
        test::writeFile((folder.isEmpty() ? bin() : folder) + QLatin1Char('/') + storedName, name.toUtf8());
        return SafeBinEntry::create(id, home(QStringLiteral("gone/") + name), storedName, name, 4096, when);
    }
    void writeManifest(const std::vector<SafeBinEntry>& entries, const QString& folder = {}) {
        test::makeDir(folder.isEmpty() ? bin() : folder);
        ASSERT_TRUE(AtomicFile::write((folder.isEmpty() ? bin() : folder) + QStringLiteral("/manifest.json"),
                                      SafeBinEntry::encodeManifest(entries)));
    }
    std::vector<SafeBinEntry> manifestEntries() const {
        const auto data = AtomicFile::read(manifest());
        if (!data) return {};
        return SafeBinEntry::decodeManifest(*data).value_or(std::vector<SafeBinEntry>{});
    }

    test::FakeEnvironment env;
};

}  // namespace

TEST_F(SafeBinServiceTest, MoveListRestoreAndDestroyRoundTrip) {
    const QString older = test::writeFile(home(QStringLiteral("old.log")), "old");
    ASSERT_FALSE(SafeBinService::moveToSafeBin({older}).error);

    env.setNow(kNow.addSecs(60));
    const QString file = test::writeFile(home(QStringLiteral("a/b.txt")), QByteArray(10000, 'b'));
    const QString folder = test::makeDir(home(QStringLiteral("a/folder")));
    test::writeFile(folder + QStringLiteral("/inner/x.bin"), QByteArray(5000, 'x'));
    const SafeBinMoveResult result =
        SafeBinService::moveToSafeBin({file, home(QStringLiteral("missing")), folder, file});
    EXPECT_FALSE(result.error);
    ASSERT_EQ(result.moved.size(), 2u);

    const SafeBinEntry& fileEntry = result.moved[0];
    EXPECT_EQ(fileEntry.originalPath, file);
    EXPECT_EQ(fileEntry.displayName, QStringLiteral("b.txt"));
    EXPECT_EQ(fileEntry.removedAt, kNow.addSecs(60));
    EXPECT_EQ(fileEntry.size, qint64(lstatOf(bin() + QLatin1Char('/') + fileEntry.storedName).st_blocks) * 512);
    EXPECT_GE(result.moved[1].size, 5000);
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_EQ(contents(bin() + QLatin1Char('/') + result.moved[1].storedName + QStringLiteral("/inner/x.bin")).size(), 5000);

    // The manifest holds this call's entries in reverse order, ahead of the older one.
    const auto recorded = manifestEntries();
    ASSERT_EQ(recorded.size(), 3u);
    EXPECT_EQ(recorded[0], result.moved[1]);
    EXPECT_EQ(recorded[1], result.moved[0]);
    EXPECT_EQ(recorded[2].displayName, QStringLiteral("old.log"));
    EXPECT_EQ(SafeBinService::list(), recorded);

    ASSERT_FALSE(SafeBinService::restore(fileEntry));
    EXPECT_EQ(contents(file), QByteArray(10000, 'b'));
    EXPECT_EQ(SafeBinService::list().size(), 2u);

    // Parent folders that are gone are made again.
    QDir(home(QStringLiteral("a"))).removeRecursively();
    ASSERT_FALSE(SafeBinService::restore(result.moved[1]));
    EXPECT_EQ(contents(folder + QStringLiteral("/inner/x.bin")).size(), 5000);

    const SafeBinEntry oldEntry = SafeBinService::list().at(0);
    ASSERT_FALSE(SafeBinService::destroy(oldEntry));
    EXPECT_FALSE(QFileInfo::exists(bin() + QLatin1Char('/') + oldEntry.storedName));
    EXPECT_TRUE(SafeBinService::list().empty());
    EXPECT_EQ(binContents(bin()), QStringList{QStringLiteral("manifest.json")});
}

TEST_F(SafeBinServiceTest, ExpiryKeepsExactlyThirtyDaysAndRemovesOlder) {
    const SafeBinEntry boundary = stored(QStringLiteral("boundary"), kNow.addSecs(-30 * 86400));
    const SafeBinEntry expired = stored(QStringLiteral("expired"), kNow.addSecs(-30 * 86400 - 1));
    const SafeBinEntry fresh = stored(QStringLiteral("fresh"), kNow);
    writeManifest({fresh, expired, boundary});

    SafeBinService::purgeExpired(30);
    EXPECT_EQ(manifestEntries(), (std::vector<SafeBinEntry>{fresh, boundary}));  // order as read
    EXPECT_FALSE(QFileInfo::exists(bin() + QLatin1Char('/') + expired.storedName));
    EXPECT_TRUE(QFileInfo::exists(bin() + QLatin1Char('/') + boundary.storedName));

    // A purge that removes nothing does not even rewrite the file.
    const struct timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, nativePath(manifest()).constData(), past, 0), 0);
    const ino_t inode = lstatOf(manifest()).st_ino;
    SafeBinService::purgeExpired(30);
    EXPECT_EQ(lstatOf(manifest()).st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(lstatOf(manifest()).st_ino, inode);

    // Every other operation purges at 30 days first.
    env.setNow(kNow.addSecs(1));
    SafeBinService::destroy(fresh);
    EXPECT_TRUE(SafeBinService::list().empty());
    EXPECT_FALSE(QFileInfo::exists(bin() + QLatin1Char('/') + boundary.storedName));
}

TEST_F(SafeBinServiceTest, LegacyFolderServesWhileOnlyItHasAManifest) {
    const QString legacy = AppIdentity::legacySupportDirectory() + QStringLiteral("/SafeBin");
    const SafeBinEntry old = stored(QStringLiteral("kept.txt"), kNow.addDays(-1), legacy);
    writeManifest({old}, legacy);

    EXPECT_EQ(SafeBinService::root(), legacy);
    EXPECT_EQ(SafeBinService::list(), std::vector<SafeBinEntry>{old});
    const QString file = test::writeFile(home(QStringLiteral("new.txt")), "n");
    const auto result = SafeBinService::moveToSafeBin({file});
    ASSERT_EQ(result.moved.size(), 1u);
    EXPECT_TRUE(QFileInfo::exists(legacy + QLatin1Char('/') + result.moved[0].storedName));
    EXPECT_EQ(SafeBinService::list().size(), 2u);
    EXPECT_TRUE(QFileInfo(bin()).isDir());
    EXPECT_TRUE(binContents(bin()).isEmpty());

    // Once the support folder has its own manifest, it is the one in use.
    writeManifest({});
    EXPECT_EQ(SafeBinService::root(), bin());
    EXPECT_TRUE(SafeBinService::list().empty());
}

TEST_F(SafeBinServiceTest, UnreadableManifestIsNeverOverwritten) {
    const SafeBinEntry item = stored(QStringLiteral("precious.txt"), kNow.addDays(-40));
    const QByteArray broken = SafeBinEntry::encodeManifest({item}).replace("\"size\":4096,", "");
    test::writeFile(manifest(), broken);
    const QString file = test::writeFile(home(QStringLiteral("doc.txt")), "d");

    EXPECT_TRUE(SafeBinService::list().empty());
    const auto moved = SafeBinService::moveToSafeBin({file});
    ASSERT_TRUE(moved.error);
    EXPECT_EQ(moved.error->domain, QStringLiteral("Tarnwick"));
    EXPECT_EQ(moved.error->code, SafeBinService::kManifestUnreadableCode);
    EXPECT_TRUE(moved.error->description.contains(manifest()));
    EXPECT_TRUE(moved.moved.empty());
    EXPECT_TRUE(QFileInfo::exists(file));
    EXPECT_TRUE(SafeBinService::restore(item).has_value());
    EXPECT_TRUE(SafeBinService::destroy(item).has_value());
    SafeBinService::purgeExpired(30);
    EXPECT_EQ(contents(manifest()), broken);
    EXPECT_TRUE(QFileInfo::exists(bin() + QLatin1Char('/') + item.storedName));
    EXPECT_FALSE(QFileInfo::exists(item.originalPath));

    // A manifest that is not even a file is refused the same way.
    QFile::remove(manifest());
    test::makeDir(manifest());
    EXPECT_EQ(SafeBinService::moveToSafeBin({file}).error->code, SafeBinService::kManifestUnreadableCode);
    EXPECT_TRUE(QFileInfo::exists(file));
}

TEST_F(SafeBinServiceTest, CraftedStoredNamesNeverReachOutsideTheFolder) {
    const QString victim = test::writeFile(env.support() + QStringLiteral("/Tarnwick/victim.txt"), "v");
    const QString victimDir = test::makeDir(env.support() + QStringLiteral("/Tarnwick/victim-dir"));
    test::writeFile(victimDir + QStringLiteral("/inside"), "i");
    auto crafted = [&](const QString& storedName, const QDateTime& when) {
        return SafeBinEntry::create(QUuid::createUuid(), home(QStringLiteral("x")), storedName, QStringLiteral("x"), 1, when);
    };
    const QDateTime old = kNow.addDays(-31);
    const std::vector<SafeBinEntry> expired = {crafted(QStringLiteral("../victim.txt"), old), crafted(victim, old),
                                               crafted(QStringLiteral(".."), old), crafted(QString(), old)};
    const SafeBinEntry current = crafted(QStringLiteral("../victim-dir"), kNow);
    const SafeBinEntry self = crafted(QStringLiteral("manifest.json"), kNow);
    std::vector<SafeBinEntry> all = expired;
    all.push_back(current);
    all.push_back(self);
    writeManifest(all);

    SafeBinService::purgeExpired(30);
    EXPECT_EQ(manifestEntries(), (std::vector<SafeBinEntry>{current, self}));
    const auto refused = SafeBinService::restore(current);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->code, SafeBinService::kInvalidRecordCode);
    EXPECT_FALSE(QFileInfo::exists(home(QStringLiteral("x"))));
    EXPECT_FALSE(SafeBinService::destroy(current));
    EXPECT_FALSE(SafeBinService::destroy(self));
    EXPECT_TRUE(SafeBinService::list().empty());
    EXPECT_EQ(contents(victim), QByteArray("v"));
    EXPECT_EQ(contents(victimDir + QStringLiteral("/inside")), QByteArray("i"));
}

TEST_F(SafeBinServiceTest, RestoreNeverReplacesAnything) {
    const QString file = test::writeFile(home(QStringLiteral("report.txt")), "mine");
    const SafeBinEntry entry = SafeBinService::moveToSafeBin({file}).moved.at(0);
    const QByteArray before = contents(manifest());

    test::writeFile(file, "newer");
    const auto exists = SafeBinService::restore(entry);
    ASSERT_TRUE(exists);
    EXPECT_EQ(*exists, FileError::alreadyExists());
    EXPECT_EQ(exists->description, QStringLiteral("A file already exists at the original location."));
    EXPECT_EQ(contents(file), QByteArray("newer"));
    EXPECT_EQ(contents(manifest()), before);

    // A link, even a dangling one, is something at the destination.
    QFile::remove(file);
    ASSERT_EQ(::symlink("nowhere", nativePath(file).constData()), 0);
    EXPECT_EQ(SafeBinService::restore(entry), FileError::alreadyExists());
    EXPECT_EQ(linkTarget(file), QStringLiteral("nowhere"));
    EXPECT_EQ(contents(bin() + QLatin1Char('/') + entry.storedName), QByteArray("mine"));

    // A file where a parent folder should be: the folder cannot be made.
    const QString blocked = test::writeFile(home(QStringLiteral("blocker")), "b");
    SafeBinEntry elsewhere = entry;
    elsewhere.originalPath = blocked + QStringLiteral("/report.txt");
    writeManifest({elsewhere});
    const auto notFolder = SafeBinService::restore(elsewhere);
    ASSERT_TRUE(notFolder);
    EXPECT_EQ(notFolder->code, ENOTDIR);
    EXPECT_TRUE(notFolder->description.contains(blocked));
    EXPECT_EQ(manifestEntries(), std::vector<SafeBinEntry>{elsewhere});
    writeManifest({entry});

    // The fallback used where a file system lacks RENAME_NOREPLACE keeps the same promise.
    const QString a = test::writeFile(home(QStringLiteral("p/a")), "a");
    const QString b = test::writeFile(home(QStringLiteral("p/b")), "b");
    const QString dir = test::makeDir(home(QStringLiteral("p/dir")));
    const QString emptyDir = test::makeDir(home(QStringLiteral("p/empty")));
    EXPECT_EQ(FileOperations::renameByPlaceholder(a, b), EEXIST);
    EXPECT_EQ(FileOperations::renameByPlaceholder(a, file), EEXIST);  // the dangling link
    EXPECT_EQ(FileOperations::renameByPlaceholder(dir, emptyDir), EEXIST);
    EXPECT_EQ(contents(b), QByteArray("b"));
    EXPECT_EQ(FileOperations::renameByPlaceholder(a, home(QStringLiteral("p/c"))), 0);
    EXPECT_EQ(FileOperations::renameByPlaceholder(dir, home(QStringLiteral("p/dir2"))), 0);
    EXPECT_EQ(contents(home(QStringLiteral("p/c"))), QByteArray("a"));
    EXPECT_FALSE(QFileInfo::exists(a));
    EXPECT_TRUE(QFileInfo(home(QStringLiteral("p/dir2"))).isDir());

    // A stored item that went missing: an error naming it, the record kept.
    QFile::remove(file);
    QFile::remove(bin() + QLatin1Char('/') + entry.storedName);
    const auto lost = SafeBinService::restore(entry);
    ASSERT_TRUE(lost);
    EXPECT_EQ(lost->code, ENOENT);
    EXPECT_TRUE(lost->description.contains(QStringLiteral("report.txt")));
    EXPECT_EQ(contents(manifest()), before);
}

TEST_F(SafeBinServiceTest, LinksAreMovedAndMeasuredAsThemselves) {
    const QString big = test::writeFile(env.path(QStringLiteral("outside/big.bin")), QByteArray(1 << 20, 'z'));
    const QString link = home(QStringLiteral("big-link"));
    const QString dangling = home(QStringLiteral("dangling"));
    ASSERT_EQ(::symlink(nativePath(big).constData(), nativePath(link).constData()), 0);
    ASSERT_EQ(::symlink("no-such-target", nativePath(dangling).constData()), 0);
    const QString folder = test::makeDir(home(QStringLiteral("folder")));
    test::writeFile(folder + QStringLiteral("/small"), QByteArray(100, 's'));
    ASSERT_EQ(::symlink(nativePath(big).constData(), nativePath(folder + QStringLiteral("/to-big")).constData()), 0);
    ASSERT_EQ(::symlink(nativePath(env.path()).constData(), nativePath(folder + QStringLiteral("/to-top")).constData()), 0);

    EXPECT_LT(SafeBinService::allocatedSize(folder), 1 << 20);
    EXPECT_EQ(SafeBinService::allocatedSize(home(QStringLiteral("nothing"))), 0);

    const auto result = SafeBinService::moveToSafeBin({link, dangling, folder});
    ASSERT_FALSE(result.error);
    ASSERT_EQ(result.moved.size(), 3u);
    EXPECT_LT(result.moved[0].size, 1 << 20);
    EXPECT_EQ(linkTarget(bin() + QLatin1Char('/') + result.moved[0].storedName), big);
    EXPECT_EQ(linkTarget(bin() + QLatin1Char('/') + result.moved[1].storedName), QStringLiteral("no-such-target"));
    EXPECT_LT(result.moved[2].size, 1 << 20);

    // Deleting for good removes the links, never what they point at.
    for (const SafeBinEntry& entry : result.moved) ASSERT_FALSE(SafeBinService::destroy(entry));
    EXPECT_EQ(contents(big).size(), 1 << 20);
    EXPECT_TRUE(QFileInfo::exists(env.home()));
    EXPECT_EQ(binContents(bin()), QStringList{QStringLiteral("manifest.json")});
}

TEST_F(SafeBinServiceTest, FolderMeasureStopsAfterFortyThousandEntries) {
    const QString folder = test::makeDir(env.path(QStringLiteral("many")));
    for (int i = 0; i < 40001; ++i) {
        const int fd = ::open(nativePath(folder + QStringLiteral("/f") + QString::number(i)).constData(),
                              O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "x", 1), 1);
        ::close(fd);
    }
    const qint64 block = qint64(lstatOf(folder + QStringLiteral("/f0")).st_blocks) * 512;
    ASSERT_GT(block, 0);
    EXPECT_EQ(SafeBinService::allocatedSize(folder), 40000 * block);
}

TEST_F(SafeBinServiceTest, FailedRemovalKeepsTheRecord) {
    const SafeBinEntry expired = stored(QStringLiteral("stuck-old"), kNow.addDays(-31));
    const SafeBinEntry current = stored(QStringLiteral("stuck-new"), kNow);
    writeManifest({current, expired});
    const QString expiredItem = bin() + QLatin1Char('/') + expired.storedName;
    const QString currentItem = bin() + QLatin1Char('/') + current.storedName;
    Fault fault([&](std::string_view operation, const QString& path) {
        return operation == "remove" && (path == expiredItem || path == currentItem) ? EBUSY : 0;
    });

    SafeBinService::purgeExpired(30);
    EXPECT_EQ(manifestEntries().size(), 2u);
    const auto error = SafeBinService::destroy(current);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, EBUSY);
    EXPECT_TRUE(error->description.contains(QStringLiteral("stuck-new")));
    EXPECT_EQ(manifestEntries().size(), 2u);
    EXPECT_TRUE(QFileInfo::exists(currentItem));
    EXPECT_TRUE(QFileInfo::exists(expiredItem));

    // An item deleted by hand is no failure: the record goes.
    FileOperations::setFaultHookForTesting({});
    QFile::remove(currentItem);
    EXPECT_FALSE(SafeBinService::destroy(current));
    EXPECT_TRUE(manifestEntries().empty());
}

TEST_F(SafeBinServiceTest, OverlongNamesAreShortenedOnlyInTheFolder) {
    const QString longName = QString(246, QLatin1Char('n')) + QStringLiteral(".txt");  // 250 bytes
    QString wide;
    for (int i = 0; i < 40; ++i) wide += QStringLiteral("\u00e9\U0001F600");  // 2 + 4 bytes each
    wide += QStringLiteral(".jpeg");                                            // 245 bytes in all

    for (const QString& name : {longName, wide}) {
        const QString file = test::writeFile(home(QStringLiteral("long/") + name), "L");
        ASSERT_TRUE(QFileInfo::exists(file));
        const auto result = SafeBinService::moveToSafeBin({file});
        ASSERT_FALSE(result.error) << result.error->description.toStdString();
        const SafeBinEntry& entry = result.moved.at(0);
        EXPECT_EQ(entry.displayName, name);
        EXPECT_LE(entry.storedName.toUtf8().size(), 255);
        EXPECT_TRUE(entry.storedName.startsWith(JsonCoding::uuidText(entry.id) + QLatin1Char('-')));
        EXPECT_TRUE(entry.storedName.endsWith(QLatin1Char('.') + PathRules::pathExtension(name)));
        EXPECT_EQ(QString::fromUtf8(entry.storedName.toUtf8()), entry.storedName);
        ASSERT_FALSE(SafeBinService::restore(entry));
        EXPECT_EQ(contents(file), QByteArray("L"));
    }
    const QUuid id = QUuid::createUuid();
    const QString noExtension = QString(300, QLatin1Char('q'));
    EXPECT_EQ(SafeBinService::storedNameFor(id, noExtension).toUtf8().size(), 255);
    EXPECT_EQ(SafeBinService::storedNameFor(id, QStringLiteral("short.txt")), JsonCoding::uuidText(id) + QStringLiteral("-short.txt"));
}

TEST_F(SafeBinServiceTest, EachPathMovesOrFailsOnItsOwn) {
    const QString first = test::writeFile(home(QStringLiteral("one")), "1");
    const QString second = test::writeFile(home(QStringLiteral("two")), "2");
    const QString third = test::writeFile(home(QStringLiteral("three")), "3");
    const QString fourth = test::writeFile(home(QStringLiteral("four")), "4");
    {
        Fault fault([&](std::string_view operation, const QString& path) {
            return operation == "move" && (path == second || path == third) ? EBUSY : 0;
        });
        const auto result = SafeBinService::moveToSafeBin({first, second, third, fourth});
        ASSERT_TRUE(result.error);
        EXPECT_EQ(result.error->code, EBUSY);
        EXPECT_TRUE(result.error->description.contains(second));
        EXPECT_TRUE(result.error->description.contains(third));
        ASSERT_EQ(result.moved.size(), 2u);
        EXPECT_EQ(result.moved[0].originalPath, first);
        EXPECT_EQ(result.moved[1].originalPath, fourth);
        EXPECT_EQ(result.stayed, (QStringList{second, third}));
        EXPECT_EQ(SafeBinService::list().size(), 2u);
        EXPECT_FALSE(QFileInfo::exists(first));
        EXPECT_TRUE(QFileInfo::exists(second));
        EXPECT_FALSE(QFileInfo::exists(fourth));
    }
    // The failure poisons nothing: the same paths move on the next call.
    ASSERT_FALSE(SafeBinService::moveToSafeBin({second}).error);

    // A real refusal part-way: the folder that holds the Safe Bin.
    const auto result = SafeBinService::moveToSafeBin({env.support(), third});
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, SafeBinService::kInvalidPathCode);
    ASSERT_EQ(result.moved.size(), 1u);
    EXPECT_EQ(SafeBinService::list().size(), 4u);
    EXPECT_FALSE(QFileInfo::exists(third));
    EXPECT_TRUE(QFileInfo(bin()).isDir());

    // Paths that name no item are refused, not guessed at.
    EXPECT_EQ(SafeBinService::moveToSafeBin({QStringLiteral("relative/x")}).error->code, SafeBinService::kInvalidPathCode);
    EXPECT_EQ(SafeBinService::moveToSafeBin({home(QStringLiteral("one/.."))}).error->code, SafeBinService::kInvalidPathCode);
    EXPECT_EQ(SafeBinService::moveToSafeBin({bin() + QStringLiteral("/manifest.json")}).error->code,
              SafeBinService::kInvalidPathCode);
    EXPECT_EQ(SafeBinService::list().size(), 4u);
}

TEST_F(SafeBinServiceTest, ManifestWriteFailurePutsItemsBack) {
    const QString first = test::writeFile(home(QStringLiteral("keep/one")), "1");
    const QString folder = test::makeDir(home(QStringLiteral("keep/folder")));
    test::writeFile(folder + QStringLiteral("/f"), "f");
    {
        Fault fault([&](std::string_view operation, const QString& path) {
            return operation == "write" && path == manifest() ? ENOSPC : 0;
        });
        const auto result = SafeBinService::moveToSafeBin({first, folder});
        ASSERT_TRUE(result.error);
        EXPECT_EQ(result.error->code, ENOSPC);
        EXPECT_TRUE(result.error->description.contains(QStringLiteral("put back")));
        EXPECT_TRUE(result.moved.empty());
        EXPECT_EQ(contents(first), QByteArray("1"));
        EXPECT_EQ(contents(folder + QStringLiteral("/f")), QByteArray("f"));
        EXPECT_TRUE(binContents(bin()).isEmpty());
    }
    // Nor does anything move when its intent cannot be recorded first.
    Fault fault([&](std::string_view operation, const QString& path) {
        return operation == "write" && path.endsWith(QStringLiteral("/manifest.journal")) ? ENOSPC : 0;
    });
    const auto result = SafeBinService::moveToSafeBin({first, folder});
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, ENOSPC);
    EXPECT_TRUE(result.error->description.contains(QStringLiteral("journal")));
    EXPECT_TRUE(result.moved.empty());
    EXPECT_EQ(contents(first), QByteArray("1"));
    EXPECT_TRUE(binContents(bin()).isEmpty());
}

TEST_F(SafeBinServiceTest, MovesAcrossFileSystemsKeepLinksModesTimesAttributesAndAcls) {
    // A real second file system where one can be mounted; else every rename
    // is made to report another file system, which takes the same copy path.
    test::ScratchFileSystem scratch(env.path(QStringLiteral("other")), 64 << 20);
    bool failCopy = true;
    Fault fault([&](std::string_view operation, const QString& path) {
        if (operation == "rename" && !scratch.ok()) return EXDEV;
        return failCopy && operation == "copy" && path.endsWith(QStringLiteral("/absolute-link")) ? ENOSPC : 0;
    });
    const QString tree = test::makeDir(scratch.path() + QStringLiteral("/tree"));
    const QString file = test::writeFile(tree + QStringLiteral("/sub/data.bin"), QByteArray(300000, 'd'));
    ASSERT_EQ(::chmod(nativePath(file).constData(), 0640), 0);
    ASSERT_EQ(::symlink("../outside", nativePath(tree + QStringLiteral("/relative-link")).constData()), 0);
    ASSERT_EQ(::symlink("/etc/hostname", nativePath(tree + QStringLiteral("/sub/absolute-link")).constData()), 0);
    ASSERT_EQ(::chmod(nativePath(tree + QStringLiteral("/sub")).constData(), 0750), 0);
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
    const QString sub = tree + QStringLiteral("/sub");
    ASSERT_EQ(::setxattr(nativePath(file).constData(), "user.xdg.origin.url", origin.constData(), size_t(origin.size()), 0), 0);
    ASSERT_EQ(::setxattr(nativePath(sub).constData(), "user.note", "folder", 6, 0), 0);
    const bool acls =
        ::setxattr(nativePath(file).constData(), "system.posix_acl_access", acl.constData(), size_t(acl.size()), 0) == 0 &&
        ::setxattr(nativePath(sub).constData(), "system.posix_acl_default", acl.constData(), size_t(acl.size()), 0) == 0;
    auto expectAttributes = [&](const QString& fileCopy, const QString& subCopy) {
        EXPECT_EQ(attribute(fileCopy, "user.xdg.origin.url"), origin);
        EXPECT_EQ(attribute(subCopy, "user.note"), QByteArray("folder"));
        if (!acls) return;
        EXPECT_EQ(attribute(fileCopy, "system.posix_acl_access"), acl);
        EXPECT_EQ(attribute(subCopy, "system.posix_acl_default"), acl);
    };
    const struct timespec when[2] = {{1500000000, 0}, {1500000000, 0}};
    for (const QString& path : {file, tree + QStringLiteral("/relative-link"), tree + QStringLiteral("/sub"), tree}) {
        ASSERT_EQ(::utimensat(AT_FDCWD, nativePath(path).constData(), when, AT_SYMLINK_NOFOLLOW), 0);
    }

    // A copy that fails leaves the original whole and nothing behind in the bin.
    {
        const auto failed = SafeBinService::moveToSafeBin({tree});
        ASSERT_TRUE(failed.error);
        EXPECT_EQ(failed.error->code, ENOSPC);
        EXPECT_TRUE(failed.error->description.contains(QStringLiteral("absolute-link")));
        EXPECT_TRUE(failed.moved.empty());
        EXPECT_TRUE(binContents(SafeBinService::root()).isEmpty());
        EXPECT_EQ(contents(file).size(), 300000);
        EXPECT_EQ(linkTarget(tree + QStringLiteral("/sub/absolute-link")), QStringLiteral("/etc/hostname"));
    }
    failCopy = false;

    const auto result = SafeBinService::moveToSafeBin({tree});
    ASSERT_FALSE(result.error) << result.error->description.toStdString();
    ASSERT_EQ(result.moved.size(), 1u);
    EXPECT_FALSE(QFileInfo::exists(tree));
    const QString stored = SafeBinService::root() + QLatin1Char('/') + result.moved[0].storedName;
    EXPECT_EQ(binContents(SafeBinService::root()), (QStringList{result.moved[0].storedName, QStringLiteral("manifest.json")}));
    EXPECT_EQ(contents(stored + QStringLiteral("/sub/data.bin")), QByteArray(300000, 'd'));
    EXPECT_EQ(lstatOf(stored + QStringLiteral("/sub/data.bin")).st_mode & 07777, 0640u);
    EXPECT_EQ(lstatOf(stored + QStringLiteral("/sub")).st_mode & 07777, 0750u);
    for (const char* kept : {"/sub/data.bin", "/sub", "", "/relative-link"}) {
        EXPECT_EQ(lstatOf(stored + QLatin1String(kept)).st_mtim.tv_sec, 1500000000) << kept;
    }
    EXPECT_EQ(linkTarget(stored + QStringLiteral("/relative-link")), QStringLiteral("../outside"));
    EXPECT_EQ(linkTarget(stored + QStringLiteral("/sub/absolute-link")), QStringLiteral("/etc/hostname"));
    EXPECT_GE(result.moved[0].size, 300000);
    expectAttributes(stored + QStringLiteral("/sub/data.bin"), stored + QStringLiteral("/sub"));

    // And back again, onto the other file system.
    ASSERT_FALSE(SafeBinService::restore(result.moved[0]));
    EXPECT_EQ(contents(file), QByteArray(300000, 'd'));
    EXPECT_EQ(linkTarget(tree + QStringLiteral("/sub/absolute-link")), QStringLiteral("/etc/hostname"));
    expectAttributes(file, sub);
    EXPECT_EQ(lstatOf(file).st_mode & 07777, 0640u);
    EXPECT_EQ(QDir(scratch.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("tree")});
    EXPECT_TRUE(SafeBinService::list().empty());
    EXPECT_EQ(binContents(SafeBinService::root()), QStringList{QStringLiteral("manifest.json")});
}

TEST_F(SafeBinServiceTest, MovesKeepOrderAndPurgeWhicheverWayTheManifestIsRead) {
    // Written by the earlier writer, sorted: a move puts its entry in front
    // and keeps the earlier text as it was.
    const SafeBinEntry kept = stored(QStringLiteral("kept"), kNow.addDays(-2));
    const SafeBinEntry older = stored(QStringLiteral("older"), kNow.addDays(-3));
    writeManifest({kept, older});
    const QString first = test::writeFile(home(QStringLiteral("first")), "1");
    const auto one = SafeBinService::moveToSafeBin({first});
    ASSERT_FALSE(one.error);
    EXPECT_EQ(manifestEntries(), (std::vector<SafeBinEntry>{one.moved[0], kept, older}));

    // Out of order, with an expired entry: sorted, purged, then the new entry in front.
    const SafeBinEntry expired = stored(QStringLiteral("expired"), kNow.addDays(-31));
    writeManifest({older, expired, kept});
    const QString second = test::writeFile(home(QStringLiteral("second")), "2");
    const auto two = SafeBinService::moveToSafeBin({second});
    ASSERT_FALSE(two.error);
    EXPECT_EQ(manifestEntries(), (std::vector<SafeBinEntry>{two.moved[0], kept, older}));
    EXPECT_FALSE(QFileInfo::exists(bin() + QLatin1Char('/') + expired.storedName));

    // An empty list, written with spaces.
    test::writeFile(manifest(), " [ ] ");
    const QString third = test::writeFile(home(QStringLiteral("third")), "3");
    const auto three = SafeBinService::moveToSafeBin({third});
    ASSERT_FALSE(three.error);
    EXPECT_EQ(manifestEntries(), three.moved);
}

TEST_F(SafeBinServiceTest, ItemsSpendThirtyDaysInTheBinWhateverTheClockSays) {
    const QString first = test::writeFile(home(QStringLiteral("first.log")), "1");
    const SafeBinEntry a = SafeBinService::moveToSafeBin({first}).moved.at(0);

    // The clock jumps 31 days ahead: minutes-old items stay.
    env.jumpClock(kNow.addDays(31));
    SafeBinService::purgeExpired(30);
    EXPECT_EQ(SafeBinService::list().size(), 1u);

    // Set 40 days back, a clean, then corrected: the item is dated by the
    // newest time seen, so the correction does not age it.
    env.jumpClock(kNow.addDays(-40));
    const QString second = test::writeFile(home(QStringLiteral("second.log")), "2");
    const SafeBinEntry b = SafeBinService::moveToSafeBin({second}).moved.at(0);
    EXPECT_EQ(b.removedAt, kNow);
    env.jumpClock(kNow);
    SafeBinService::purgeExpired(30);
    EXPECT_EQ(SafeBinService::list().size(), 2u);

    // A removal date in the future (a hand-edited manifest) counts as now.
    std::vector<SafeBinEntry> entries = manifestEntries();
    const SafeBinEntry future = stored(QStringLiteral("future"), kNow.addDays(100));
    entries.insert(entries.begin(), future);
    writeManifest(entries);

    // Thirty days that really pass expire them, the future one excepted.
    env.setNow(kNow.addDays(30).addSecs(1));
    SafeBinService::purgeExpired(30);
    EXPECT_EQ(SafeBinService::list(), std::vector<SafeBinEntry>{future});
    EXPECT_FALSE(QFileInfo::exists(bin() + QLatin1Char('/') + a.storedName));
}

TEST_F(SafeBinServiceTest, PathsLongerThanTheSystemLimitGoBackThroughDescriptors) {
    QString deep = home(QStringLiteral("deep"));
    while (deep.size() < PATH_MAX + 300) deep += QLatin1Char('/') + QString(200, QLatin1Char('d'));
    int error = 0;
    {
        const FileDescriptor folder = FileOperations::openFolderAsWritten(deep, env.home(), error, true);
        ASSERT_TRUE(folder.valid()) << error;
        const int fd = ::openat(folder.get(), "note.txt", O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "deep", 4), 4);
        ::close(fd);
    }
    const SafeBinMoveResult result = SafeBinService::moveToSafeBin({deep + QStringLiteral("/note.txt")});
    ASSERT_FALSE(result.error) << result.error->description.toStdString();
    ASSERT_EQ(result.moved.size(), 1u);
    // Its folders gone too: they are made again, one by one.
    ASSERT_FALSE(FileOperations::removeItem(home(QStringLiteral("deep"))));
    const auto restored = SafeBinService::restore(result.moved[0]);
    ASSERT_FALSE(restored) << restored->description.toStdString();
    const FileDescriptor folder = FileOperations::openFolderAsWritten(deep, env.home(), error);
    ASSERT_TRUE(folder.valid());
    char text[8] = {};
    const int fd = ::openat(folder.get(), "note.txt", O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::read(fd, text, sizeof text), 4);
    ::close(fd);
    EXPECT_EQ(QByteArray(text), QByteArray("deep"));
    EXPECT_TRUE(SafeBinService::list().empty());
}
