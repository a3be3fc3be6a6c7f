// The whole application as a new user meets it: a home folder with junk,
// clutter, an application with leftovers, autostart entries and browser
// residue, and what a real home also holds (live sockets and pipes, files
// written a moment ago, a project's node_modules, a program run from
// Downloads, two copies of one archive, bookmarks); one Vidur Aded pass from
// the menu, "Clean recommended", a clean of the Junk list, a restore from the
// Safe Bin, the activity log, and a second start of the program. Nothing in
// use moves, no folder moves in part, the last copy stays, no bookmark is
// lost, and the activity log counts exactly what the Safe Bin holds.

#include "app/MainWindow.h"
#include "app/TarnwickApp.h"
#include "services/care/ScheduleService.h"
#include "services/care/VidurAdedService.h"
#include "services/health/SystemMonitor.h"
#include "services/store/ActivityService.h"
#include "services/safebin/SafeBinService.h"
#include "state/AppState.h"
#include "views/care/HealthGauge.h"
#include "views/care/VidurAdedView.h"
#include "design/TaldoButton.h"
#include "views/shell/AppShell.h"
#include "views/shell/DetailArea.h"

#include "AppTestSupport.h"
#include "FileTreeSupport.h"
#include "TestSupport.h"
#include "state/StateTestSupport.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSettings>

#include <memory>

#include <sys/stat.h>

using namespace tarnwick;

namespace {

constexpr int kPassTimeoutMs = 120000;

using test::menuItem;

QByteArray bytes(int size, char fill = 'x') {
    return QByteArray(size, fill);
}

// Sets the modification time of path, and of everything below it, back by some seconds.
void age(const QString& path, qint64 seconds) {
    const QDateTime when = QDateTime::currentDateTimeUtc().addSecs(-seconds);
    if (QFileInfo(path).isDir()) {
        QDirIterator below(path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                           QDirIterator::Subdirectories);
        while (below.hasNext()) test::setModified(below.next(), when);
    }
    test::setModified(path, when);
}

constexpr qint64 kDay = 86400;
constexpr qint64 kTwoHours = 7200;

// Every finding still listed names something that is still there.
template <class Item>
QStringList listedButGone(const QList<Item>& items) {
    QStringList gone;
    for (const Item& item : items) {
        if (!QFileInfo::exists(item.path) && !QFileInfo(item.path).isSymLink()) gone.append(item.path);
    }
    return gone;
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
        age(partialDownload, 3 * kDay);
        // Clutter: something in the trash.
        trashFile = test::writeFile(home(".local/share/Trash/files/old-report.pdf"), bytes(400'000));
        trashRecord = test::writeFile(home(".local/share/Trash/info/old-report.pdf.trashinfo"),
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
        // Firefox keeps history and bookmarks in one database.
        bookmarks = test::writeFile(home(".mozilla/firefox/ab.default/places.sqlite"), bytes(3'000'000));
        test::writeFile(home(".mozilla/firefox/ab.default/places.sqlite-wal"), bytes(200'000));
        test::writeFile(home(".mozilla/firefox/profiles.ini"), "[Profile0]\nName=default\nIsRelative=1\nPath=ab.default\n");
        // A project's dependencies, one of them a copy of a file in Downloads.
        nodeModules = home("Documents/web/node_modules");
        test::writeFile(nodeModules + "/react/index.js", bytes(3'000'000, 'r'));
        typescript = test::writeFile(nodeModules + "/typescript/lib/typescript.js", bytes(3'000'000, 't'));
        test::writeFile(home("Downloads/typescript.js"), bytes(3'000'000, 't'));
        // An archive downloaded long ago and a copy of it kept in Documents.
        archive = test::writeFile(home("Downloads/photos.zip"), bytes(6'000'000, 'p'));
        archiveCopy = test::writeFile(home("Documents/photos copy.zip"), bytes(6'000'000, 'p'));
        // A program run from Downloads every day keeps its download date.
        program = test::writeFile(home("Downloads/Editor.AppImage"), bytes(6'000'000, 'e'));
        ASSERT_TRUE(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        // What lies in the cache and temporary folders and is still in use.
        agent = std::make_unique<test::ListeningSocket>(env.environment().tempDirectory + "/ssh-agent.sock");
        ASSERT_TRUE(agent->listening);
        pipe = env.environment().tempDirectory + "/events.fifo";
        ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        tempOld = test::writeFile(env.environment().tempDirectory + "/old-build.log", bytes(300'000));
        bus = std::make_unique<test::ListeningSocket>(home(".cache/at-spi/bus"));
        ASSERT_TRUE(bus->listening);
        // Everything above changed long ago; what follows a moment ago.
        for (const QString& path : {home(".cache"), home("Downloads"), home("Documents"), home(".local/share/Trash"),
                                    env.environment().tempDirectory}) {
            age(path, kTwoHours);
        }
        for (const QString& path : {archive, archiveCopy, program}) age(path, 40 * kDay);
        age(partialDownload, 3 * kDay);
        tempFresh = test::writeFile(env.environment().tempDirectory + "/upload.tmp", bytes(400'000));
        dconf = test::writeFile(home(".cache/dconf/user"), bytes(200'000));
    }

    static bool passEnded(AppState& state) {
        return test::waitUntil([&] { return !state.isVidurAdedRunning(); }, kPassTimeoutMs) &&
               test::safeBinSettled(state);
    }

    test::FakeEnvironment env;
    QString cacheFile, partialDownload, trashFile, appBundle, appLeftover, loginItem, userUnit;
    QString browserHistory, browserCache, recentFiles, trashRecord;
    QString bookmarks, nodeModules, typescript, archive, archiveCopy, program;
    QString pipe, tempOld, tempFresh, dconf;
    std::unique_ptr<test::ListeningSocket> agent, bus;
};

}  // namespace

TEST_F(NewUserFlowTest, OnePassCleansWhatItRecommendsAndEverythingCanComeBack) {
    buildHome();
    std::vector<SafeBinEntry> keptInBin;
    QList<ActivityEvent> loggedEvents;
    int score = 0;
    {
        TarnwickApp app(test::testServices());
        ASSERT_TRUE(test::startSettled(app));
        AppState& state = app.state();
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
        EXPECT_TRUE(selectedJunk.contains(archive)) << "an old download";
        EXPECT_FALSE(selectedJunk.contains(program)) << "a program is never pre-selected";
        EXPECT_EQ(result.junkCount, int(selectedJunk.size()));
        // The node_modules folder is one finding that moves whole; the copy inside it is not offered.
        const CleanupItem* dependencies = nullptr;
        for (const CleanupItem& item : state.cleanupItems()) {
            if (item.path == nodeModules) dependencies = &item;
            EXPECT_FALSE(item.path.startsWith(nodeModules + "/")) << item.path.toStdString();
            EXPECT_NE(item.path, bookmarks);
        }
        ASSERT_NE(dependencies, nullptr);
        EXPECT_FALSE(dependencies->scope.contentsOnly);
        EXPECT_EQ(dependencies->size, 6'000'000);
        const QUuid dependenciesId = dependencies->id;
        bool trashFound = false;
        QUuid copyId;
        for (const ClutterItem& item : state.clutterItems()) {
            trashFound |= item.path == trashFile && item.isSelected && item.companionPaths == QStringList{trashRecord};
            if (item.path == archiveCopy && item.kind == ClutterItem::Kind::duplicates) copyId = item.id;
            if (item.path == program) {
                EXPECT_FALSE(item.isSelected) << "a program is never pre-selected";
            }
        }
        EXPECT_TRUE(trashFound);
        ASSERT_FALSE(copyId.isNull()) << "the copy of the archive";
        EXPECT_GE(result.clutterCount, 1);
        QSet<QString> privacyPaths;
        for (const PrivacyItem& item : state.privacyItems()) privacyPaths.insert(item.path);
        EXPECT_TRUE(privacyPaths.contains(browserHistory));
        EXPECT_TRUE(privacyPaths.contains(recentFiles));
        EXPECT_FALSE(privacyPaths.contains(bookmarks)) << "the history database holds the bookmarks";
        EXPECT_GE(result.privacyCount, 1);
        EXPECT_EQ(result.performanceIssues, 2) << "the login item and the user service";
        EXPECT_TRUE(state.installedApps().isEmpty()) << "the pass keeps only the apps' counts";

        // The score is the one its figures give (the app's leftovers are not heavy).
        EXPECT_EQ(score, VidurAdedService::healthScore(result, 0));
        EXPECT_EQ(Environment::current().settings()->value(SystemMonitor::healthScoreKey()).toInt(), score);
        EXPECT_TRUE(ScheduleService::lastRun());
        EXPECT_EQ(screen->gauge()->figure(), QString::number(score));
        ASSERT_FALSE(state.activityEvents().isEmpty());
        EXPECT_EQ(state.activityEvents()[0].kind, "Vidur Aded");
        EXPECT_TRUE(state.activityEvents()[0].summary.startsWith("Health " + QString::number(score) + " \u00B7 "));

        // "Clean recommended": everything selected moves into the Safe Bin.
        // The user has also ticked the copy of the archive, whose original
        // the junk clean moves first as an old download.
        bool browserCacheOffered = false;
        for (const PrivacyItem& item : state.privacyItems()) browserCacheOffered |= item.path.startsWith(home(".cache/"));
        EXPECT_TRUE(browserCacheOffered) << "the browser cache is offered as privacy residue too";
        EXPECT_LE(result.reclaimableBytes(),
                  state.cleanupSelectedBytes() + state.clutterSelectedBytes() + result.privacyBytes);
        state.toggleClutterItem(copyId);
        // Between the scan and the clean: a program starts using the cache
        // folder, and the unfinished download is replaced by a new one.
        const QString arrived = test::writeFile(home(".cache/new-app/state"), bytes(150'000));
        QFile::remove(partialDownload);
        test::writeFile(partialDownload, bytes(2'500'000, 'n'));
        ASSERT_TRUE(screen->cleanButton()->isEnabled());
        screen->cleanButton()->click();
        ASSERT_TRUE(test::safeBinSettled(state));
        ASSERT_TRUE(state.errorMessage()) << "what stayed is named";
        EXPECT_TRUE(state.errorMessage()->contains("photos copy.zip")) << state.errorMessage()->toStdString();
        EXPECT_TRUE(state.errorMessage()->contains("distro.iso.part")) << state.errorMessage()->toStdString();
        EXPECT_TRUE(QFileInfo::exists(arrived)) << "not there when the scan measured the folder";
        EXPECT_EQ(QFileInfo(partialDownload).size(), 2'500'000) << "not the file the scan found";
        const auto replaced = std::find_if(state.cleanupItems().begin(), state.cleanupItems().end(),
                                           [&](const CleanupItem& item) { return item.path == partialDownload; });
        ASSERT_NE(replaced, state.cleanupItems().end()) << "it stays listed";
        EXPECT_EQ(replaced->notMoved, "Not moved: changed since the scan");
        state.toggleCleanupItem(replaced->id);
        state.clearErrorMessage();
        // Junk: the node_modules folder, ticked, moves whole.
        state.toggleCleanupItem(dependenciesId);
        state.cleanSelectedToSafeBin();
        ASSERT_TRUE(test::safeBinSettled(state));
        EXPECT_EQ(state.errorMessage(), std::nullopt);
        EXPECT_FALSE(QFileInfo::exists(nodeModules)) << "no half folder";
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
        for (const QString& gone : {cacheFile, trashFile, trashRecord, recentFiles, browserCache, archive, tempOld,
                                    typescript}) {
            EXPECT_FALSE(QFileInfo::exists(gone)) << gone.toStdString();
        }
        for (const QString& kept : {appBundle, appLeftover, loginItem, userUnit, browserHistory}) {
            EXPECT_TRUE(QFileInfo::exists(kept)) << "not recommended: " << kept.toStdString();
        }
        // Nothing in use moved; the last copy, the program and the bookmarks stayed.
        for (const QString& kept : {env.environment().tempDirectory + "/ssh-agent.sock", pipe, tempFresh, home(".cache/at-spi/bus"), dconf, archiveCopy, program,
                                    bookmarks, bookmarks + "-wal"}) {
            EXPECT_TRUE(QFileInfo::exists(kept)) << "still there: " << kept.toStdString();
        }
        EXPECT_EQ(state.vidurAdedResult(), result) << "the figures stay those of the pass";
        // No list offers what went.
        EXPECT_EQ(listedButGone(state.cleanupItems()), QStringList{});
        EXPECT_EQ(listedButGone(state.clutterItems()), QStringList{});
        EXPECT_EQ(listedButGone(state.privacyItems()), QStringList{});
        for (const ClutterItem& item : state.clutterItems()) EXPECT_NE(item.path, archiveCopy) << "the last copy";

        // The log: one event per module clean with what reached the Safe Bin,
        // then the recommended cleanup, which counts nothing again.
        const QList<ActivityEvent> events = state.activityEvents();
        ASSERT_GE(events.size(), 4);
        EXPECT_EQ(events[0].kind, "Junk") << "the node_modules clean";
        EXPECT_EQ(events[1].kind, "Vidur Aded");
        EXPECT_EQ(events[1].summary, "Applied recommended cleanup");
        EXPECT_EQ(events[1].bytesFreed, 0);
        int i = 2;
        while (i < events.size() && events[i].kind != "Vidur Aded") ++i;
        ASSERT_LT(i, events.size()) << "the pass's own event comes before the cleans";
        EXPECT_TRUE(events[i].summary.startsWith("Health "));
        qint64 binBytes = 0;
        for (const SafeBinEntry& entry : binned) binBytes += entry.size;
        EXPECT_EQ(ActivityService::lifetimeBytesFreed(), binBytes) << "every byte counted once";

        // One item comes back where it was.
        const auto trash = std::find_if(binned.begin(), binned.end(),
                                        [&](const SafeBinEntry& entry) { return entry.originalPath == trashFile; });
        ASSERT_NE(trash, binned.end());
        state.restoreSafeBin(*trash);
        ASSERT_TRUE(test::safeBinSettled(state));
        EXPECT_TRUE(QFileInfo::exists(trashFile));
        EXPECT_TRUE(QFileInfo::exists(trashRecord)) << "back in the trash with its record";
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
    ASSERT_TRUE(test::startSettled(again));
    AppState& state = again.state();
    EXPECT_EQ(originalPaths(state.safeBinItems()), originalPaths(keptInBin));
    EXPECT_EQ(state.activityEvents().size(), loggedEvents.size());
    if (!loggedEvents.isEmpty()) {
        EXPECT_EQ(state.activityEvents()[0].id, loggedEvents[0].id);
    }
    EXPECT_FALSE(state.vidurAdedResult()) << "a pass's result is not kept across launches";
    EXPECT_EQ(homeScreen(again)->heroTitle(), "Start with Vidur Aded");
    EXPECT_EQ(SystemMonitor::storedScore(), score);
    EXPECT_TRUE(QFileInfo::exists(trashFile));
    EXPECT_FALSE(QFileInfo::exists(cacheFile));
}
