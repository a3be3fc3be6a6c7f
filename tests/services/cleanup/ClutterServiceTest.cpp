#include "services/cleanup/ClutterService.h"

#include "platform/MountTable.h"
#include "platform/PathCodec.h"

#include "JunkTestSupport.h"

#include <QFile>
#include <QFileInfo>

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

// A folder that moves whole holds no finding, and no copy that a finding
// names as the one to keep: a dependency tree, a cache, an app's data, the
// Trash. Places pointed into such folders are not looked in either.
TEST_F(ClutterScan, NothingInsideAFolderThatMovesWholeIsOfferedOrKept) {
    // The caches and the data folder (with the Trash) moved into Documents.
    env.environment().variables.insert(QStringLiteral("XDG_CACHE_HOME"), home(QStringLiteral("Documents/cache")));
    env.environment().variables.insert(QStringLiteral("XDG_DATA_HOME"), home(QStringLiteral("Documents/data")));
    writeFile(home(QStringLiteral(".config/user-dirs.dirs")),
              "XDG_DOWNLOAD_DIR=\"$HOME/.var/app/org.example.Browser/Downloads\"\n");
    env.apply();
    // Two projects' dependency trees: the same file in each.
    writeFilled(home(QStringLiteral("Documents/a/node_modules/typescript/lib/typescript.js")), 3 * MB, 't');
    writeFilled(home(QStringLiteral("Documents/b/node_modules/typescript/lib/typescript.js")), 3 * MB, 't');
    // The copy inside is found first: it is no copy to keep, so the one outside is not offered either.
    writeFilled(home(QStringLiteral("Desktop/bundle.js")), 3 * MB, 'b');
    writeFilled(home(QStringLiteral("Documents/c/node_modules/bundle.js")), 3 * MB, 'b');
    setModified(writeSparse(home(QStringLiteral("Documents/d/node_modules/big.bin")), 150 * MB), ago(200 * day));
    writeFilled(home(QStringLiteral("Documents/cache/app/blob")), 3 * MB, 'c');
    writeFilled(home(QStringLiteral("Desktop/blob copy")), 3 * MB, 'c');
    setModified(writeSparse(home(QStringLiteral("Documents/cache/app/old.pack")), 150 * MB), ago(200 * day));
    setModified(writeFilled(home(QStringLiteral(".var/app/org.example.Browser/Downloads/Setup.iso")), 3 * MB),
                ago(40 * day));
    // The Trash lists its own entries, each whole (a trashed dependency tree
    // among them), but what it holds is no copy to keep.
    writeFilled(home(QStringLiteral("Documents/data/Trash/files/node_modules/x.js")), 4 * MB, 'x');
    writeFilled(home(QStringLiteral("Documents/data/Trash/files/y.js")), 3 * MB, 'y');
    writeFilled(home(QStringLiteral("Desktop/y copy.js")), 3 * MB, 'y');
    // Outside them all, copies are still offered.
    writeFilled(home(QStringLiteral("Documents/report.pdf")), 4 * MB, 'r');
    writeFilled(home(QStringLiteral("Desktop/report copy.pdf")), 4 * MB, 'r');

    const QList<ClutterItem> items = scan();
    EXPECT_EQ(describe(items), (QStringList{"Trash: node_modules", "Trash: y.js", "Duplicates: report copy.pdf"}));
}

// A mount point is never a finding, and what is mounted below a searched
// folder is not looked into; the mount table is the kernel's, links resolved.
TEST_F(ClutterScan, AMountPointIsNeitherAFindingNorEntered) {
    struct Restore {
        ~Restore() { MountTable::setSourceForTesting({}); }
    } restore;
    const QString trash = home(QStringLiteral(".local/share/Trash/files"));
    writeSparse(trash + QStringLiteral("/mounted/a"), 5 * MB);
    writeSparse(trash + QStringLiteral("/kept/a"), 5 * MB);
    setModified(writeSparse(home(QStringLiteral("Movies/bound.mkv")), 150 * MB), ago(200 * day));
    setModified(writeSparse(home(QStringLiteral("Movies/own.mkv")), 150 * MB), ago(200 * day));
    setModified(writeSparse(home(QStringLiteral("Documents/share/film.mkv")), 150 * MB), ago(200 * day));
    writeFilled(home(QStringLiteral("Documents/share/report.pdf")), 4 * MB, 'r');
    writeFilled(home(QStringLiteral("Desktop/report.pdf")), 4 * MB, 'r');
    const QString mail = home(QStringLiteral("Library/Containers/com.apple.mail/Data/Library/Mail Downloads"));
    writeSparse(mail + QStringLiteral("/a"), 2 * MB);
    QByteArray table;
    for (const QString& point : {trash + QStringLiteral("/mounted"), home(QStringLiteral("Movies/bound.mkv")),
                                 home(QStringLiteral("Documents/share")), mail}) {
        const QString real = QFileInfo(point).canonicalFilePath();
        ASSERT_FALSE(real.isEmpty());
        table += "40 27 0:50 / " + PathCodec::encode(real).replace(" ", "\\040") + " rw - tmpfs t rw\n";
    }
    MountTable::setSourceForTesting([&] { return std::optional<QByteArray>(table); });

    EXPECT_EQ(describe(scan()), (QStringList{"Trash: kept", "Large & Old: own.mkv"}));
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
