#include "app/MainWindow.h"
#include "app/TarnwickApp.h"
#include "services/store/QuickLookService.h"
#include "state/AppState.h"
#include "support/AppIdentity.h"
#include "views/shell/AboutView.h"
#include "views/shell/AppShell.h"
#include "views/shell/DetailArea.h"
#include "views/health/MenuBarPanel.h"
#include "views/health/MenuBarView.h"
#include "views/shell/PreviewWindow.h"
#include "views/shell/SectionRail.h"

#include "AppTestSupport.h"
#include "TestSupport.h"
#include "state/StateTestSupport.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <functional>
#include <thread>

using namespace tarnwick;

namespace {

QAction* actionNamed(QWidget& window, const QString& text) {
    QAction* found = nullptr;
    for (QAction* action : window.findChildren<QAction*>()) {
        if (action->text() != text) continue;
        EXPECT_EQ(found, nullptr) << "two items named " << text.toStdString();
        found = action;
    }
    return found;
}

using test::menuItem;

// A cell that no single path stands for, so collecting it is refused with a message.
ScanNodePtr mergedGroup(const QString& name = QStringLiteral("\u2026smaller objects\u2026")) {
    return ScanNode::create(QUuid::createUuid(), name, QStringLiteral("/x"), NodeKind::smallGroup, 10);
}

class TarnwickAppTest : public ::testing::Test {
protected:
    // Puts a stand-in for xdg-open in place: it notes each address it is
    // given, one a line, and ends with the exit status given.
    void fakeOpener(int exitStatus) {
        environment.tool("/usr/bin/xdg-open", QStringLiteral("printf '%s\\n' \"$1\" >> '%1'\nexit %2\n")
                                                  .arg(openedLog())
                                                  .arg(exitStatus)
                                                  .toUtf8());
    }
    QString openedLog() const { return environment.path("opened.txt"); }
    QStringList opened() const {
        QFile file(openedLog());
        if (!file.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    test::FakeEnvironment environment;
};

}  // namespace

// Every shortcut is distinct, there is no New Window, and each Go and Care
// item opens its section with the rail following.
TEST_F(TarnwickAppTest, GoAndCareItemsOpenTheirSections) {
    TarnwickApp app(test::testServices());
    app.start();
    MainWindow& window = app.mainWindow();
    AppState& state = app.state();
    QSet<QKeySequence> shortcuts;
    for (QAction* action : window.findChildren<QAction*>()) {
        EXPECT_FALSE(action->text().contains("New Window")) << action->text().toStdString();
        if (action->shortcut().isEmpty()) continue;
        EXPECT_FALSE(shortcuts.contains(action->shortcut())) << action->shortcut().toString().toStdString();
        shortcuts.insert(action->shortcut());
    }

    const std::pair<AppSection, int> goItems[] = {
        {AppSection::map, 2},        {AppSection::cleanup, 3},  {AppSection::apps, 4},
        {AppSection::clutter, 5},    {AppSection::performance, 6}, {AppSection::protection, 7},
        {AppSection::activity, 8},   {AppSection::safeBin, 9},  {AppSection::home, 1},
    };
    for (const auto& [section, digit] : goItems) {
        QAction* item = menuItem(window, "Go", rawValue(section));
        ASSERT_NE(item, nullptr) << rawValue(section).toStdString();
        EXPECT_EQ(item->shortcut(), QKeySequence(QStringLiteral("Ctrl+%1").arg(digit)));
        item->trigger();
        EXPECT_EQ(state.section(), section) << rawValue(section).toStdString();
        EXPECT_TRUE(window.shell()->rail()->row(section)->isSelected());
    }
    EXPECT_FALSE(actionNamed(window, "Insights"));

    const std::pair<QString, AppSection> careItems[] = {{"Junk Cleanup", AppSection::cleanup},
                                                        {"Protection", AppSection::protection},
                                                        {"Performance", AppSection::performance}};
    for (const auto& [title, section] : careItems) {
        QAction* item = menuItem(window, "Care", title);
        ASSERT_NE(item, nullptr) << title.toStdString();
        item->trigger();
        EXPECT_EQ(state.section(), section) << title.toStdString();
    }
    // "Run Vidur Aded" is driven from the menu in NewUserFlowTest.
}

TEST_F(TarnwickAppTest, JunkCleanupOpensJunkWithAFreshScan) {
    test::HeldFinders<CleanupItem> finders;
    ModuleServices modules;
    modules.cleanupScan = finders.finder();
    TarnwickApp app(test::testServices(), modules);
    app.start();
    AppState& state = app.state();
    menuItem(app.mainWindow(), "Care", "Junk Cleanup")->trigger();
    EXPECT_EQ(state.section(), AppSection::cleanup);
    EXPECT_TRUE(state.isCleanupScanning());
    EXPECT_EQ(state.cleanupProgressLabel(), "Starting Junk Cleanup\u2026");
    // The scan the section started is replaced by the menu's own.
    ASSERT_TRUE(test::waitUntil([&] { return finders.count() == 2 && (finders.at(0)->stopped || finders.at(1)->stopped); }));
    for (size_t i = 0; i < 2; ++i) finders.at(i)->release({});
    ASSERT_TRUE(test::waitUntil([&] { return !state.isCleanupScanning(); }));
    EXPECT_EQ(state.cleanupProgressLabel(), "Done");
}

// "Website" in the About sheet leaves it open; Close and Escape dismiss it.
TEST_F(TarnwickAppTest, AboutAndWebsite) {
    TarnwickApp app(test::testServices());
    app.start();
    MainWindow& window = app.mainWindow();
    AboutView* sheet = window.shell()->aboutSheet();
    auto press = [&](const QString& text) {
        for (QPushButton* button : sheet->findChildren<QPushButton*>()) {
            if (button->text() == text) button->click();
        }
    };
    actionNamed(window, "About Tarnwick")->trigger();
    EXPECT_TRUE(app.state().showAbout());
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->geometry(), window.shell()->rect());
    fakeOpener(0);
    actionNamed(window, "Website")->trigger();
    press("Website");
    ASSERT_TRUE(test::waitUntil([&] { return opened().size() == 2; }));
    EXPECT_EQ(opened(), QStringList(2, AppIdentity::websiteURL().toString()));
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_FALSE(app.state().errorMessage().has_value());
    press("Close");
    EXPECT_FALSE(app.state().showAbout() || sheet->isVisible());
    actionNamed(window, "About Tarnwick")->trigger();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(sheet, &escape);
    EXPECT_FALSE(app.state().showAbout() || sheet->isVisible());
}

TEST_F(TarnwickAppTest, AnAddressOrFolderNothingOpensRaisesTheAlert) {
    TarnwickApp app(test::testServices());
    app.start();
    MainWindow& window = app.mainWindow();
    const auto alertText = [&]() -> QString {
        if (!test::waitUntil([&] { return window.alert() && window.alert()->isVisible(); })) return {};
        return window.alert()->informativeText();
    };

    // xdg-open finds no application: status 3 on this desktop.
    fakeOpener(3);
    actionNamed(window, "Website")->trigger();
    EXPECT_TRUE(alertText().contains(AppIdentity::websiteURL().toString()));
    EXPECT_EQ(opened().size(), 1);
    window.alert()->buttons().first()->click();
    EXPECT_FALSE(app.state().errorMessage().has_value());

    // Reveal: no file-manager interface here, and nothing opens the folder.
    environment.noTool("/usr/bin/dbus-send");
    const QString file = environment.home() + "/Documents/report.pdf";
    app.state().revealInFileManager(file);
    EXPECT_TRUE(alertText().contains("\u201C~/Documents/report.pdf\u201D"));
    EXPECT_EQ(opened().last(), environment.home() + "/Documents");
    window.alert()->buttons().first()->click();

    // Without xdg-open at all.
    environment.noTool("/usr/bin/xdg-open");
    app.state().openURL(QUrl::fromLocalFile(file));
    EXPECT_TRUE(alertText().endsWith(QStringLiteral("is not installed.")));
}

TEST_F(TarnwickAppTest, TheAlertShowsTheNewestErrorAndEveryDismissalClearsIt) {
    TarnwickApp app(test::testServices());
    app.start();
    AppState& state = app.state();
    EXPECT_EQ(app.mainWindow().alert(), nullptr);
    state.addToCollector(mergedGroup());
    QMessageBox* alert = app.mainWindow().alert();
    ASSERT_NE(alert, nullptr);
    ASSERT_EQ(alert->buttons().size(), 1);

    // A second message replaces the unread one in the same alert.
    const QString first = *state.errorMessage();
    state.addToCollector(mergedGroup("another group"));
    EXPECT_EQ(app.mainWindow().alert(), alert);
    EXPECT_TRUE(alert->isVisible());
    EXPECT_NE(alert->informativeText(), first);
    EXPECT_EQ(alert->informativeText(), *state.errorMessage());

    // The button, Escape, or a message cleared elsewhere: the alert goes and the message with it.
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    const std::function<void()> dismissals[] = {[&] { alert->buttons().first()->click(); },
                                                [&] { QApplication::sendEvent(alert, &escape); },
                                                [&] { state.clearErrorMessage(); }};
    for (const auto& dismiss : dismissals) {
        state.addToCollector(mergedGroup());
        EXPECT_TRUE(alert->isVisible());
        dismiss();
        EXPECT_FALSE(state.errorMessage().has_value());
        EXPECT_FALSE(alert->isVisible());
    }
}

TEST_F(TarnwickAppTest, AMapScanKeepsTheScanningScreenWhateverSectionIsOpened) {
    test::HeldWalks walks;
    TarnwickApp app(test::heldServices(walks));
    app.start();
    AppState& state = app.state();
    MainWindow& window = app.mainWindow();
    DetailArea* detail = window.shell()->detailArea();

    const QString folder = test::makeDir(environment.path("scan-me"));
    state.startScan(folder);
    ASSERT_EQ(state.screen(), AppState::Screen::scanning);
    EXPECT_EQ(detail->currentScreen(), detail->scanningScreen());

    actionNamed(window, "Junk")->trigger();
    EXPECT_EQ(state.section(), AppSection::cleanup);
    EXPECT_TRUE(window.shell()->rail()->row(AppSection::cleanup)->isSelected());
    EXPECT_EQ(detail->currentScreen(), detail->scanningScreen());
    window.shell()->rail()->row(AppSection::activity)->click();
    EXPECT_EQ(state.section(), AppSection::activity);
    EXPECT_EQ(detail->currentScreen(), detail->scanningScreen());

    state.cancelScan();
    ASSERT_EQ(state.screen(), AppState::Screen::idle);
    EXPECT_NE(detail->currentScreen(), detail->scanningScreen());
    EXPECT_EQ(detail->currentScreen(), detail->screen(state.section()));
}

TEST_F(TarnwickAppTest, TrayIconOpensThePanelAndPreviewsReachTheWindow) {
    TarnwickApp app(test::testServices());
    app.start();
    EXPECT_FALSE(app.trayIcon().icon().isNull());

    MenuBarPanel& panel = app.menuBarPanel();
    EXPECT_TRUE(panel.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(panel.content(), &app.menuBarView());
    app.toggleMenuBarPanel();
    EXPECT_TRUE(panel.isVisible());
    EXPECT_TRUE(app.monitor().isRunning()) << "the monitor samples while the panel shows";
    app.toggleMenuBarPanel();
    EXPECT_FALSE(panel.isVisible() || app.monitor().isRunning());

    const QString file = test::writeFile(environment.path("note.txt"), "hi");
    emit app.state().previewRequested(file);
    EXPECT_EQ(app.previewWindow().requestedPath(), file);
    EXPECT_TRUE(app.previewWindow().isVisible());
    const QString other = test::writeFile(environment.path("other.txt"), "there");
    QuickLookService::preview(other);
    EXPECT_EQ(app.previewWindow().requestedPath(), other);
    ASSERT_TRUE(test::waitUntil([&] { return app.previewWindow().shown().has_value(); }));
    EXPECT_EQ(app.previewWindow().shown()->path, other);
}

TEST_F(TarnwickAppTest, WithoutATrayTheMenuOpensThePanelAsAToolWindow) {
    {
        TarnwickApp app(test::testServices());
        app.overrideTrayAvailability(true);
        app.start();
        EXPECT_EQ(app.monitorPanelAction(), nullptr);
    }
    TarnwickApp app(test::testServices());
    app.overrideTrayAvailability(false);
    app.start();
    EXPECT_FALSE(app.trayIcon().isVisible());
    QAction* item = menuItem(app.mainWindow(), "Tarnwick", "Show Monitor Panel");
    ASSERT_NE(item, nullptr);
    item->trigger();
    MenuBarPanel& panel = app.menuBarPanel();
    EXPECT_TRUE(panel.isVisible());
    EXPECT_EQ(panel.presentation(), MenuBarPanel::Presentation::toolWindow);
    EXPECT_FALSE(panel.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(app.monitor().isRunning());
    panel.close();
    EXPECT_FALSE(app.monitor().isRunning());
}

// Closing the window once ended the process and the tray icon with it, and
// so the panel and the daily pass. Each run below ends when something quits
// the event loop; a run that nothing ends is ended after 20 s and fails.
TEST_F(TarnwickAppTest, ClosingTheWindowKeepsTarnwickInTheTrayUntilQuitAndQuitsWithoutOne) {
    auto runUntilQuit = [](const std::function<void()>& step) {
        bool ended = true;
        QTimer::singleShot(0, step);
        QTimer safety;
        QObject::connect(&safety, &QTimer::timeout, [&] {
            ended = false;
            QCoreApplication::quit();
        });
        safety.start(20000);
        QCoreApplication::exec();
        return ended;
    };
    {
        TarnwickApp app(test::testServices());
        app.overrideTrayAvailability(false);
        app.start();
        EXPECT_TRUE(runUntilQuit([&] { app.mainWindow().close(); })) << "without a tray, closing quits";
    }

    TarnwickApp app(test::testServices());
    app.overrideTrayAvailability(true);
    app.start();
    QStringList messages;
    QObject::connect(&app, &TarnwickApp::trayMessageShown, [&](const QString& text) { messages << text; });
    bool outlivedClose = false;
    EXPECT_TRUE(runUntilQuit([&] {
        app.mainWindow().close();
        QTimer::singleShot(20, [&] {
            outlivedClose = true;
            app.bringForward();  // the panel's Open
            app.mainWindow().close();
            app.menuBarView().findChild<QAbstractButton*>("footerQuit")->click();  // the panel's Quit
        });
    }));
    EXPECT_TRUE(outlivedClose);
    EXPECT_FALSE(app.mainWindow().isVisible());
    ASSERT_EQ(messages.size(), 1) << "told once, the first time";
    EXPECT_TRUE(messages[0].startsWith("Tarnwick keeps running"));
    EXPECT_EQ(menuItem(app.mainWindow(), "Tarnwick", "Quit Tarnwick")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
}

// Quit once only hid the window: before ending, the application asks each
// window to close, the window hid instead, and the quit was given up. Each
// way to quit ends the event loop with the window shown and a tray to hide
// in, from any section, and tells nothing at the tray; the X session test
// (XSession.QuitEndsTheProgramAndTheWindowFits) does the same with the real
// program, a window manager and a tray.
TEST_F(TarnwickAppTest, QuitEndsTheProgramWhileTheTrayKeepsClosedWindows) {
    const std::pair<QString, std::function<void(TarnwickApp&)>> quits[] = {
        {"the menu's Quit", [](TarnwickApp& app) { menuItem(app.mainWindow(), "Tarnwick", "Quit Tarnwick")->trigger(); }},
        {"Quit in Junk",
         [](TarnwickApp& app) {
             menuItem(app.mainWindow(), "Go", "Junk")->trigger();
             ASSERT_EQ(app.state().section(), AppSection::cleanup);
             menuItem(app.mainWindow(), "Tarnwick", "Quit Tarnwick")->trigger();
         }},
        {"the panel's Quit",
         [](TarnwickApp& app) { app.menuBarView().findChild<QAbstractButton*>("footerQuit")->click(); }},
    };
    for (const auto& [name, quit] : quits) {
        TarnwickApp app(test::testServices());
        app.overrideTrayAvailability(true);
        app.start();
        QStringList messages;
        QObject::connect(&app, &TarnwickApp::trayMessageShown, [&](const QString& text) { messages << text; });
        int hidden = 0;
        QObject::connect(&app.mainWindow(), &MainWindow::hiddenOnClose, [&] { ++hidden; });
        bool ended = true;
        QTimer safety;
        safety.setSingleShot(true);
        QObject::connect(&safety, &QTimer::timeout, [&] {
            ended = false;
            QCoreApplication::exit(1);
        });
        safety.start(10000);
        QTimer::singleShot(0, [&app, &quit = quit] { quit(app); });
        EXPECT_EQ(QCoreApplication::exec(), 0) << name.toStdString();
        EXPECT_TRUE(ended) << name.toStdString() << " did not end the program";
        EXPECT_EQ(hidden, 0) << name.toStdString() << " hid the window instead of closing it";
        EXPECT_TRUE(messages.isEmpty()) << name.toStdString() << " told that Tarnwick keeps running";
        // The window still hides on close afterwards, should the program go on.
        QCoreApplication::processEvents();
        EXPECT_TRUE(app.mainWindow().hidesOnClose()) << name.toStdString();
    }
}

// On a 1366 x 768 screen with a 28-pixel panel the first window opened
// 1200 x 780: its bottom, with the map's Delete button, lay off the screen.
TEST_F(TarnwickAppTest, TheWindowFitsTheScreensAvailableArea) {
    const QRect area(0, 28, 1366, 740);
    EXPECT_EQ(MainWindow::fitted(QRect(100, 100, 800, 500), area), QRect(100, 100, 800, 500)) << "inside stays";
    EXPECT_EQ(MainWindow::fitted(QRect(83, 40, 1202, 805), area), QRect(83, 28, 1202, 740)) << "too tall";
    EXPECT_EQ(MainWindow::fitted(QRect(900, 500, 800, 500), area), QRect(566, 268, 800, 500)) << "off the far corner";
    EXPECT_EQ(MainWindow::fitted(QRect(-3000, -50, 800, 500), area), QRect(0, 28, 800, 500)) << "off the near corner";
    EXPECT_EQ(MainWindow::fitted(QRect(-10, 0, 4000, 3000), area), area) << "larger every way";

    const QMargins frame(1, 20, 1, 5);  // a window manager's title bar and borders
    auto frameOf = [&](const QWidget& window) { return window.geometry() + frame; };
    {
        // A large screen: the preferred size, centred, and the full minimum.
        TarnwickApp app(test::testServices());
        MainWindow& window = app.mainWindow();
        window.fitInto(QRect(0, 0, 1920, 1080), frame);
        EXPECT_EQ(window.size(), QSize(1200, 780));
        EXPECT_EQ(frameOf(window).center(), QRect(0, 0, 1920, 1080).center());
        EXPECT_EQ(window.minimumSize(), QSize(MainWindow::minimumWidth, MainWindow::minimumHeight));
    }
    TarnwickApp app(test::testServices());
    MainWindow& window = app.mainWindow();
    window.fitInto(area, frame);
    EXPECT_TRUE(area.contains(frameOf(window))) << "first placement";
    EXPECT_EQ(window.size(), QSize(1200, 715));
    EXPECT_EQ(window.minimumSize(), QSize(1100, 715)) << "the minimum width holds, the height shrinks to the area";

    // A remembered place on a screen since gone or made smaller is brought back.
    window.setGeometry(1900, 900, 1150, 710);
    window.fitInto(area, frame);
    EXPECT_TRUE(area.contains(frameOf(window)));
    EXPECT_EQ(window.size(), QSize(1150, 715)) << "a size that fits is kept (the minimum raised the height)";
    const QRect small(0, 0, 1024, 600);
    window.fitInto(small, frame);
    EXPECT_TRUE(small.contains(frameOf(window)));
    EXPECT_EQ(window.minimumSize(), QSize(1022, 575));

    // Showing the window fits it into its own screen.
    app.overrideTrayAvailability(false);
    app.start();
    const QRect screenArea = window.screen()->availableGeometry();
    EXPECT_TRUE(screenArea.contains(window.frameGeometry()))
        << window.frameGeometry().width() << "x" << window.frameGeometry().height() << " on "
        << screenArea.width() << "x" << screenArea.height();
}

TEST_F(TarnwickAppTest, PreviewsGoNowhereOnceTheApplicationIsGone) {
    {
        TarnwickApp app(test::testServices());
    }
    QuickLookService::preview("/anything");  // must not reach a destroyed window
    SUCCEED();
}


TEST_F(TarnwickAppTest, QuittingWaitsForTheCacheSaveStillWriting) {
    // A save that writes until the test lets it finish.
    std::atomic_bool released{false};
    std::atomic_bool saved{false};
    MapServices services = test::testServices();
    services.saveCache = [&](const QString&, const QString&, const ScanNodePtr&, const ScanInsights&) {
        while (!released) QThread::msleep(1);
        saved = true;
    };
    TarnwickApp app(services);
    app.start();
    const QString folder = test::makeDir(environment.path("Projects"));
    test::writeFile(folder + "/a.bin", "abc");
    app.state().startScan(folder);
    ASSERT_TRUE(test::waitUntil([&] { return app.state().screen() == AppState::Screen::idle; }));
    EXPECT_FALSE(saved);

    // Handlers of the quit run in the order they were connected: the
    // application's own came first.
    bool savedWhenQuitting = false;
    QObject context;
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &context,
                     [&] { savedWhenQuitting = saved; });
    std::thread releaser([&released] {
        QThread::msleep(100);
        released = true;
    });
    QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    releaser.join();
    EXPECT_TRUE(savedWhenQuitting);
}
