// The whole application as a new user meets it: a home folder with junk,
// clutter, an application with leftovers, autostart entries and browser
// residue; one Vidur Aded pass from the menu, "Clean recommended", a restore
// from the Safe Bin, the activity log, and a second start of the program.

#include "app/MainWindow.h"
#include "app/TarnwickApp.h"
#include "services/care/ScheduleService.h"
#include "services/care/VidurAdedService.h"
#include "services/health/SystemMonitor.h"
#include "services/store/ActivityService.h"
#include "services/store/SafeBinService.h"
#include "state/AppState.h"
#include "views/care/VidurAdedMetricTile.h"
#include "views/care/HealthGauge.h"
#include "views/care/VidurAdedView.h"
#include "design/TaldoButton.h"
#include "views/shell/AppShell.h"
#include "views/shell/DetailArea.h"

#include "TestSupport.h"
#include "state/StateTestSupport.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QDirIterator>
#include <QSettings>

#include <fcntl.h>
#include <sys/stat.h>

using namespace tarnwick;

namespace {

constexpr int kPassTimeoutMs = 120000;

QAction* menuItem(QMainWindow& window, const QString& menuTitle, const QString& itemTitle) {
    for (QAction* action : window.menuBar()->actions()) {
        if (action->text() != menuTitle || !action->menu()) continue;
        for (QAction* item : action->menu()->actions()) {
            if (item->text() == itemTitle) return item;
        }
    }
    return nullptr;
}

QByteArray bytes(int size, char fill = 'x') {
    return QByteArray(size, fill);
}

// Sets a file's modification time back by some days.
void age(const QString& path, int days) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addDays(-days), QFileDevice::FileModificationTime));
}

// A folder and everything in it last changed `days` ago: nothing in use.
void ageTree(const QString& folder, int days) {
    const struct timespec when[2] = {{UTIME_OMIT, UTIME_OMIT},
                                     {QDateTime::currentDateTime().addDays(-days).toSecsSinceEpoch(), 0}};
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) ::utimensat(AT_FDCWD, QFile::encodeName(it.next()).constData(), when, AT_SYMLINK_NOFOLLOW);
    ::utimensat(AT_FDCWD, QFile::encodeName(folder).constData(), when, AT_SYMLINK_NOFOLLOW);
}

VidurAdedView* homeScreen(TarnwickApp& app) {
    return qobject_cast<VidurAdedView*>(app.mainWindow().shell()->detailArea()->screen(AppSection::home));
}

QStringList originalPaths(const std::vector<SafeBinEntry>& entries) {
    QStringList paths;
    for (const SafeBinEntry& entry : entries) paths.append(entry.originalPath);
    paths.sort();
    return paths;
}

class NewUserFlowTest : public ::testing::Test {
protected:
    QString home(const QString& relative) const { return env.home() + QLatin1Char('/') + relative; }

    // What a new user's home holds.
    void buildHome() {
        // Junk: an application's cache and a download that never finished.
        cacheFile = test::writeFile(home(".cache/photo-viewer/thumbs.bin"), bytes(300'000));
        partialDownload = test::writeFile(home("Downloads/distro.iso.part"), bytes(2'000'000));
        age(partialDownload, 3);
        // Clutter: something in the trash.
        trashFile = test::writeFile(home(".local/share/Trash/files/old-report.pdf"), bytes(400'000));
        test::writeFile(home(".local/share/Trash/info/old-report.pdf.trashinfo"),
                        "[Trash Info]\nPath=" + home("Documents/old-report.pdf").toUtf8() +
                            "\nDeletionDate=2024-01-02T03:04:05\n");
        // An application bundle with what it left in the Library folders.
        appBundle = home("Applications/Quillpad.app");
        test::writeFile(appBundle + "/Contents/Info.plist",
                        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                        "<key>CFBundleIdentifier</key><string>org.example.quillpad</string>"
                        "<key>CFBundleName</key><string>Quillpad</string>"
                        "<key>CFBundleShortVersionString</key><string>2.1</string></dict></plist>\n");
        test::writeFile(appBundle + "/Contents/MacOS/quillpad", bytes(150'000));
        appLeftover = test::writeFile(home("Library/Application Support/Quillpad/notes.db"), bytes(60'000));
        // Autostart entries: a login item and a user service.
        loginItem = test::writeFile(home(".config/autostart/sync-tray.desktop"),
                                    "[Desktop Entry]\nType=Application\nName=Sync Tray\nExec=sync-tray\n");
        userUnit = test::writeFile(home(".config/systemd/user/photo-backup.service"),
                                   "[Unit]\nDescription=Photo backup\n[Service]\nExecStart=/usr/bin/true\n");
        // Browser residue: history, a browser cache and the recent-files list.
        browserHistory = test::writeFile(home(".config/google-chrome/Default/History"), bytes(40'000));
        browserCache = test::writeFile(home(".cache/google-chrome/Default/Cache/data_1"), bytes(60'000));
        recentFiles = test::writeFile(home(".local/share/recently-used.xbel"), bytes(20'000));
        ageTree(home(".cache"), 1);
    }

    static bool passEnded(AppState& state) {
        return test::waitUntil([&] { return !state.isVidurAdedRunning(); }, kPassTimeoutMs) &&
               test::safeBinSettled(state);
    }

    test::FakeEnvironment env;
    QString cacheFile, partialDownload, trashFile, appBundle, appLeftover, loginItem, userUnit;
    QString browserHistory, browserCache, recentFiles;
};

}  // namespace

TEST_F(NewUserFlowTest, OnePassCleansWhatItRecommendsAndEverythingCanComeBack) {
    buildHome();
    std::vector<SafeBinEntry> keptInBin;
    QList<ActivityEvent> loggedEvents;
    int score = 0;
    {
        TarnwickApp app(test::testServices());
        app.overrideTrayAvailability(false);
        app.start();
        AppState& state = app.state();
        ASSERT_TRUE(test::waitUntil([&] { return !state.isRestoringCache(); }));
        ASSERT_TRUE(test::safeBinSettled(state));
        VidurAdedView* screen = homeScreen(app);
        ASSERT_NE(screen, nullptr);
        EXPECT_EQ(app.mainWindow().shell()->detailArea()->currentScreen(), screen) << "home comes first";
        EXPECT_EQ(screen->heroTitle(), "Start with Vidur Aded");

        // The pass, from the Care menu.
        QAction* run = menuItem(app.mainWindow(), "Care", "Run Vidur Aded");
        ASSERT_NE(run, nullptr);
        run->trigger();
        EXPECT_TRUE(state.isVidurAdedRunning());
        EXPECT_EQ(screen->heroTitle(), "Scanning your computer\u2026");
        ASSERT_TRUE(passEnded(state));
        ASSERT_TRUE(state.vidurAdedResult());
        const VidurAdedResult result = *state.vidurAdedResult();
        score = result.healthScore;

        // What it found, module by module.
        QSet<QString> selectedJunk;
        for (const CleanupItem& item : state.cleanupItems()) {
            if (item.isSelected) selectedJunk.insert(item.path);
        }
        EXPECT_TRUE(selectedJunk.contains(home(".cache"))) << "the cache folder";
        EXPECT_TRUE(selectedJunk.contains(partialDownload));
        EXPECT_EQ(result.junkCount, int(selectedJunk.size()));
        bool trashFound = false;
        for (const ClutterItem& item : state.clutterItems()) trashFound |= item.path == trashFile && item.isSelected;
        EXPECT_TRUE(trashFound);
        EXPECT_GE(result.clutterCount, 1);
        QSet<QString> privacyPaths;
        for (const PrivacyItem& item : state.privacyItems()) privacyPaths.insert(item.path);
        EXPECT_TRUE(privacyPaths.contains(browserHistory));
        EXPECT_TRUE(privacyPaths.contains(recentFiles));
        EXPECT_GE(result.privacyCount, 1);
        EXPECT_EQ(result.performanceIssues, 2) << "the login item and the user service";
        EXPECT_TRUE(state.installedApps().isEmpty()) << "the pass keeps only the apps' counts";

        // The score is the one its figures give (the app's leftovers are not heavy).
        EXPECT_EQ(score, VidurAdedService::healthScore(result, 0));
        EXPECT_EQ(Environment::current().settings()->value(SystemMonitor::healthScoreKey()).toInt(), score);
        EXPECT_TRUE(ScheduleService::lastRun());
        EXPECT_EQ(screen->heroTitle(), VidurAdedView::bandWord(score));
        EXPECT_EQ(screen->gauge()->figure(), QString::number(score));
        const QList<VidurAdedView::Metric> expected = VidurAdedView::metrics(result);
        ASSERT_EQ(screen->metricTiles().size(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(screen->metricTiles()[i]->title(), expected[i].title);
            EXPECT_EQ(screen->metricTiles()[i]->value(), expected[i].value) << expected[i].title.toStdString();
            EXPECT_EQ(screen->metricTiles()[i]->subtitle(), expected[i].subtitle) << expected[i].title.toStdString();
        }
        ASSERT_FALSE(state.activityEvents().isEmpty());
        EXPECT_EQ(state.activityEvents()[0].kind, "Vidur Aded");
        EXPECT_TRUE(state.activityEvents()[0].summary.startsWith("Health " + QString::number(score) + " \u00B7 "));

        // "Clean recommended": everything selected moves into the Safe Bin.
        qint64 selectedBytes = state.cleanupSelectedBytes() + state.clutterSelectedBytes();
        // The browser cache lies inside the cache folder the junk clean moves
        // first: it moves once, with the junk, and counts once.
        qint64 movedWithJunk = 0;
        for (const PrivacyItem& item : state.privacyItems()) {
            if (!item.isSelected) continue;
            if (item.path.startsWith(home(".cache/"))) {
                movedWithJunk += item.size;
            } else {
                selectedBytes += item.size;
            }
        }
        EXPECT_GT(movedWithJunk, 0) << "the browser cache is offered as privacy residue too";
        EXPECT_EQ(result.reclaimableBytes(), selectedBytes) << "each byte counted once";
        ASSERT_TRUE(screen->cleanButton()->isEnabled());
        screen->cleanButton()->click();
        ASSERT_TRUE(test::safeBinSettled(state));
        EXPECT_EQ(state.errorMessage(), std::nullopt);
        const std::vector<SafeBinEntry> binned = state.safeBinItems();
        ASSERT_FALSE(binned.empty());
        const QString bin = SafeBinService::root();
        for (const SafeBinEntry& entry : binned) {
            SCOPED_TRACE(entry.originalPath.toStdString());
            if (entry.members) {
                for (const SafeBinEntry::Member& member : *entry.members) {
                    EXPECT_FALSE(QFileInfo::exists(member.originalPath)) << "moved away";
                }
            } else {
                EXPECT_FALSE(QFileInfo::exists(entry.originalPath)) << "moved away";
            }
            EXPECT_TRUE(QFileInfo::exists(bin + "/" + entry.storedName)) << "held in the Safe Bin";
            EXPECT_GT(entry.size, 0);
        }
        EXPECT_EQ(originalPaths(binned), originalPaths(SafeBinService::list())) << "every move has its record";
        for (const QString& gone : {cacheFile, partialDownload, trashFile, recentFiles, browserCache}) {
            EXPECT_FALSE(QFileInfo::exists(gone)) << gone.toStdString();
        }
        for (const QString& kept : {appBundle, appLeftover, loginItem, userUnit, browserHistory}) {
            EXPECT_TRUE(QFileInfo::exists(kept)) << "not recommended: " << kept.toStdString();
        }
        EXPECT_EQ(state.vidurAdedResult(), result) << "the figures stay those of the pass";

        // The log: one event per module clean with the sizes of its findings,
        // then the recommended cleanup adding up what those cleans moved.
        const QList<ActivityEvent> events = state.activityEvents();
        ASSERT_GE(events.size(), 3);
        EXPECT_EQ(events[0].kind, "Vidur Aded");
        EXPECT_EQ(events[0].summary, "Applied recommended cleanup");
        qint64 moduleBytes = 0;
        int moduleItems = 0;
        int i = 1;
        for (; i < events.size() && events[i].kind != "Vidur Aded"; ++i) {
            moduleBytes += events[i].bytesFreed;
            moduleItems += events[i].itemsAffected;
        }
        ASSERT_LT(i, events.size()) << "the pass's own event comes before the cleans";
        EXPECT_TRUE(events[i].summary.startsWith("Health "));
        EXPECT_EQ(events[0].bytesFreed, moduleBytes);
        EXPECT_EQ(events[0].itemsAffected, moduleItems);
        EXPECT_EQ(moduleBytes, selectedBytes);

        // One item comes back where it was.
        const auto trash = std::find_if(binned.begin(), binned.end(),
                                        [&](const SafeBinEntry& entry) { return entry.originalPath == trashFile; });
        ASSERT_NE(trash, binned.end());
        state.restoreSafeBin(*trash);
        ASSERT_TRUE(test::safeBinSettled(state));
        EXPECT_TRUE(QFileInfo::exists(trashFile));
        EXPECT_EQ(QFileInfo(trashFile).size(), 400'000);
        EXPECT_EQ(state.safeBinItems().size(), binned.size() - 1);
        EXPECT_EQ(state.activityEvents(), events) << "a restore writes no event";
        keptInBin = state.safeBinItems();
        loggedEvents = state.activityEvents();

        QAction* quit = menuItem(app.mainWindow(), "Tarnwick", "Quit Tarnwick");
        ASSERT_NE(quit, nullptr);
        quit->trigger();
    }

    // The second start finds the Safe Bin, the log and the score as they were left.
    TarnwickApp again(test::testServices());
    again.overrideTrayAvailability(false);
    again.start();
    AppState& state = again.state();
    ASSERT_TRUE(test::waitUntil([&] { return !state.isRestoringCache(); }));
    ASSERT_TRUE(test::safeBinSettled(state));
    EXPECT_EQ(originalPaths(state.safeBinItems()), originalPaths(keptInBin));
    EXPECT_EQ(state.activityEvents().size(), loggedEvents.size());
    if (!loggedEvents.isEmpty()) EXPECT_EQ(state.activityEvents()[0].id, loggedEvents[0].id);
    EXPECT_FALSE(state.vidurAdedResult()) << "a pass's result is not kept across launches";
    EXPECT_EQ(homeScreen(again)->heroTitle(), "Start with Vidur Aded");
    EXPECT_EQ(SystemMonitor::storedScore(), score);
    EXPECT_TRUE(QFileInfo::exists(trashFile));
    EXPECT_FALSE(QFileInfo::exists(cacheFile));
}
