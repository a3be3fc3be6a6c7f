#include "services/cleanup/ClutterService.h"

#include "JunkTestSupport.h"

#include <QFile>

#include <algorithm>

namespace tarnwick {
namespace {

using test::setModified;
using test::writeFile;
using test::writeFilled;
using test::writeSparse;

constexpr qint64 MB = 1000000;
constexpr qint64 day = 86400;

const QStringList kLabels = {
    "Checking Trash\u2026",          "Checking Downloads\u2026",      "Finding screenshots\u2026",
    "Checking Mail downloads\u2026", "Looking for duplicates\u2026",  "Finding similar images\u2026",
    "Finding large & old files\u2026",
};

class ClutterScan : public test::JunkTest {
protected:
    QList<ClutterItem> scan(std::stop_token stop = {}) {
        labels.clear();
        return ClutterService::scan([this](const QString& label) { labels.append(label); }, std::move(stop));
    }

    static QStringList describe(const QList<ClutterItem>& items) {
        QStringList out;
        for (const ClutterItem& item : items) out.append(rawValue(item.kind) + QStringLiteral(": ") + item.title);
        return out;
    }

    QStringList labels;
};

TEST_F(ClutterScan, AnEmptyHomeGivesNothingAfterAllSevenLabels) {
    EXPECT_TRUE(scan().isEmpty());
    EXPECT_EQ(labels, kLabels);

    std::stop_source stop;
    stop.request_stop();
    writeSparse(home(QStringLiteral(".local/share/Trash/files/old")), 5 * MB);
    EXPECT_TRUE(scan(stop.get_token()).isEmpty()) << "a stopped scan runs no search";
    EXPECT_TRUE(labels.isEmpty());
}

TEST_F(ClutterScan, EveryKindIsFoundInThisPlatformsFoldersAndSortedBySize) {
    // The user-dirs file moves Downloads and Videos; the trash follows XDG_DATA_HOME.
    writeFile(home(QStringLiteral(".config/user-dirs.dirs")),
              "XDG_DOWNLOAD_DIR=\"$HOME/Herunterladen\"\nXDG_VIDEOS_DIR=\"$HOME/Filme\"\n");
    env.environment().variables.insert(QStringLiteral("XDG_DATA_HOME"), env.path(QStringLiteral("data")));
    env.apply();
    const QString downloads = home(QStringLiteral("Herunterladen"));

    writeSparse(env.path(QStringLiteral("data/Trash/files/old-folder/a")), 7 * MB);
    setModified(writeFilled(downloads + QStringLiteral("/Setup.iso"), 3 * MB), ago(40 * day));
    setModified(writeSparse(home(QStringLiteral("Pictures/Screenshots/Screenshot from 2023.png")), 60000),
                ago(20 * day));
    setModified(writeSparse(home(QStringLiteral("Desktop/Screenshot small.png")), 30000), ago(20 * day));
    writeSparse(home(QStringLiteral("Library/Containers/com.apple.mail/Data/Library/Mail Downloads/a")), 2 * MB);
    writeFilled(downloads + QStringLiteral("/report.pdf"), 4 * MB, 'r');
    writeFilled(home(QStringLiteral("Documents/report copy.pdf")), 4 * MB, 'r');
    // A large old film and its copy: the copy is a duplicate (of the 5 MB
    // the sparse file takes on disk) and a large old file.
    setModified(writeSparse(home(QStringLiteral("Documents/film.mkv")), 101 * MB, 5 * MB), ago(200 * day));
    setModified(writeSparse(home(QStringLiteral("Desktop/film copy.mkv")), 101 * MB, 5 * MB), ago(200 * day));
    setModified(writeSparse(home(QStringLiteral("Filme/clip.mkv")), 100 * MB), ago(200 * day));
    // Not the user's Downloads and Videos any more.
    setModified(writeFilled(home(QStringLiteral("Downloads/Old.iso")), 3 * MB), ago(40 * day));
    setModified(writeSparse(home(QStringLiteral("Movies/old.mov")), 300 * MB), ago(200 * day));

    const QList<ClutterItem> items = scan();
    EXPECT_EQ(labels, kLabels);
    EXPECT_EQ(describe(items), (QStringList{
                                   // Preselected first, then the others by size.
                                   "Trash: old-folder",
                                   "Old Downloads: Setup.iso",
                                   "Large & Old: film.mkv",
                                   "Large & Old: film copy.mkv",
                                   "Large & Old: clip.mkv",
                                   "Duplicates: film copy.mkv",
                                   "Duplicates: report copy.pdf",
                                   "Mail Downloads: Mail Downloads",
                                   "Screenshots: Screenshot from 2023.png",
                               }));
    EXPECT_EQ(items[0].detail, env.path(QStringLiteral("data/Trash/files")));
    EXPECT_EQ(items[0].size, 7 * MB);
    EXPECT_EQ(items[5].detail, QStringLiteral("Duplicate of ~/Documents/film.mkv"));
    EXPECT_TRUE(items[5].size >= 5 * MB && items[5].size < 6 * MB) << items[5].size;
    EXPECT_EQ(items[3].path, items[5].path) << "listed under both kinds";
    EXPECT_EQ(items[6].path, home(QStringLiteral("Documents/report copy.pdf")));
    EXPECT_EQ(items[8].detail, QStringLiteral("~/Pictures/Screenshots"));
    for (const ClutterItem& item : items) {
        const bool preselected = item.kind == ClutterItem::Kind::trash || item.kind == ClutterItem::Kind::downloads;
        EXPECT_EQ(item.isSelected, preselected) << item.title.toStdString();
        EXPECT_EQ(item.isSafeDefault, item.isSelected);
    }
}

TEST_F(ClutterScan, TheListIsTrimmedToSixtyWithEveryPreselectedItem) {
    const QString trash = home(QStringLiteral(".local/share/Trash/files"));
    for (int i = 0; i < 70; ++i) writeSparse(trash + QStringLiteral("/t%1").arg(i, 2, 10, QLatin1Char('0')), 200000 + i);
    const QString movies = home(QStringLiteral("Movies"));
    for (int i = 0; i < 30; ++i) {
        setModified(writeSparse(movies + QStringLiteral("/m%1").arg(i, 2, 10, QLatin1Char('0')), 100 * MB + i),
                    ago(200 * day));
    }
    QList<ClutterItem> items = scan();
    EXPECT_EQ(items.size(), 70) << "selected items are never cut";
    EXPECT_TRUE(std::all_of(items.begin(), items.end(), [](const ClutterItem& i) { return i.isSelected; }));

    for (int i = 10; i < 70; ++i) QFile::remove(trash + QStringLiteral("/t%1").arg(i, 2, 10, QLatin1Char('0')));
    const QString documents = home(QStringLiteral("Documents"));
    for (int i = 0; i < 30; ++i) {
        setModified(writeSparse(documents + QStringLiteral("/d%1").arg(i, 2, 10, QLatin1Char('0')), 200 * MB + i),
                    ago(200 * day));
    }
    for (int i = 0; i < 20; ++i) {
        setModified(writeSparse(home(QStringLiteral("Desktop/Screenshot %1.png").arg(i)), 60000), ago(20 * day));
    }
    items = scan();
    ASSERT_EQ(items.size(), 60);
    EXPECT_EQ(std::count_if(items.begin(), items.end(), [](const ClutterItem& i) { return i.isSelected; }), 10);
    // 40 large old files at most: the 30 in Documents, then 10 of Movies.
    EXPECT_EQ(std::count_if(items.begin(), items.end(),
                            [](const ClutterItem& i) { return i.kind == ClutterItem::Kind::largeOld; }),
              40);
    EXPECT_EQ(items[10].title, QStringLiteral("d29")) << "the largest unselected item follows the selected ones";
}

}  // namespace
}  // namespace tarnwick
