#include "services/cleanup/CleanupService.h"

#include "services/cleanup/JunkResults.h"

#include "JunkTestSupport.h"

#include <QFile>
#include <QHash>

#include <unistd.h>

namespace tarnwick {
namespace {

using test::makeDir;
using test::writeFilled;
using test::writeSparse;

constexpr qint64 MB = 1000000;

const QStringList kLabels = {
    "Scanning caches…",        "Scanning logs…",       "Scanning temp files…",    "Scanning iOS backups…",
    "Scanning Photo junk…",    "Scanning Mail…",       "Finding unused languages…", "Scanning Xcode…",
    "Scanning Docker…",        "Scanning AI models…",  "Finding node_modules…",   "Finding app leftovers…",
    "Checking Downloads…",     "Looking for duplicates…",
};

class CleanupScan : public test::JunkTest {
protected:
    QList<CleanupItem> scan(std::stop_token stop = {}) {
        labels.clear();
        return CleanupService::scan([this](const QString& label) { labels.append(label); }, std::move(stop));
    }

    static QStringList titles(const QList<CleanupItem>& items) {
        QStringList out;
        for (const CleanupItem& item : items) out.append(item.title);
        return out;
    }

    static const CleanupItem* byPath(const QList<CleanupItem>& items, const QString& path) {
        for (const CleanupItem& item : items) {
            if (item.path == path) return &item;
        }
        return nullptr;
    }

    QStringList labels;
};

TEST_F(CleanupScan, AnEmptyHomeGivesNothingAfterAllFourteenLabels) {
    EXPECT_TRUE(scan().isEmpty());
    EXPECT_EQ(labels, kLabels);
}

TEST_F(CleanupScan, EveryFixedPlaceOfBothLayoutsIsFoundWithItsTitleAndRules) {
    const QString temp = makeDir(env.path(QStringLiteral("user-tmp")));
    env.environment().tempDirectory = temp;
    env.apply();
    struct Row {
        QString path;
        const char* title;
        CleanupCategory category;
        bool safe;
        bool keepsFolder;
    };
    using C = CleanupCategory;
    const QString docker = home(QStringLiteral("Library/Containers/com.docker.docker/Data/"));
    const std::vector<Row> rows = {
        {home(QStringLiteral(".cache")), "User Caches", C::caches, true, true},
        {root(QStringLiteral("/Library/Caches")), "System Caches", C::caches, false, true},
        {home(QStringLiteral("Library/Logs")), "User Logs", C::logs, true, true},
        {root(QStringLiteral("/private/var/log")), "System Logs", C::logs, false, true},
        {temp, "User temp", C::temp, true, true},
        {root(QStringLiteral("/private/var/folders")), "System var/folders (sampled)", C::temp, false, true},
        {home(QStringLiteral("Library/Application Support/MobileSync/Backup")), "iOS Device Backups", C::iosBackups,
         false, false},
        {home(QStringLiteral("Pictures/Photos Library.photoslibrary/resources/caches")), "Photos caches", C::photoJunk,
         true, true},
        {home(QStringLiteral("Pictures/Photos Library.photoslibrary/resources/repair")), "Photos repair", C::photoJunk,
         true, true},
        {home(QStringLiteral("Library/Containers/com.apple.Photos/Data/Library/Caches")), "Photos container caches",
         C::photoJunk, true, true},
        {home(QStringLiteral("Library/Containers/com.apple.mail/Data/Library/Mail Downloads")), "Mail Downloads",
         C::mail, false, true},
        {home(QStringLiteral("Library/Mail Downloads")), "Legacy Mail Downloads", C::mail, false, true},
        {home(QStringLiteral("Library/Developer/Xcode/DerivedData")), "Xcode DerivedData", C::xcode, true, true},
        {home(QStringLiteral("Library/Developer/Xcode/iOS DeviceSupport")), "iOS DeviceSupport", C::xcode, true, true},
        {home(QStringLiteral("Library/Developer/CoreSimulator/Caches")), "Simulator Caches", C::xcode, true, true},
        {docker + QStringLiteral("vms/0/data/Docker.raw"), "Docker.raw", C::docker, false, false},
        {home(QStringLiteral(".docker/desktop/vms/0/data/Docker.raw")), "Docker.raw", C::docker, false, false},
        {docker + QStringLiteral("vms/0/data/Docker.qcow2"), "Docker.qcow2", C::docker, false, false},
        {home(QStringLiteral(".docker/desktop/vms/0/data/Docker.qcow2")), "Docker.qcow2", C::docker, false, false},
        {docker + QStringLiteral("log"), "Docker logs", C::docker, true, true},
        {home(QStringLiteral(".docker/desktop/log")), "Docker logs", C::docker, true, true},
        {home(QStringLiteral(".ollama/models")), "Ollama models", C::ai, false, true},
        {home(QStringLiteral(".cache/huggingface")), "Hugging Face cache", C::ai, false, true},
        {home(QStringLiteral(".lmstudio")), "LM Studio", C::ai, false, true},
    };
    for (const Row& row : rows) {
        if (row.path.contains(QLatin1String("Docker.raw")) || row.path.contains(QLatin1String("Docker.qcow2"))) {
            // A sparse disk image: 64 MB long, 200 KiB of it on disk.
            writeSparse(row.path, 64 * MB);
            QFile image(row.path);
            ASSERT_TRUE(image.open(QIODevice::ReadWrite));
            image.write(QByteArray(200 * 1024, 'v'));
        } else {
            writeSparse(row.path + QStringLiteral("/entry"), 200000);
        }
    }
    // The macOS cache folder itself is no location of the caches stage here.
    writeSparse(home(QStringLiteral("Library/Caches/com.example/blob")), 5 * MB);

    const QList<CleanupItem> items = scan();
    ASSERT_EQ(items.size(), static_cast<qsizetype>(rows.size())) << titles(items).join(u'|').toStdString();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path.toStdString());
        const CleanupItem* item = byPath(items, row.path);
        ASSERT_TRUE(item);
        EXPECT_EQ(item->title, QString::fromUtf8(row.title));
        EXPECT_EQ(item->category, row.category);
        EXPECT_EQ(item->isSelected, row.safe);
        EXPECT_EQ(item->isSafeDefault, row.safe);
        EXPECT_EQ(item->scope.contentsOnly, row.keepsFolder);
        const bool inHome = row.path.startsWith(env.home() + QLatin1Char('/'));
        EXPECT_EQ(item->detail, inHome ? QLatin1Char('~') + row.path.mid(env.home().size()) : row.path);
        if (!row.path.contains(QLatin1String("Docker.raw")) && !row.path.contains(QLatin1String("Docker.qcow2"))) {
            EXPECT_EQ(item->size, 200000);
        } else {
            EXPECT_GE(item->size, 200 * 1024);
            EXPECT_LT(item->size, MB);  // its blocks, not its length
        }
    }
    // The model cache below the cache folder is its own finding, left out of the cache folder's.
    EXPECT_EQ(byPath(items, home(QStringLiteral(".cache")))->scope.keptPaths,
              QStringList{home(QStringLiteral(".cache/huggingface"))});
}

TEST_F(CleanupScan, OnlyFindingsOfMoreThanOneHundredThousandBytesAreListed) {
    for (qint64 size : {100000, 100001}) {
        writeSparse(home(QStringLiteral("Library/Logs/app.log")), size);
        const QList<CleanupItem> items = scan();
        EXPECT_EQ(items.size(), size > 100000 ? 1 : 0) << size;
    }
}

TEST_F(CleanupScan, SelectedFindingsComeFirstAndEqualSizesKeepTheStageOrder) {
    writeSparse(home(QStringLiteral("Library/Mail Downloads/big")), 500000);
    writeSparse(home(QStringLiteral("Library/Logs/log")), 200000);
    writeSparse(home(QStringLiteral(".cache/cache")), 200000);
    writeSparse(home(QStringLiteral("Library/Developer/Xcode/DerivedData/x")), 300000);
    EXPECT_EQ(titles(scan()), (QStringList{"Xcode DerivedData", "User Caches", "User Logs", "Legacy Mail Downloads"}));
}

TEST_F(CleanupScan, TheFinalStepsFilterSortAndTrim) {
    std::vector<JunkFinding> findings;
    for (int i = 0; i < 100; ++i) {
        JunkFinding finding;
        finding.item.title = QString::number(i);
        finding.item.path = home(QStringLiteral("f%1").arg(i));
        finding.item.size = 200000 + (i % 50) * 1000;
        finding.item.isSelected = i % 10 < 3;
        findings.push_back(finding);
    }
    findings[5].item.size = 100000;  // dropped
    const QList<CleanupItem> items = CleanupService::finishScan(findings, context());
    ASSERT_EQ(items.size(), 80);
    for (int i = 0; i < 30; ++i) EXPECT_TRUE(items[i].isSelected) << i;
    for (int i = 30; i < 80; ++i) EXPECT_FALSE(items[i].isSelected) << i;
    // Largest first; equal sizes keep the order found ("49" before "99").
    EXPECT_EQ(items[0].title, QStringLiteral("42"));
    EXPECT_EQ(items[1].title, QStringLiteral("92"));
    EXPECT_EQ(items[30].title, QStringLiteral("49"));
    EXPECT_EQ(items[31].title, QStringLiteral("99"));
}

TEST_F(CleanupScan, FindingsInsideOtherFindingsAreNeitherCountedNorMovedTwice) {
    writeSparse(home(QStringLiteral(".cache/thumbnails/t")), 300000);
    writeSparse(home(QStringLiteral(".cache/huggingface/hub/model")), 5 * MB);
    // A copy inside a project's node_modules of a file in Downloads.
    writeFilled(home(QStringLiteral("Downloads/big.bin")), 3 * MB, 'k');
    writeFilled(home(QStringLiteral("Documents/proj/node_modules/pkg/big.bin")), 3 * MB, 'k');
    writeSparse(home(QStringLiteral("Documents/proj/node_modules/other/x")), 6 * MB);
    // A leftover container that holds the disk image.
    writeFilled(home(QStringLiteral("Library/Containers/com.docker.docker/Data/vms/0/data/Docker.raw")), 2 * MB, 'r');
    writeSparse(home(QStringLiteral("Library/Containers/com.docker.docker/Other/state")), 30 * MB);

    const QList<CleanupItem> items = scan();
    const CleanupItem* cache = byPath(items, home(QStringLiteral(".cache")));
    ASSERT_TRUE(cache);
    EXPECT_EQ(cache->size, 300000);
    EXPECT_TRUE(cache->scope.contentsOnly);
    EXPECT_EQ(cache->scope.keptPaths, QStringList{home(QStringLiteral(".cache/huggingface"))});
    ASSERT_TRUE(byPath(items, home(QStringLiteral(".cache/huggingface"))));
    EXPECT_EQ(byPath(items, home(QStringLiteral(".cache/huggingface")))->size, 5 * MB);

    const CleanupItem* node = byPath(items, home(QStringLiteral("Documents/proj/node_modules")));
    ASSERT_TRUE(node);
    EXPECT_EQ(node->size, 6 * MB);
    EXPECT_TRUE(node->scope.contentsOnly);
    EXPECT_EQ(node->scope.keptPaths, QStringList{home(QStringLiteral("Documents/proj/node_modules/pkg"))});
    ASSERT_TRUE(byPath(items, home(QStringLiteral("Documents/proj/node_modules/pkg/big.bin"))));

    const CleanupItem* leftover = byPath(items, home(QStringLiteral("Library/Containers/com.docker.docker")));
    ASSERT_TRUE(leftover);
    EXPECT_EQ(leftover->category, CleanupCategory::leftovers);
    EXPECT_EQ(leftover->size, 30 * MB);
    EXPECT_EQ(leftover->scope.keptPaths, QStringList{home(QStringLiteral("Library/Containers/com.docker.docker/Data"))});
    ASSERT_TRUE(byPath(items, home(QStringLiteral("Library/Containers/com.docker.docker/Data/vms/0/data/Docker.raw"))));
}

TEST_F(CleanupScan, TheProgramsOwnFoldersNeverMoveWithAFinding) {
    // The data folder set inside the cache folder: the Safe Bin would go with the caches.
    env.environment().applicationSupport = home(QStringLiteral(".cache/share"));
    env.apply();
    writeSparse(home(QStringLiteral(".cache/share/Tarnwick/SafeBin/kept")), 5 * MB);
    writeSparse(home(QStringLiteral(".cache/share/Tarnwick/tmp.part")), 5 * MB);
    writeSparse(home(QStringLiteral(".cache/other")), 300000);
    const QList<CleanupItem> items = scan();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0].size, 300000);
    EXPECT_EQ(items[0].scope.keptPaths, QStringList{home(QStringLiteral(".cache/share"))});
}

TEST_F(CleanupScan, EachStageSizesWithItsOwnBudget) {
    // 4,000 entries of 100 bytes: the temp stage looks at 3,000 of them, the logs stage at all.
    const QString temp = makeDir(env.path(QStringLiteral("user-tmp")));
    env.environment().tempDirectory = temp;
    env.apply();
    const QByteArray one = PathCodec::encode(writeSparse(temp + QStringLiteral("/e"), 100));
    const QByteArray two = PathCodec::encode(writeSparse(home(QStringLiteral("Library/Logs/e")), 100));
    for (int i = 1; i < 4000; ++i) {
        ASSERT_EQ(::link(one.constData(), (one + QByteArray::number(i)).constData()), 0);
        ASSERT_EQ(::link(two.constData(), (two + QByteArray::number(i)).constData()), 0);
    }
    const QList<CleanupItem> items = scan();
    ASSERT_EQ(titles(items), (QStringList{"User Logs", "User temp"}));
    EXPECT_EQ(items[0].size, 400000);
    EXPECT_EQ(items[1].size, 300000);
}

TEST_F(CleanupScan, NothingOutsideTheHomeFolderThatTheUserDoesNotOwnIsOffered) {
    writeSparse(root(QStringLiteral("/Library/Caches/shared/blob")), MB);
    writeSparse(root(QStringLiteral("/private/var/log/system.log")), MB);
    writeSparse(root(QStringLiteral("/Applications/Pages.app/Contents/Resources/fr.lproj/x")), 2 * MB);
    writeSparse(home(QStringLiteral(".cache/c")), MB);
    ASSERT_EQ(scan().size(), 4);  // all the user's own

    env.environment().userId = static_cast<qint64>(::geteuid()) + 4242;
    env.apply();
    QList<CleanupItem> items = scan();
    EXPECT_EQ(titles(items), QStringList{"User Caches"});

    if (::geteuid() != 0) return;  // handing a file to another owner needs root
    const QString mine = writeSparse(root(QStringLiteral("/Library/Caches/mine/blob")), 2 * MB);
    ASSERT_EQ(::chown(PathCodec::encode(root(QStringLiteral("/Library/Caches/mine"))).constData(), 4242 + ::geteuid(),
                      static_cast<gid_t>(-1)),
              0);
    items = scan();
    const CleanupItem* system = byPath(items, root(QStringLiteral("/Library/Caches")));
    ASSERT_TRUE(system);
    EXPECT_EQ(system->size, 2 * MB);
    EXPECT_TRUE(system->scope.contentsOnly);
    EXPECT_EQ(system->scope.keptPaths, QStringList{root(QStringLiteral("/Library/Caches/shared"))});
}

TEST_F(CleanupScan, TheTildeReplacesOnlyAWholeLeadingHomeFolder) {
    env.environment().rootPrefix = makeDir(env.home() + QStringLiteral("a"));  // "/…/usera" beside "/…/user"
    env.apply();
    writeSparse(root(QStringLiteral("/Library/Caches/x")), MB);
    const QList<CleanupItem> items = scan();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0].detail, root(QStringLiteral("/Library/Caches")));
}

TEST_F(CleanupScan, AStopEndsTheScanWithWhatWasFound) {
    writeSparse(home(QStringLiteral(".cache/c")), MB);
    writeSparse(home(QStringLiteral("Library/Logs/l")), MB);
    std::stop_source early;
    early.request_stop();
    EXPECT_TRUE(scan(early.get_token()).isEmpty());
    EXPECT_TRUE(labels.isEmpty());

    std::stop_source during;
    const QList<CleanupItem> items = CleanupService::scan(
        [&](const QString& label) {
            labels.append(label);
            if (labels.size() == 2) during.request_stop();
        },
        during.get_token());
    EXPECT_EQ(labels, kLabels.first(2));
    EXPECT_EQ(titles(items), QStringList{"User Caches"});
}

}  // namespace
}  // namespace tarnwick
