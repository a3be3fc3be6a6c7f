#include "services/cleanup/ClutterSearches.h"

#include "platform/FileEntry.h"
#include "platform/FileIdentity.h"
#include "services/cleanup/ImageFingerprint.h"

#include "JunkTestSupport.h"
#include "PictureSupport.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace tarnwick::test {
namespace {

constexpr qint64 MB = 1000000;
constexpr qint64 kDay = 86400;

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Makes count further names of one file: a folder of many entries, cheaply.
void linkMany(const QString& file, const QString& folder, int count) {
    const QByteArray target = PathCodec::encode(file);
    for (int i = 0; i < count; ++i) {
        const QByteArray name = PathCodec::encode(folder + QStringLiteral("/l%1").arg(i, 5, 10, QLatin1Char('0')));
        ASSERT_EQ(::link(target.constData(), name.constData()), 0);
    }
}

class ClutterSearches : public JunkTest {
protected:
    QString trash() const { return home(".local/share/Trash/files"); }
    // Sparse files of the given sizes and ages.
    void files(std::initializer_list<std::tuple<QString, qint64, qint64>> list) {
        for (const auto& [path, size, age] : list) setModified(writeSparse(path, size), ago(age));
    }
};

TEST_F(ClutterSearches, SizeOfCountsFileSizesOfTheFirst12000Entries) {
    const QString folder = makeDir(home("many"));
    linkMany(writeFilled(folder + "/a-first", 1), folder, 20000);
    EXPECT_EQ(ClutterService::sizeOf(folder), 12000);
    const QString mixed = home("mixed");
    writeSparse(mixed + "/Big.app/Contents/binary", 3 * MB);  // packages are entered
    writeSparse(mixed + "/.hidden", 300);
    writeSparse(mixed + "/sparse", 700);  // file sizes, not blocks
    EXPECT_EQ(ClutterService::sizeOf(mixed), 3 * MB + 1000);
    EXPECT_EQ(ClutterService::sizeOf(home("missing")), 0);
    // A file counts its blocks; one without any counts its length.
    const QString written = writeFilled(home("written"), 5000);
    EXPECT_EQ(ClutterService::sizeOf(written), FileEntry::at(written)->allocatedSize);
    EXPECT_EQ(ClutterService::sizeOf(writeSparse(home("hole"), 5000)), 5000);
}

// Each trashed item moves with its record, so that neither is left
// without the other.
TEST_F(ClutterSearches, TrashListsItsEntriesOverTheThresholdWithTheirRecords) {
    writeSparse(trash() + "/edge/file", 100000);
    writeSparse(trash() + "/over/file", 100001);
    writeSparse(trash() + "/.hidden-archive", 200000);
    writeSparse(trash() + "/exactly", 100000);
    const QString record = writeSparse(home(".local/share/Trash/info/over.trashinfo"), 200000);
    // A folder larger than the measuring budget says so: it moves whole, with more than counted.
    linkMany(writeFilled(trash() + "/big/a-first", 100), trash() + "/big", 12000);

    const auto items = ClutterService::trashItems(trash(), context());
    ASSERT_EQ(titlesOf(items), (QStringList{".hidden-archive", "big", "over"}));
    EXPECT_TRUE(items[1].detail.endsWith(" \u00B7 measured in part"));
    const ClutterItem& over = items[2];
    EXPECT_EQ(over.size, 100001);
    EXPECT_TRUE(over.isSelected && over.isSafeDefault);
    EXPECT_EQ(over.seen, FileIdentity::of(over.path));
    EXPECT_EQ(over.companionPaths, QStringList{record});
    EXPECT_EQ(over.companionsSeen.value(record), FileIdentity::of(record));
    EXPECT_EQ(items[0].companionPaths, QStringList{home(".local/share/Trash/info/.hidden-archive.trashinfo")});
    EXPECT_TRUE(items[0].companionsSeen.isEmpty()) << "no record there";
    EXPECT_TRUE(ClutterService::trashItems(home("no-trash"), context()).isEmpty());
}

// Programs run from Downloads keep their download date: never pre-selected.
TEST_F(ClutterSearches, OldDownloadsAreInstallersAndArchivesOlderThan30Days) {
    const QString downloads = home("Downloads");
    for (const auto& [name, size, age] :
         {std::tuple("Setup.DMG", 3 * MB, 31 * kDay), std::tuple("exactly.zip", 3 * MB, 30 * kDay),
          std::tuple("second-more.zip", 3 * MB, 30 * kDay + 1), std::tuple("small.iso", 1900000LL, 40 * kDay),
          std::tuple("movie.mkv", 3 * MB, 40 * kDay), std::tuple("App.ipa", 3 * MB, 40 * kDay),
          std::tuple("tool.deb", 3 * MB, 40 * kDay), std::tuple(".hidden.zip", 3 * MB, 40 * kDay),
          std::tuple("Editor.AppImage", 3 * MB, 90 * kDay)}) {
        setModified(writeFilled(downloads + '/' + name, size), ago(age));
    }
    writeSparse(downloads + "/folder.zip/inside", 3 * MB);
    setModified(downloads + "/folder.zip", ago(40 * kDay));
    setModified(writeSparse(downloads + "/sparse.tar", 3 * MB), ago(40 * kDay));
    ASSERT_TRUE(QFile::setPermissions(downloads + "/tool.deb", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeUser));

    const auto items = ClutterService::oldDownloads(downloads, context());
    ASSERT_EQ(titlesOf(items), (QStringList{"App.ipa", "Editor.AppImage", "Setup.DMG", "second-more.zip", "tool.deb"}));
    for (const ClutterItem& item : items) {
        const bool program = item.title == "Editor.AppImage" || item.title == "tool.deb";
        EXPECT_EQ(item.isSelected, !program) << item.title.toStdString();
        EXPECT_EQ(item.isSafeDefault, !program) << item.title.toStdString();
    }
    EXPECT_GE(items[2].size, 3 * MB) << "allocated size";
}

TEST_F(ClutterSearches, ScreenshotsAndLargeOldFilesKeepTheirBounds) {
    const QString desktop = home("Desktop");
    const QString shots = home("Pictures/Screenshots");
    files({{desktop + "/IMG_0001.PNG", 90000, 20 * kDay}, {desktop + "/Screen Shot 2020-01-01.png", 90000, 20 * kDay},
           {desktop + "/my-screenshot.jpg", 20001, 20 * kDay}, {desktop + "/screenshot-edge.png", 20000, 20 * kDay},
           {desktop + "/Screenshot fresh.png", 90000, 14 * kDay}, {desktop + "/.screenshot.png", 90000, 20 * kDay},
           {shots + "/Screenshot from 2024-03-01 10-00-00.png", 90000, 15 * kDay},
           {shots + "/nested/Screenshot deep.png", 90000, 20 * kDay}});
    setModified(makeDir(desktop + "/Screenshot folder"), ago(20 * kDay));
    const auto screenshots =
        ClutterService::screenshots({desktop, home("Pictures"), shots, home("Missing")}, context());
    EXPECT_EQ(titlesOf(screenshots),
              (QStringList{"Screen Shot 2020-01-01.png", "my-screenshot.jpg", "Screenshot from 2024-03-01 10-00-00.png"}));
    EXPECT_FALSE(screenshots.value(0).isSelected);

    const QString documents = home("Documents");
    const QString movies = home("Videos");
    files({{documents + "/old.vdi", 100 * MB, 181 * kDay}, {documents + "/smaller.vdi", 100 * MB - 1, 400 * kDay},
           {documents + "/recent.vdi", 200 * MB, 180 * kDay}, {documents + "/Project.app/Contents/data.bin", 150 * MB, 200 * kDay},
           {documents + "/.hidden/big.bin", 150 * MB, 200 * kDay}, {movies + "/film.mkv", 300 * MB, 365 * kDay}});
    auto large = ClutterService::largeOld({documents, movies, documents}, context());
    EXPECT_EQ(titlesOf(large), (QStringList{"data.bin", "old.vdi", "film.mkv"})) << "each file once";
    // 40 in all; the later folders are not walked once 40 are found.
    for (int i = 0; i < 45; ++i) files({{home(QStringLiteral("Many/f%1").arg(i, 2, 10, QLatin1Char('0'))), 100 * MB, 200 * kDay}});
    large = ClutterService::largeOld({home("Many"), movies}, context());
    EXPECT_EQ(large.size(), 40);
    EXPECT_FALSE(titlesOf(large).contains("film.mkv"));
    // Only the first 10,000 entries of a folder are looked at.
    const QString crowded = makeDir(home("Crowded"));
    linkMany(writeFilled(crowded + "/a-small", 1), crowded, 9999);
    files({{crowded + "/z-big", 100 * MB, 200 * kDay}});
    EXPECT_TRUE(ClutterService::largeOld({crowded}, context()).isEmpty());
    QFile::remove(crowded + "/l09998");
    EXPECT_EQ(titlesOf(ClutterService::largeOld({crowded}, context())), QStringList{"z-big"});
}

// Each names the copy that stays, as it was; small and hidden files are not
// looked at; ten files of a size are compared and sizes stop being taken up at 40 items.
TEST_F(ClutterSearches, DuplicatesNameTheCopyThatStaysAndKeepTheirBounds) {
    const QString downloads = home("Downloads");
    const QString documents = home("Documents");
    writeFilled(downloads + "/a.bin", 2 * MB, 'a');
    writeFilled(documents + "/a copy.bin", 2 * MB, 'a');
    writeFilled(downloads + "/small-1", 2 * MB - 1, 'd');
    writeFilled(downloads + "/small-2", 2 * MB - 1, 'd');
    writeFilled(downloads + "/.hidden", 2 * MB, 'a');
    auto items = ClutterService::duplicates({downloads, documents, downloads}, context());
    ASSERT_EQ(titlesOf(items), QStringList{"a copy.bin"});
    EXPECT_EQ(items[0].detail, "Duplicate of ~/Downloads/a.bin");
    EXPECT_EQ(items[0].size, 2 * MB);
    EXPECT_FALSE(items[0].isSelected || items[0].isSafeDefault);
    ASSERT_TRUE(items[0].keptCopy);
    EXPECT_EQ(items[0].keptCopy->path, downloads + "/a.bin");
    EXPECT_EQ(items[0].keptCopy->seen, FileIdentity::of(downloads + "/a.bin"));

    // Files of 2 MiB data and a hole: equal contents, only the data read.
    const QString many = makeDir(home("Many"));
    for (int i = 0; i < 12; ++i) writeSparse(many + QStringLiteral("/twelve%1").arg(i, 2, 10, QLatin1Char('0')), 29 * MB, 2 * MB);
    items = ClutterService::duplicates({many}, context());
    ASSERT_EQ(items.size(), 9) << "only the first 10 of a size are compared";
    EXPECT_FALSE(titlesOf(items).contains("twelve10"));
    // Five more sizes of ten copies each: the sizes run largest first, and
    // one more size is taken up while fewer than 40 are listed.
    for (int s = 0; s < 5; ++s) {
        for (int i = 0; i < 10; ++i) writeSparse(many + QStringLiteral("/size%1-%2").arg(s).arg(i), 2 * MB + s * 100000, 2 * MB);
    }
    items = ClutterService::duplicates({many}, context());
    EXPECT_EQ(items.size(), 5 * 9);
    EXPECT_FALSE(titlesOf(items).contains("size0-1")) << "the smallest size is never taken up";
}

TEST_F(ClutterSearches, SimilarImagesKeepTheBestAndListTheOthers) {
    const QString pictures = home("Pictures");
    const QString desktop = home("Desktop");
    const QImage photo = picture(11);
    // The largest copy is found last and still stays.
    const QString kept = savePicture(photo, pictures + "/z-original.png", "PNG");
    savePicture(photo, pictures + "/a-copy.jpg", "JPEG", 95);
    savePicture(photo.scaled(640, 480, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), desktop + "/resized.jpeg", "JPEG", 98);
    savePicture(photo, desktop + "/copy.webp", "WEBP", 95);
    savePicture(picture(12), pictures + "/other.png", "PNG");
    savePicture(picture(13), pictures + "/third.jpg", "JPEG", 98);
    // Flat pictures of different colours are not alike; uncompressed, they are large enough.
    savePicture(flatPicture(Qt::red), pictures + "/red.png", "PNG", 100);
    savePicture(flatPicture(Qt::blue), pictures + "/blue.png", "PNG", 100);
    writeFilled(pictures + "/broken.png", 300000, 'x');  // looked at, but no picture
    for (const QString& path : {kept, pictures + "/red.png", pictures + "/a-copy.jpg", desktop + "/resized.jpeg",
                                desktop + "/copy.webp", pictures + "/third.jpg"}) {
        ASSERT_GT(QFileInfo(path).size(), 120000) << path.toStdString();
    }
    const auto items = ClutterService::similarImages({pictures, desktop}, context());
    QStringList titles = titlesOf(items);
    titles.sort();
    ASSERT_EQ(titles, (QStringList{"a-copy.jpg", "copy.webp", "resized.jpeg"}));
    for (const ClutterItem& item : items) {
        EXPECT_EQ(item.detail, "Similar to ~/Pictures/z-original.png");
        EXPECT_FALSE(item.isSelected);
        EXPECT_EQ(item.size, QFileInfo(item.path).size());
    }

    // The picture of the most pixels stays, whatever its bytes; of equal
    // pixels, the one of the most bytes: not the smaller copy in a format of more bytes.
    const QString best = home("Best");
    const QImage large = picture(31, QSize(1600, 1000));
    const QString shot = savePicture(large, best + "/a-photo.jpg", "JPEG", 70);
    const QString finer = savePicture(large, best + "/b-finer.jpg", "JPEG", 92);
    const QString smaller = savePicture(large.scaled(1200, 750, Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
                                        best + "/c-smaller.png", "PNG");
    ASSERT_LT(QFileInfo(shot).size(), QFileInfo(finer).size());
    ASSERT_GT(QFileInfo(smaller).size(), QFileInfo(finer).size());
    ASSERT_LT(QFileInfo(smaller).size(), 12000000);
    const auto bestItems = ClutterService::similarImages({best}, context());
    ASSERT_EQ(titlesOf(bestItems), (QStringList{"a-photo.jpg", "c-smaller.png"}));
    EXPECT_EQ(bestItems[1].detail, "Similar to ~/Best/b-finer.jpg");
    EXPECT_EQ(bestItems[1].keptCopy->path, finer);

    // Over 120,000 bytes only, and 25 at most.
    const QString more = home("More");
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture(21, QSize(200, 150)).save(&buffer, "PNG");
    ASSERT_LT(png.size(), 120000);
    // Bytes after a PNG's end are ignored by its decoder: pad to exact sizes.
    auto padded = [&](const QString& name, qint64 size) { writeFile(more + '/' + name, png + QByteArray(size - png.size(), '\0')); };
    padded("a.png", 130000);
    padded("b-exactly-above.png", 120000);
    padded("c.png", 120001);
    padded("d.gif", 130000);
    EXPECT_EQ(titlesOf(ClutterService::similarImages({more}, context())), QStringList{"c.png"});
    for (int i = 0; i < 30; ++i) padded(QStringLiteral("many%1.png").arg(i, 2, 10, QLatin1Char('0')), 125000);
    EXPECT_EQ(ClutterService::similarImages({more}, context()).size(), 25);
}

// A photo cut short still decodes (its last rows grey) and tells its
// header's pixels, but it is never the picture that stays: its whole,
// smaller copy stays and the cut one is offered. Of cut copies alone none
// stays, so none is offered.
TEST_F(ClutterSearches, APictureCutShortIsNeverTheOneThatStays) {
    const QString folder = home("Photos");
    const QImage photo = picture(41, QSize(3000, 2000));
    const QString big = savePicture(photo, folder + "/a-big.jpg", "JPEG", 90);
    const QString whole = savePicture(photo.scaled(2000, 1333, Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
                                      folder + "/b-whole.jpg", "JPEG", 90);
    const QByteArray bigData = readFile(big);
    ASSERT_LT(bigData.size(), 12000000);
    writeFile(big, bigData.left(bigData.size() * 99 / 100));
    const auto items = ClutterService::similarImages({folder}, context());
    ASSERT_EQ(titlesOf(items), QStringList{"a-big.jpg"});
    EXPECT_EQ(items[0].detail, "Similar to ~/Photos/b-whole.jpg");
    EXPECT_EQ(items[0].keptCopy->path, whole);

    writeFile(whole, readFile(whole).left(QFileInfo(whole).size() * 99 / 100));
    const auto bigPrint = ImageFingerprint::ofFile(big, 12000000);
    const auto wholePrint = ImageFingerprint::ofFile(whole, 12000000);
    ASSERT_TRUE(bigPrint && wholePrint && bigPrint->isSimilar(*wholePrint) && bigPrint->damaged && wholePrint->damaged);
    EXPECT_TRUE(ClutterService::similarImages({folder}, context()).isEmpty());
}

}  // namespace
}  // namespace tarnwick::test
