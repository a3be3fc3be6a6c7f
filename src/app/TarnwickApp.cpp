#include "app/TarnwickApp.h"

#include "app/MainWindow.h"
#include "app/ScreenCatalog.h"
#include "design/SymbolIcons.h"
#include "design/TaldoTheme.h"
#include "design/WindowChrome.h"
#include "services/store/QuickLookService.h"
#include "services/scan/ScanCache.h"
#include "state/AppState.h"
#include "views/shell/AppShell.h"
#include "views/health/MenuBarPanel.h"
#include "views/shell/PreviewWindow.h"

#include <QApplication>
#include <QSystemTrayIcon>
#include <QTimer>

namespace tarnwick {

TarnwickApp::TarnwickApp(MapServices services, ModuleServices modules, QObject* parent)
    : QObject(parent), state_(std::make_unique<AppState>(std::move(services), std::move(modules))) {
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
    }

    panel_ = std::make_unique<MenuBarPanel>();
    tray_ = new QSystemTrayIcon(SymbolIcons::icon(QStringLiteral("internaldrive.fill"), TaldoTheme::textPrimary(), 22),
                                this);
    tray_->setToolTip(QStringLiteral("Tarnwick"));
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) toggleMenuBarPanel();
    });
}

TarnwickApp::~TarnwickApp() {
    QuickLookService::setPresenter({});
    delete tray_;
    panel_.reset();
    window_.reset();
}

void TarnwickApp::start() {
    state_->start();
    window_->show();
    tray_->show();
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

void TarnwickApp::toggleMenuBarPanel() {
    panel_->toggle(tray_->geometry());
}

}  // namespace tarnwick
