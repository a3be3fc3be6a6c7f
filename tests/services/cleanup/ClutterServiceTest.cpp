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

TEST_F(ClutterScan, AStoppedScanRunsNoSearch) {
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
    EXPECT_EQ(items[0].size, 7 * MB);
    EXPECT_EQ(items[5].detail, QStringLiteral("Duplicate of ~/Documents/film.mkv"));
    EXPECT_TRUE(items[5].size >= 5 * MB && items[5].size < 6 * MB) << items[5].size;
    EXPECT_EQ(items[3].path, items[5].path) << "listed under both kinds";
    EXPECT_EQ(items[6].path, home(QStringLiteral("Documents/report copy.pdf")));
    for (const ClutterItem& item : items) {
        const bool preselected = item.kind == ClutterItem::Kind::trash || item.kind == ClutterItem::Kind::downloads;
        EXPECT_EQ(item.isSelected, preselected) << item.title.toStdString();
        EXPECT_EQ(item.isSafeDefault, item.isSelected);
    }
}

// With Downloads set to the Safe Bin, the program's own items look like old
// downloads, duplicates and large files: none of them is ever listed.
TEST_F(ClutterScan, TheProgramsOwnFoldersAreNeverFindings) {
    const QString bin = env.support() + QStringLiteral("/Tarnwick/SafeBin");
    writeFile(home(QStringLiteral(".config/user-dirs.dirs")),
              "XDG_DOWNLOAD_DIR=\"$HOME/.local/share/Tarnwick/SafeBin\"\n");
    setModified(writeFilled(bin + QStringLiteral("/0A-Setup.iso"), 3 * MB, 's'), ago(40 * day));
    writeFilled(home(QStringLiteral("Documents/Setup copy.iso")), 3 * MB, 's');
    setModified(writeSparse(bin + QStringLiteral("/0B-film.mkv"), 150 * MB), ago(200 * day));
    setModified(writeSparse(home(QStringLiteral("Movies/own.mkv")), 150 * MB), ago(200 * day));

    // The copy in the Safe Bin is no copy to keep: "Setup copy.iso" is not offered either.
    const QList<ClutterItem> items = scan();
    EXPECT_EQ(describe(items), QStringList{"Large & Old: own.mkv"});
}

TEST_F(ClutterScan, TheListIsTrimmedWithEveryPreselectedItem) {
    const QString trash = home(QStringLiteral(".local/share/Trash/files"));
    for (int i = 0; i < 70; ++i) writeSparse(trash + QStringLiteral("/t%1").arg(i, 2, 10, QLatin1Char('0')), 200000 + i);
    for (int i = 0; i < 30; ++i) {
        setModified(writeSparse(home(QStringLiteral("Movies/m%1").arg(i)), 100 * MB + i), ago(200 * day));
    }
    const QList<ClutterItem> items = scan();
    EXPECT_EQ(items.size(), 70) << "selected items are never cut, the others are";
    EXPECT_TRUE(std::all_of(items.begin(), items.end(), [](const ClutterItem& i) { return i.isSelected; }));
}

}  // namespace
}  // namespace tarnwick
