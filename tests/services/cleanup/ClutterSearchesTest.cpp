#include "services/cleanup/ClutterSearches.h"

#include "platform/FileEntry.h"
#include "platform/FileReader.h"

#include "JunkTestSupport.h"
#include "PictureSupport.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <unistd.h>

namespace tarnwick {
namespace {

using test::makeDir;
using test::setModified;
using test::writeFilled;
using test::writeSparse;

constexpr qint64 MB = 1000000;
constexpr qint64 day = 86400;

QStringList titlesOf(const QList<ClutterItem>& items) {
    QStringList titles;
    for (const ClutterItem& item : items) titles.append(item.title);
    return titles;
}

QString usDate(const QDateTime& when) {
    return QLocale().toString(when.toLocalTime().date(), QStringLiteral("MMM d, yyyy"));
}

// Makes count further names of one file: a folder of many entries, cheaply.
void linkMany(const QString& file, const QString& folder, int count) {
    const QByteArray target = PathCodec::encode(file);
    for (int i = 0; i < count; ++i) {
        const QByteArray name = PathCodec::encode(folder + QStringLiteral("/l%1").arg(i, 5, 10, QLatin1Char('0')));
        ASSERT_EQ(::link(target.constData(), name.constData()), 0);
    }
}

class ClutterSearches : public test::JunkTest {
protected:
    QString trash() const { return home(QStringLiteral(".local/share/Trash/files")); }
};

TEST_F(ClutterSearches, SizeOfCountsFileSizesOfTheFirst12000Entries) {
    const QString folder = home(QStringLiteral("many"));
    makeDir(folder);
    linkMany(writeFilled(folder + QStringLiteral("/a-first"), 1), folder, 20000);
    EXPECT_EQ(ClutterService::sizeOf(folder), 12000);

    const QString mixed = home(QStringLiteral("mixed"));
    writeSparse(mixed + QStringLiteral("/Big.app/Contents/binary"), 3 * MB);  // packages are entered
    writeSparse(mixed + QStringLiteral("/.hidden"), 300);
    writeSparse(mixed + QStringLiteral("/sparse"), 700);  // file sizes, not blocks
    EXPECT_EQ(ClutterService::sizeOf(mixed), 3 * MB + 1000);
    EXPECT_EQ(ClutterService::sizeOf(home(QStringLiteral("missing"))), 0);
    // A file counts its blocks; one without any counts its length.
    const QString written = writeFilled(home(QStringLiteral("written")), 5000);
    EXPECT_EQ(ClutterService::sizeOf(written), FileEntry::at(written)->allocatedSize);
    EXPECT_EQ(ClutterService::sizeOf(writeSparse(home(QStringLiteral("hole")), 5000)), 5000);
}

TEST_F(ClutterSearches, TrashListsItsEntriesOverTheThreshold) {
    writeSparse(trash() + QStringLiteral("/edge/file"), 100000);
    writeSparse(trash() + QStringLiteral("/over/file"), 100001);
    writeSparse(trash() + QStringLiteral("/.hidden-archive"), 200000);
    writeSparse(trash() + QStringLiteral("/exactly"), 100000);
    writeSparse(home(QStringLiteral(".local/share/Trash/info/over.trashinfo")), 200000);

    const auto items = ClutterService::trashItems(trash(), context());
    ASSERT_EQ(titlesOf(items), (QStringList{".hidden-archive", "over"}));
    const ClutterItem& over = items[1];
    EXPECT_EQ(over.path, trash() + QStringLiteral("/over"));
    EXPECT_EQ(over.detail, QStringLiteral("~/.local/share/Trash/files"));
    EXPECT_EQ(over.size, 100001);
    EXPECT_EQ(over.kind, ClutterItem::Kind::trash);
    EXPECT_TRUE(over.isSelected && over.isSafeDefault);
    EXPECT_TRUE(ClutterService::trashItems(home(QStringLiteral("no-trash")), context()).isEmpty());
}

TEST_F(ClutterSearches, OldDownloadsAreInstallersAndArchivesOlderThan30Days) {
    const QString downloads = home(QStringLiteral("Downloads"));
    struct Entry {
        const char* name;
        qint64 size;
        qint64 age;  // seconds
    };
    for (const Entry& e : {Entry{"Setup.DMG", 3 * MB, 31 * day}, Entry{"exactly.zip", 3 * MB, 30 * day},
                           Entry{"second-more.zip", 3 * MB, 30 * day + 1}, Entry{"small.iso", 1900000, 40 * day},
                           Entry{"movie.mkv", 3 * MB, 40 * day}, Entry{"App.ipa", 3 * MB, 40 * day},
                           Entry{"tool.deb", 3 * MB, 40 * day}, Entry{".hidden.zip", 3 * MB, 40 * day}}) {
        setModified(writeFilled(downloads + QLatin1Char('/') + e.name, e.size), ago(e.age));
    }
    writeSparse(downloads + QStringLiteral("/folder.zip/inside"), 3 * MB);
    setModified(downloads + QStringLiteral("/folder.zip"), ago(40 * day));
    setModified(writeSparse(downloads + QStringLiteral("/sparse.tar"), 3 * MB), ago(40 * day));

    const auto items = ClutterService::oldDownloads(downloads, context());
    ASSERT_EQ(titlesOf(items), (QStringList{"App.ipa", "Setup.DMG", "second-more.zip", "tool.deb"}));
    const ClutterItem& setup = items[1];
    EXPECT_EQ(setup.path, downloads + QStringLiteral("/Setup.DMG"));
    EXPECT_GE(setup.size, 3 * MB) << "allocated size";
    EXPECT_EQ(setup.kind, ClutterItem::Kind::downloads);
    EXPECT_TRUE(setup.isSelected && setup.isSafeDefault);
    EXPECT_EQ(setup.detail, QStringLiteral("Not touched since ") + usDate(ago(31 * day)));
}

TEST_F(ClutterSearches, ScreenshotsAreToldByNameAgeAndSize) {
    const QString desktop = home(QStringLiteral("Desktop"));
    const QString shots = home(QStringLiteral("Pictures/Screenshots"));
    struct Entry {
        QString path;
        qint64 size;
        qint64 age;
    };
    for (const Entry& e : {Entry{desktop + "/IMG_0001.PNG", 90000, 20 * day},
                           Entry{desktop + "/Screen Shot 2020-01-01.png", 90000, 20 * day},
                           Entry{desktop + "/my-screenshot.jpg", 20001, 20 * day},
                           Entry{desktop + "/screenshot-edge.png", 20000, 20 * day},
                           Entry{desktop + "/Screenshot fresh.png", 90000, 14 * day},
                           Entry{desktop + "/.screenshot.png", 90000, 20 * day},
                           Entry{shots + "/Screenshot from 2024-03-01 10-00-00.png", 90000, 15 * day},
                           Entry{shots + "/nested/Screenshot deep.png", 90000, 20 * day}}) {
        setModified(writeSparse(e.path, e.size), ago(e.age));
    }
    makeDir(desktop + QStringLiteral("/Screenshot folder"));
    setModified(desktop + QStringLiteral("/Screenshot folder"), ago(20 * day));

    const auto items = ClutterService::screenshots(
        {desktop, home(QStringLiteral("Pictures")), shots, home(QStringLiteral("Missing"))}, context());
    ASSERT_EQ(titlesOf(items), (QStringList{"Screen Shot 2020-01-01.png", "my-screenshot.jpg",
                                            "Screenshot from 2024-03-01 10-00-00.png"}));
    EXPECT_EQ(items[0].detail, QStringLiteral("~/Desktop"));
    EXPECT_EQ(items[2].detail, QStringLiteral("~/Pictures/Screenshots"));
    EXPECT_EQ(items[1].size, 20001);
    EXPECT_EQ(items[0].kind, ClutterItem::Kind::screenshots);
    EXPECT_FALSE(items[0].isSelected || items[0].isSafeDefault);
}

TEST_F(ClutterSearches, MailDownloadsIsOneItemOverOneMegabyte) {
    const QString mail = home(QStringLiteral("Library/Containers/com.apple.mail/Data/Library/Mail Downloads"));
    writeSparse(mail + QStringLiteral("/a/attachment.pdf"), 600000);
    writeSparse(mail + QStringLiteral("/b/photo.jpg"), 400000);
    EXPECT_TRUE(ClutterService::mailDownloads(mail, context()).isEmpty()) << "exactly 1,000,000 bytes";
    writeSparse(mail + QStringLiteral("/c/one-more"), 1);
    const auto items = ClutterService::mailDownloads(mail, context());
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0].title, QStringLiteral("Mail Downloads"));
    EXPECT_EQ(items[0].path, mail);
    EXPECT_EQ(items[0].detail, QStringLiteral("~/Library/Containers/com.apple.mail/\u2026/Mail Downloads"));
    EXPECT_EQ(items[0].size, 1000001);
    EXPECT_FALSE(items[0].isSelected);
    EXPECT_TRUE(ClutterService::mailDownloads(home(QStringLiteral("none")), context()).isEmpty());
}

TEST_F(ClutterSearches, LargeOldFilesKeepTheirThresholdsAndBounds) {
    const QString documents = home(QStringLiteral("Documents"));
    const QString movies = home(QStringLiteral("Videos"));
    struct Entry {
        QString path;
        qint64 size;
        qint64 age;
    };
    for (const Entry& e : {Entry{documents + "/old.vdi", 100 * MB, 181 * day},
                           Entry{documents + "/smaller.vdi", 100 * MB - 1, 400 * day},
                           Entry{documents + "/recent.vdi", 200 * MB, 180 * day},
                           Entry{documents + "/Project.app/Contents/data.bin", 150 * MB, 200 * day},
                           Entry{documents + "/.hidden/big.bin", 150 * MB, 200 * day},
                           Entry{movies + "/film.mkv", 300 * MB, 365 * day}}) {
        setModified(writeSparse(e.path, e.size), ago(e.age));
    }
    auto items = ClutterService::largeOld({documents, movies, documents}, context());
    ASSERT_EQ(titlesOf(items), (QStringList{"data.bin", "old.vdi", "film.mkv"})) << "each file once";
    EXPECT_EQ(items[1].detail, QStringLiteral("Last modified ") + usDate(ago(181 * day)));
    EXPECT_EQ(items[1].size, 100 * MB);
    EXPECT_EQ(items[1].kind, ClutterItem::Kind::largeOld);
    EXPECT_FALSE(items[1].isSelected);

    // 40 in all; the later folders are not walked once 40 are found.
    const QString many = home(QStringLiteral("Many"));
    for (int i = 0; i < 45; ++i) setModified(writeSparse(many + QStringLiteral("/f%1").arg(i, 2, 10, QLatin1Char('0')), 100 * MB), ago(200 * day));
    items = ClutterService::largeOld({many, movies}, context());
    EXPECT_EQ(items.size(), 40);
    EXPECT_FALSE(titlesOf(items).contains(QStringLiteral("film.mkv")));

    // Only the first 10,000 entries of a folder are looked at.
    const QString crowded = home(QStringLiteral("Crowded"));
    makeDir(crowded);
    linkMany(writeFilled(crowded + QStringLiteral("/a-small"), 1), crowded, 9999);
    setModified(writeSparse(crowded + QStringLiteral("/z-big"), 100 * MB), ago(200 * day));
    EXPECT_TRUE(ClutterService::largeOld({crowded}, context()).isEmpty());
    QFile::remove(crowded + QStringLiteral("/l09998"));
    EXPECT_EQ(titlesOf(ClutterService::largeOld({crowded}, context())), QStringList{"z-big"});
}

TEST_F(ClutterSearches, DuplicatesNeedTheWholeContentAndSeparateFiles) {
    const QString downloads = home(QStringLiteral("Downloads"));
    const QString documents = home(QStringLiteral("Documents"));
    writeFilled(downloads + QStringLiteral("/a.bin"), 2 * MB, 'a');
    writeFilled(documents + QStringLiteral("/a copy.bin"), 2 * MB, 'a');
    // Equal in their first 256 KiB, different later.
    writeFilled(downloads + QStringLiteral("/same-start-1.bin"), 3 * MB, 'b', "1");
    writeFilled(downloads + QStringLiteral("/same-start-2.bin"), 3 * MB, 'b', "2");
    // A second name of one file is no copy of it.
    writeFilled(downloads + QStringLiteral("/linked.bin"), 4 * MB, 'c');
    ASSERT_EQ(::link(PathCodec::encode(downloads + QStringLiteral("/linked.bin")).constData(),
                     PathCodec::encode(documents + QStringLiteral("/linked-too.bin")).constData()),
              0);
    // Too small to be looked at; hidden files are not walked.
    writeFilled(downloads + QStringLiteral("/small-1"), 2 * MB - 1, 'd');
    writeFilled(downloads + QStringLiteral("/small-2"), 2 * MB - 1, 'd');
    writeFilled(downloads + QStringLiteral("/.hidden"), 2 * MB, 'a');

    const quint64 readBefore = FileReader::totalBytesRead();
    const auto items = ClutterService::duplicates({downloads, documents, downloads}, context());
    const quint64 read = FileReader::totalBytesRead() - readBefore;
    ASSERT_EQ(titlesOf(items), QStringList{"a copy.bin"});
    EXPECT_EQ(items[0].detail, QStringLiteral("Duplicate of ~/Downloads/a.bin"));
    EXPECT_EQ(items[0].path, documents + QStringLiteral("/a copy.bin"));
    EXPECT_EQ(items[0].size, 2 * MB);
    EXPECT_EQ(items[0].kind, ClutterItem::Kind::duplicates);
    EXPECT_FALSE(items[0].isSelected || items[0].isSafeDefault);
    // Each candidate was read once: the copies whole, the two that only start
    // alike whole as well (to tell them apart), nothing else.
    EXPECT_EQ(read, static_cast<quint64>(2 * 2 * MB + 2 * 3 * MB));
}

TEST_F(ClutterSearches, DuplicatesReadTenFilesASizeAndStopTakingSizesAt40) {
    const QString downloads = home(QStringLiteral("Downloads"));
    // Files of 2 MiB data and a hole: equal contents, only the data read.
    for (int i = 0; i < 12; ++i) {
        writeSparse(downloads + QStringLiteral("/twelve%1").arg(i, 2, 10, QLatin1Char('0')), 29 * MB, 2 * MB);
    }
    auto items = ClutterService::duplicates({downloads}, context());
    ASSERT_EQ(items.size(), 9) << "only the first 10 of a size are compared";
    EXPECT_EQ(items[0].title, QStringLiteral("twelve01"));
    EXPECT_EQ(items[0].detail, QStringLiteral("Duplicate of ~/Downloads/twelve00"));
    EXPECT_FALSE(titlesOf(items).contains(QStringLiteral("twelve10")));

    // Five more sizes of ten copies each: the sizes run largest first, and
    // one more size is taken up while fewer than 40 are listed.
    for (int s = 0; s < 5; ++s) {
        for (int i = 0; i < 10; ++i) {
            writeSparse(downloads + QStringLiteral("/size%1-%2").arg(s).arg(i), 2 * MB + s * 100000, 2 * MB);
        }
    }
    items = ClutterService::duplicates({downloads}, context());
    EXPECT_EQ(items.size(), 9 + 9 + 9 + 9 + 9);
    EXPECT_FALSE(titlesOf(items).contains(QStringLiteral("size0-1"))) << "the smallest size is never taken up";
}

TEST_F(ClutterSearches, SimilarImagesKeepTheLargestAndListTheOthers) {
    const QString pictures = home(QStringLiteral("Pictures"));
    const QString desktop = home(QStringLiteral("Desktop"));
    const QImage photo = test::picture(11);
    // The largest copy is found last and still stays.
    const QString kept = test::savePicture(photo, pictures + QStringLiteral("/z-original.png"), "PNG");
    test::savePicture(photo, pictures + QStringLiteral("/a-copy.jpg"), "JPEG", 95);
    test::savePicture(photo.scaled(640, 480, Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
                      desktop + QStringLiteral("/resized.jpeg"), "JPEG", 98);
    test::savePicture(photo, desktop + QStringLiteral("/copy.webp"), "WEBP", 95);
    test::savePicture(test::picture(12), pictures + QStringLiteral("/other.png"), "PNG");
    test::savePicture(test::picture(13), pictures + QStringLiteral("/third.jpg"), "JPEG", 98);
    // Flat pictures of different colours are not alike; uncompressed, they are large enough.
    test::savePicture(test::flatPicture(Qt::red), pictures + QStringLiteral("/red.png"), "PNG", 100);
    test::savePicture(test::flatPicture(Qt::blue), pictures + QStringLiteral("/blue.png"), "PNG", 100);
    // Looked at, but no picture.
    writeFilled(pictures + QStringLiteral("/broken.png"), 300000, 'x');
    for (const QString& path : {kept, pictures + QStringLiteral("/red.png"), pictures + QStringLiteral("/a-copy.jpg"),
                                desktop + QStringLiteral("/resized.jpeg"), desktop + QStringLiteral("/copy.webp"),
                                pictures + QStringLiteral("/third.jpg")}) {
        ASSERT_GT(QFileInfo(path).size(), 120000) << path.toStdString();
    }

    const auto items = ClutterService::similarImages({pictures, desktop}, context());
    QStringList titles = titlesOf(items);
    titles.sort();
    ASSERT_EQ(titles, (QStringList{"a-copy.jpg", "copy.webp", "resized.jpeg"}));
    for (const ClutterItem& item : items) {
        EXPECT_EQ(item.detail, QStringLiteral("Similar to ~/Pictures/z-original.png"));
        EXPECT_EQ(item.kind, ClutterItem::Kind::similarImages);
        EXPECT_FALSE(item.isSelected);
        EXPECT_EQ(item.size, QFileInfo(item.path).size());
    }
}

TEST_F(ClutterSearches, SimilarImagesKeepTheSizeLimitsAndEndAt25) {
    const QString pictures = home(QStringLiteral("Pictures"));
    const QImage photo = test::picture(21, QSize(200, 150));
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        photo.save(&buffer, "PNG");
    }
    ASSERT_LT(png.size(), 120000);
    // Bytes after a PNG's end are ignored by its decoder: pad to exact sizes.
    auto padded = [&](const QString& name, qint64 size) {
        return test::writeFile(pictures + QLatin1Char('/') + name, png + QByteArray(size - png.size(), '\0'));
    };
    padded(QStringLiteral("a.png"), 130000);
    padded(QStringLiteral("b-exactly-above.png"), 120000);
    padded(QStringLiteral("c.png"), 120001);
    padded(QStringLiteral("d.gif"), 130000);
    auto items = ClutterService::similarImages({pictures}, context());
    ASSERT_EQ(titlesOf(items), QStringList{"c.png"});
    EXPECT_EQ(items[0].detail, QStringLiteral("Similar to ~/Pictures/a.png"));

    for (int i = 0; i < 30; ++i) padded(QStringLiteral("many%1.png").arg(i, 2, 10, QLatin1Char('0')), 125000);
    items = ClutterService::similarImages({pictures}, context());
    EXPECT_EQ(items.size(), 25);
}

}  // namespace
}  // namespace tarnwick
