// Items made of several: the entries of a folder, a file with its companions.
// One Safe Bin item each, put back member by member, whole under kills.
#include "services/safebin/SafeBinService.h"

#include "SafeBinTestSupport.h"

#include <QDirIterator>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

class SafeBinGroupTest : public SafeBinTest {
protected:
    // The entries of ~/.cache as one item (a folder cleaned by its entries).
    SafeBinItemRequest cacheEntries(const QStringList& names) const {
        SafeBinItemRequest request;
        request.grouped = true;
        request.originalPath = home(".cache");
        for (const QString& name : names) request.members.append({home(".cache/" + name)});
        return request;
    }
    static QStringList memberPaths(const SafeBinEntry& entry) {
        QStringList paths;
        for (const SafeBinEntry::Member& member : *entry.members) paths.append(member.originalPath);
        return paths;
    }
    // Every member is in exactly one place: where it was, or in its group's
    // folder with a record naming it; and the bin holds nothing unrecorded.
    void expectEachMemberWholeOnce(const QStringList& paths) {
        QSet<QString> storedNames{"manifest.json"};
        QSet<QString> inBin;
        for (const SafeBinEntry& entry : SafeBinService::list()) {
            storedNames.insert(entry.storedName);
            EXPECT_EQ(QDir(held(entry)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(),
                      qsizetype(entry.members->size()));
            for (const SafeBinEntry::Member& member : *entry.members) {
                inBin.insert(member.originalPath);
                EXPECT_EQ(contents(held(entry) + '/' + member.storedName), QByteArray("body"));
            }
        }
        for (const QString& path : paths) {
            EXPECT_NE(inBin.contains(path), FileOperations::itemExists(path)) << path.toStdString();
            if (!inBin.contains(path)) EXPECT_EQ(contents(path), QByteArray("body")) << path.toStdString();
        }
        for (const QString& name : binContents(bin())) EXPECT_TRUE(storedNames.contains(name)) << name.toStdString();
    }
};

}  // namespace

TEST_F(SafeBinGroupTest, AFolderCleanedByItsEntriesIsOneItemPutBackEntryByEntry) {
    writeFile(home(".cache/a.bin"), QByteArray(5000, 'a'));
    writeFile(home(".cache/b/inner.bin"), QByteArray(3000, 'b'));
    writeFile(home(".cache/c.log"), "c");
    const auto results = SafeBinService::moveItems({cacheEntries({"a.bin", "b", "c.log", "gone"})});
    ASSERT_EQ(results.size(), 1u);
    ASSERT_TRUE(results[0].entry);
    const SafeBinEntry entry = *results[0].entry;
    EXPECT_EQ(entry.displayName, ".cache");
    EXPECT_EQ(entry.originalPath, home(".cache"));
    EXPECT_EQ(memberPaths(entry), (QStringList{home(".cache/a.bin"), home(".cache/b"), home(".cache/c.log")}));
    EXPECT_EQ(results[0].gone, QStringList{home(".cache/gone")});
    EXPECT_GE(entry.size, 8000);
    EXPECT_EQ(entry.size, (*entry.members)[0].size + (*entry.members)[1].size + (*entry.members)[2].size);
    EXPECT_EQ(SafeBinService::list(), std::vector<SafeBinEntry>{entry}) << "one row, through the manifest";
    EXPECT_TRUE(QFileInfo(home(".cache")).isDir()) << "the folder stays";

    // Something new where one entry was: the others go back, it stays held.
    writeFile(home(".cache/c.log"), "newer");
    const auto partly = SafeBinService::restore(entry);
    ASSERT_TRUE(partly);
    EXPECT_EQ(partly->code, SafeBinService::kAlreadyExistsCode);
    EXPECT_TRUE(partly->description.contains("\u201C~/.cache/c.log\u201D")) << partly->description.toStdString();
    EXPECT_EQ(contents(home(".cache/a.bin")), QByteArray(5000, 'a'));
    EXPECT_EQ(contents(home(".cache/b/inner.bin")), QByteArray(3000, 'b'));
    EXPECT_EQ(contents(home(".cache/c.log")), QByteArray("newer"));
    ASSERT_EQ(SafeBinService::list().size(), 1u);
    const SafeBinEntry rest = SafeBinService::list()[0];
    EXPECT_EQ(memberPaths(rest), QStringList{home(".cache/c.log")});
    EXPECT_EQ(rest.size, (*rest.members)[0].size);

    // The folder gone meanwhile: made again, and the last entry goes back.
    ASSERT_FALSE(FileOperations::removeItem(home(".cache")));
    ASSERT_FALSE(SafeBinService::restore(entry)) << "the caller's older copy of the entry still names it";
    EXPECT_EQ(contents(home(".cache/c.log")), QByteArray("c"));
    EXPECT_TRUE(SafeBinService::list().empty());
    EXPECT_EQ(binContents(bin()), QStringList{"manifest.json"});
}

TEST_F(SafeBinGroupTest, APathWithItsCompanionsMovesTogetherOrNotAtAll) {
    const QString history = writeFile(home(".config/browser/History"), "db");
    writeFile(history + "-wal", "wal");
    SafeBinItemRequest request;
    request.grouped = true;
    request.together = true;
    request.members = {{history, FileIdentity::of(history)}, {history + "-wal"},
                       {history + "-journal"}};

    // The database written since the scan: neither it nor its log moves.
    writeFile(history, "db, written since");
    auto results = SafeBinService::moveItems({request});
    EXPECT_FALSE(results[0].entry);
    EXPECT_TRUE(results[0].moved.isEmpty());
    ASSERT_EQ(results[0].failed.size(), 2u);
    EXPECT_EQ(results[0].failed[0].second.code, SafeBinService::kChangedCode);
    EXPECT_TRUE(results[0].failed[1].second.description.contains("goes together with"));
    EXPECT_EQ(contents(history + "-wal"), QByteArray("wal"));

    // A move failing half-way takes back what went before it.
    request.members[0].seen = FileIdentity::of(history);
    {
        FileFault fault([&](std::string_view operation, const QString& path) {
            return operation == "move" && path.endsWith("-wal") ? EIO : 0;
        });
        results = SafeBinService::moveItems({request});
    }
    EXPECT_FALSE(results[0].entry);
    EXPECT_EQ(contents(history), QByteArray("db, written since"));
    EXPECT_TRUE(SafeBinService::list().empty());
    EXPECT_EQ(binContents(bin()), QStringList{});

    results = SafeBinService::moveItems({request});
    ASSERT_TRUE(results[0].entry);
    EXPECT_EQ(results[0].entry->displayName, "History");
    EXPECT_EQ(memberPaths(*results[0].entry), (QStringList{history, history + "-wal"}));
    ASSERT_FALSE(SafeBinService::destroy(*results[0].entry));
    EXPECT_EQ(binContents(bin()), QStringList{"manifest.json"});
}

TEST_F(SafeBinGroupTest, AManifestOfTheEarlierStoreLoadsAndRestores) {
    // Its items were moved from /tmp/legacygen/home: here that is the fake home.
    const QString source = dataPath("safebin-legacy");
    QDirIterator it(source, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        if (file.endsWith(QLatin1String("/manifest.json"))) continue;
        writeFile(bin() + file.mid(source.size()), contents(file));
    }
    QByteArray manifest = contents(source + "/manifest.json");
    manifest.replace("\\/tmp\\/legacygen\\/home", env.home().toUtf8().replace("/", "\\/"));
    ASSERT_TRUE(AtomicFile::write(bin() + "/manifest.json", manifest));
    env.setNow(QDateTime(QDate(2026, 12, 2), QTime(12, 0), Qt::UTC));

    const std::vector<SafeBinEntry> entries = SafeBinService::list();
    QStringList names;
    for (const SafeBinEntry& entry : entries) names.append(entry.displayName);
    EXPECT_EQ(names, (QStringList{"x.log", "caf\u00e9 \u2013 \u00fc.txt", "thumbs", "report.txt"}));
    for (const SafeBinEntry& entry : entries) {
        EXPECT_FALSE(entry.isGroup());
        const auto error = SafeBinService::restore(entry);
        ASSERT_FALSE(error) << error->description.toStdString();
    }
    EXPECT_EQ(contents(home(".cache/app/x.log")), QByteArray("log line\n"));
    EXPECT_EQ(contents(home("Downloads/caf\u00e9 \u2013 \u00fc.txt")), QByteArray("unicode name\n"));
    EXPECT_EQ(contents(home(".cache/thumbs/large/a.png")), QByteArray(5000, 'p'));
    EXPECT_EQ(contents(home("Documents/report.txt")), QByteArray("the report\n"));
    EXPECT_TRUE(SafeBinService::list().empty());
}

TEST_F(SafeBinGroupTest, AKillAtAnyPointLeavesEachMemberWholeAndRecorded) {
    const QStringList names{"m1", "m2", "m3", "m4"};
    QStringList paths;
    for (const QString& name : names) paths.append(writeFile(home(".cache/" + name), "body"));
    auto killAt = [](std::string_view when, const QString& suffix, const std::function<void()>& work) {
        killedDuring([=](std::string_view operation, const QString& path) {
            if (operation == when && path.endsWith(suffix)) ::raise(SIGKILL);
            return 0;
        }, work);
        SafeBinService::settle();
    };

    // Moving in: two members arrived, the kill came at the third.
    killAt("move", "/m3", [&] { SafeBinService::moveItems({cacheEntries(names)}); });
    ASSERT_EQ(SafeBinService::list().size(), 1u);
    EXPECT_EQ(memberPaths(SafeBinService::list()[0]), (QStringList{paths[0], paths[1]}));
    expectEachMemberWholeOnce(paths);

    // Putting back: one member went back before the kill.
    SafeBinService::moveItems({cacheEntries({"m3", "m4"})});
    const SafeBinEntry first = SafeBinService::list().at(1);
    killAt("move", "-m2", [&] { SafeBinService::restore(first); });
    ASSERT_EQ(SafeBinService::list().size(), 2u);
    EXPECT_EQ(memberPaths(SafeBinService::list()[1]), QStringList{paths[1]});
    expectEachMemberWholeOnce(paths);

    // Deleting for good, and expiring: half-way is all the way.
    const SafeBinEntry second = SafeBinService::list().at(0);
    killAt("remove", "-m4", [&] { SafeBinService::destroy(second); });
    EXPECT_EQ(SafeBinService::list().size(), 1u);
    expectEachMemberWholeOnce({paths[0], paths[1]});
    env.setNow(QDateTime::currentDateTimeUtc().addDays(31));
    killAt("remove", "-m2", [&] { SafeBinService::purgeExpired(30); });
    EXPECT_TRUE(SafeBinService::list().empty());
    EXPECT_EQ(binContents(bin()), QStringList{"manifest.json"});
}
