#include "app/TarnwickApp.h"

#include "app/MainWindow.h"
#include "app/ScreenCatalog.h"
#include "design/SymbolIcons.h"
#include "design/TaldoTheme.h"
#include "design/WindowChrome.h"
#include "platform/Environment.h"
#include "services/store/QuickLookService.h"
#include "services/health/SystemMonitor.h"
#include "services/scan/ScanCache.h"
#include "state/AppState.h"
#include "views/shell/AppShell.h"
#include "views/health/MenuBarPanel.h"
#include "views/health/MenuBarView.h"
#include "views/shell/PreviewWindow.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTimer>

namespace tarnwick {

TarnwickApp::TarnwickApp(MapServices services, ModuleServices modules, QObject* parent)
    : QObject(parent),
      state_(std::make_unique<AppState>(std::move(services), std::move(modules))),
      monitor_(std::make_unique<SystemMonitor>()) {
    window_ = std::make_unique<MainWindow>(*state_);
    ScreenCatalog::install(*window_->shell()->detailArea());

    preview_ = new PreviewWindow(window_.get());
    QuickLookService::setPresenter([preview = preview_](const QString& path) {
        if (preview) preview->showPath(path);
    });
    connect(state_.get(), &AppState::previewRequested, this,
            [](const QString& path) { QuickLookService::preview(path); });
    // A cache save still writing when the event loop ends would be lost if
    // the process went first: finish it before anything is torn down.
    if (QCoreApplication* application = QCoreApplication::instance()) {
        connect(application, &QCoreApplication::aboutToQuit, this, [this] {
            state_->waitForCacheSaves();
            ScanCache::waitForBackgroundSaves();
        });
        // Sees the quit before the application asks its windows to close.
        application->installEventFilter(this);
    }

    panel_ = std::make_unique<MenuBarPanel>();
    panelView_ = new MenuBarView(*state_, *monitor_);
    panel_->setContent(panelView_);
    tray_ = new QSystemTrayIcon(SymbolIcons::icon(QStringLiteral("internaldrive.fill"), TaldoTheme::textPrimary(), 22),
                                this);
    tray_->setToolTip(QStringLiteral("Tarnwick"));
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) toggleMenuBarPanel();
    });
}

TarnwickApp::~TarnwickApp() {
    if (QCoreApplication* application = QCoreApplication::instance()) application->removeEventFilter(this);
    QGuiApplication::setQuitOnLastWindowClosed(true);
    QuickLookService::setPresenter({});
    delete tray_;
    panel_.reset();
    window_.reset();
}

void TarnwickApp::start() {
    state_->start();
    window_->show();
    const bool tray = trayAvailable_.value_or(QSystemTrayIcon::isSystemTrayAvailable());
    // With a tray the program lives on there when its window closes; without
    // one, closing the window is how it ends.
    QGuiApplication::setQuitOnLastWindowClosed(!tray);
    window_->setHidesOnClose(tray);
    connect(window_.get(), &MainWindow::hiddenOnClose, this, &TarnwickApp::noteKeptRunning, Qt::UniqueConnection);
    if (tray) {
        tray_->show();
    } else if (!panelAction_) {
        // No tray to click: the panel opens from the "Tarnwick" menu, above its Quit item.
        for (QAction* menuAction : window_->menuBar()->actions()) {
            QMenu* menu = menuAction->menu();
            if (!menu || menuAction->text() != QStringLiteral("Tarnwick")) continue;
            const QList<QAction*> items = menu->actions();
            QAction* before = nullptr;
            for (QAction* item : items) {
                if (item->isSeparator()) before = item;
            }
            panelAction_ = new QAction(QStringLiteral("Show Monitor Panel"), menu);
            connect(panelAction_, &QAction::triggered, this, &TarnwickApp::showMonitorPanelWindow);
            menu->insertAction(before, panelAction_);
            break;
        }
    }
    QTimer::singleShot(0, this, [this] {
        WindowChrome::install();
        window_->raise();
        window_->activateWindow();
        WindowChrome::applyToAllWindows();
    });
}

AppState& TarnwickApp::state() const {
    return *state_;
}

SystemMonitor& TarnwickApp::monitor() const {
    return *monitor_;
}

QAction* TarnwickApp::monitorPanelAction() const {
    return panelAction_;
}

MenuBarView& TarnwickApp::menuBarView() const {
    return *panelView_;
}

MainWindow& TarnwickApp::mainWindow() const {
    return *window_;
}

QSystemTrayIcon& TarnwickApp::trayIcon() const {
    return *tray_;
}

MenuBarPanel& TarnwickApp::menuBarPanel() const {
    return *panel_;
}

PreviewWindow& TarnwickApp::previewWindow() const {
    return *preview_;
}

void TarnwickApp::bringForward() {
    if (window_->isMinimized()) {
        window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

bool TarnwickApp::eventFilter(QObject* watched, QEvent* event) {
    // Before ending, the application closes every window and gives up the
    // quit if one stays open; a window that hid instead of closing did so and
    // left the process running. For the quit, closing the window closes it.
    if (event->type() == QEvent::Quit && watched == QCoreApplication::instance() && window_->hidesOnClose()) {
        window_->setHidesOnClose(false);
        // Should something else keep the program running, the tray takes the window's closes again.
        QTimer::singleShot(0, this, [this] { window_->setHidesOnClose(true); });
    }
    return QObject::eventFilter(watched, event);
}

void TarnwickApp::noteKeptRunning() {
    const auto settings = Environment::current().settings();
    if (settings->value(keptRunningNoticeKey()).toBool()) return;
    settings->setValue(keptRunningNoticeKey(), true);
    const QString text = QStringLiteral(
        "Tarnwick keeps running here, so the panel and the daily pass go on. To end it, choose Quit Tarnwick "
        "in the panel or press Ctrl+Q.");
    tray_->showMessage(QStringLiteral("Tarnwick"), text, tray_->icon(), 8000);
    emit trayMessageShown(text);
}

void TarnwickApp::toggleMenuBarPanel() {
    panel_->setPresentation(MenuBarPanel::Presentation::popup);
    panel_->toggle(tray_->geometry());
}

void TarnwickApp::showMonitorPanelWindow() {
    panel_->setPresentation(MenuBarPanel::Presentation::toolWindow);
    panel_->showWindow();
}

}  // namespace tarnwick
