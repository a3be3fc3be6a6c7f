#include "platform/FileEntry.h"
#include "platform/FileReader.h"
#include "platform/FolderListing.h"
#include "platform/FolderWalk.h"
#include "platform/PackageRule.h"

#include "FileTreeSupport.h"
#include "TestSupport.h"

#include <QFile>
#include <QStringList>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <stop_token>

namespace tarnwick {
namespace {

using test::makeDir;
using test::makeLink;
using test::writeFile;
using Step = FolderWalk::Step;

QStringList names(const QList<FileEntry>& entries) {
    QStringList out;
    for (const FileEntry& entry : entries) out.append(entry.name);
    return out;
}

// Every entry as "depth:relative path", in walk order.
QStringList walked(const QString& root, FolderWalk::Options options,
                   const std::function<Step(const FileEntry&)>& decide = {}) {
    QStringList seen;
    FolderWalk::run(root, options, [&](const FileEntry& entry, int depth) {
        seen.append(QString::number(depth) + QLatin1Char(':') + entry.path.mid(root.size() + 1));
        return decide ? decide(entry) : Step::proceed;
    });
    return seen;
}

class FinderFileSystem : public ::testing::Test {
protected:
    test::FakeEnvironment env;
    QString root = env.path(QStringLiteral("tree"));
};

TEST_F(FinderFileSystem, ListingIsSortedByNameSkipsHiddenOnRequestAndNeverFollowsALink) {
    for (const char* name : {"b", "a", "B", ".hidden", "c.txt", "_x"}) writeFile(root + QLatin1Char('/') + name, "x");
    writeFile(root + QStringLiteral("/dir/inside"), "x");
    makeLink(root + QStringLiteral("/dir"), root + QStringLiteral("/link"));
    const auto skipping = FolderListing::list(root, FolderListing::Hidden::skip);
    ASSERT_TRUE(skipping);
    EXPECT_EQ(names(*skipping), (QStringList{"B", "_x", "a", "b", "c.txt", "dir", "link"}));
    EXPECT_FALSE(skipping->at(6).isDirectory());  // the link, not its folder
    const auto all = FolderListing::list(root, FolderListing::Hidden::include);
    ASSERT_TRUE(all);
    EXPECT_EQ(all->at(0).path, root + QStringLiteral("/.hidden"));
    for (const char* notAFolder : {"/link", "/a", "/missing"}) {
        EXPECT_FALSE(FolderListing::list(root + QLatin1String(notAFolder), FolderListing::Hidden::skip)) << notAFolder;
    }
}

TEST_F(FinderFileSystem, EntryValuesGiveFoldersNoFileSize) {
    test::writeFilled(root + QStringLiteral("/data"), 10000);
    test::writeSparse(root + QStringLiteral("/sparse"), 5000000);
    makeDir(root + QStringLiteral("/folder"));
    const QDateTime when = QDateTime::fromSecsSinceEpoch(1600000000, Qt::UTC);
    test::setModified(root + QStringLiteral("/data"), when);

    const auto data = FileEntry::at(root + QStringLiteral("/data"));
    ASSERT_TRUE(data);
    EXPECT_EQ(data->fileSize(), 10000);
    EXPECT_GE(*data->totalAllocatedSize(), 10000);
    EXPECT_EQ(data->modified(), when);

    const auto sparse = FileEntry::at(root + QStringLiteral("/sparse/"));  // a trailing slash changes nothing
    ASSERT_TRUE(sparse);
    EXPECT_EQ(sparse->fileSize(), 5000000);
    EXPECT_LT(*sparse->totalAllocatedSize(), 5000000);

    const auto folder = FileEntry::at(root + QStringLiteral("/folder"));
    ASSERT_TRUE(folder);
    EXPECT_FALSE(folder->fileSize());
    EXPECT_FALSE(folder->totalAllocatedSize());
    EXPECT_FALSE(FileEntry::at(root + QStringLiteral("/none")));
}

TEST_F(FinderFileSystem, WalkIsPreOrderSortedAndKeepsToItsRules) {
    writeFile(root + QStringLiteral("/b/z"), "x");
    writeFile(root + QStringLiteral("/b/a/deep"), "x");
    writeFile(root + QStringLiteral("/a"), "x");
    writeFile(root + QStringLiteral("/.hid/inside"), "x");
    writeFile(root + QStringLiteral("/Tool.app/Contents/binary"), "x");
    writeFile(root + QStringLiteral("/c.APP"), "x");  // a file is never a package
    makeLink(root + QStringLiteral("/b"), root + QStringLiteral("/d-link"));

    FolderWalk::Options plain;
    EXPECT_EQ(walked(root, plain), (QStringList{"1:Tool.app", "2:Tool.app/Contents", "3:Tool.app/Contents/binary",
                                                "1:a", "1:b", "2:b/a", "3:b/a/deep", "2:b/z", "1:c.APP",
                                                "1:d-link"}));

    FolderWalk::Options outsidePackages;
    outsidePackages.includeHidden = true;
    outsidePackages.enterPackages = false;
    EXPECT_EQ(walked(root, outsidePackages), (QStringList{"1:.hid", "2:.hid/inside", "1:Tool.app", "1:a", "1:b",
                                                          "2:b/a", "3:b/a/deep", "2:b/z", "1:c.APP", "1:d-link"}));

    // The root is entered even when it is a package.
    EXPECT_EQ(walked(root + QStringLiteral("/Tool.app"), outsidePackages),
              (QStringList{"1:Contents", "2:Contents/binary"}));

    const QStringList skipping = walked(root, plain, [](const FileEntry& entry) {
        return entry.name == QLatin1String("b") ? Step::skipDescendants : Step::proceed;
    });
    EXPECT_FALSE(skipping.contains(QStringLiteral("2:b/z")));
    EXPECT_TRUE(skipping.contains(QStringLiteral("1:c.APP")));

    const QStringList stopping = walked(root, plain, [](const FileEntry& entry) {
        return entry.name == QLatin1String("a") ? Step::stop : Step::proceed;
    });
    EXPECT_EQ(stopping.size(), 4);
}

TEST_F(FinderFileSystem, WalkRootMustBeAFolderOfItsOwnAndTheWalkStopsOnRequest) {
    for (int i = 0; i < 10; ++i) writeFile(root + QStringLiteral("/f%1").arg(i), "x");
    makeDir(root + QStringLiteral("/sub"));
    makeLink(root + QStringLiteral("/sub"), root + QStringLiteral("/link"));
    const auto visit = [](const FileEntry&, int) { return Step::proceed; };
    EXPECT_TRUE(FolderWalk::run(root + QStringLiteral("/sub"), {}, visit));
    for (const char* notAFolder : {"/link", "/f0", "/missing"}) {
        EXPECT_FALSE(FolderWalk::run(root + QLatin1String(notAFolder), {}, visit)) << notAFolder;
    }

    std::stop_source source;
    int seen = 0;
    FolderWalk::run(
        root, {},
        [&](const FileEntry&, int) {
            if (++seen == 3) source.request_stop();
            return Step::proceed;
        },
        source.get_token());
    EXPECT_EQ(seen, 3);

    // Without values the walk still knows the types.
    FolderWalk::Options bare;
    bare.readValues = false;
    int folders = 0, files = 0;
    FolderWalk::run(root, bare, [&](const FileEntry& entry, int) {
        folders += entry.isDirectory();
        files += entry.isRegularFile();
        EXPECT_EQ(entry.logicalSize, 0);
        return Step::proceed;
    });
    EXPECT_EQ(folders, 1);
    EXPECT_EQ(files, 10);
}

TEST_F(FinderFileSystem, DeepTreesAreWalkedWholeWithFewDescriptors) {
    // Deeper than the descriptors the walk keeps open, with a sibling at each
    // level that is met only after the walk climbs back up.
    QString folder = root;
    for (int level = 0; level < 100; ++level) {
        folder += QStringLiteral("/d");
        makeDir(folder);
        writeFile(folder + QStringLiteral("/z"), "x");
    }
    int files = 0;
    int deepest = 0;
    FolderWalk::run(root, {}, [&](const FileEntry& entry, int depth) {
        if (entry.isRegularFile()) ++files;
        deepest = std::max(deepest, depth);
        return Step::proceed;
    });
    EXPECT_EQ(files, 100);
    EXPECT_EQ(deepest, 101);
}

TEST_F(FinderFileSystem, ReaderReadsRegularFilesOnly) {
    const QString file = test::writeFilled(root + QStringLiteral("/file"), 1000, 'q');
    makeLink(file, root + QStringLiteral("/link"));
    const QString fifo = root + QStringLiteral("/fifo");
    ASSERT_EQ(::mkfifo(PathCodec::encode(fifo).constData(), 0644), 0);

    EXPECT_FALSE(FileReader::open(root + QStringLiteral("/link")));
    EXPECT_FALSE(FileReader::open(fifo));  // and does not hang waiting for a writer
    EXPECT_FALSE(FileReader::open(root));
    const quint64 before = FileReader::totalBytesRead();
    std::optional<FileReader> reader = FileReader::open(file);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->size(), 1000);
    EXPECT_EQ(reader->read(600), QByteArray(600, 'q'));
    EXPECT_EQ(reader->read(600).size(), 400);
    EXPECT_TRUE(reader->read(600).isEmpty());
    EXPECT_EQ(FileReader::totalBytesRead() - before, 1000u);

    // A large cap takes memory for what the file holds, and a file that grew
    // since it was opened is read on, up to the cap.
    reader = FileReader::open(file);
    ASSERT_TRUE(reader);
    const QByteArray whole = reader->read(qint64(1) << 30);
    EXPECT_EQ(whole, QByteArray(1000, 'q'));
    EXPECT_LT(whole.capacity(), 1 << 20);
    for (const auto& [cap, expected] : {std::pair{qint64(1) << 30, 201000}, std::pair{qint64(150000), 150000}}) {
        test::writeFilled(file, 1000, 'q');
        reader = FileReader::open(file);
        ASSERT_TRUE(reader);
        QFile grown(file);
        ASSERT_TRUE(grown.open(QIODevice::Append));
        grown.write(QByteArray(200000, 'g'));
        grown.close();
        EXPECT_EQ(reader->read(cap).size(), expected);
    }
}

TEST(PackageRule, TellsPackagesByExtensionInAnyCase) {
    struct Case {
        const char* name;
        bool package;
    };
    for (const Case& c : {Case{"Pages.app", true}, Case{"Photos Library.photoslibrary", true},
                          Case{"Foo.FRAMEWORK", true}, Case{"file.download", true}, Case{"Project.xcodeproj", true},
                          Case{"fr.lproj", false}, Case{"app", false}, Case{".app", false}, Case{"notes.txt", false},
                          Case{"archive.app.zip", false}, Case{"a.", false}}) {
        EXPECT_EQ(PackageRule::isPackageName(QString::fromUtf8(c.name)), c.package) << c.name;
        EXPECT_EQ(PackageRule::isPackageName(std::string_view(c.name)), c.package) << c.name;
    }
}

}  // namespace
}  // namespace tarnwick
