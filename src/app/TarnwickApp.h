#pragma once

#include "state/MapServices.h"
#include "state/ModuleServices.h"

#include <QObject>
#include <QPointer>

#include <memory>
#include <optional>

class QAction;
class QSystemTrayIcon;

namespace tarnwick {

class AppState;
class MainWindow;
class MenuBarPanel;
class MenuBarView;
class PreviewWindow;
class SystemMonitor;

// The application: the one AppState and the one SystemMonitor of the
// process, the main window with its menus, the tray icon with its panel, and
// the preview window that every preview request (from the state or from
// QuickLookService::preview) opens. Where the desktop has no tray, the
// "Tarnwick" menu gets "Show Monitor Panel", which opens the same panel as a
// small tool window. With a tray, closing the main window hides it and the
// program keeps running there (the panel and the daily pass go on; the
// first time, a tray message says so); Quit in the "Tarnwick" menu, the
// panel's "Quit Tarnwick" and Ctrl+Q end it. Without a tray, closing the
// window quits. A quit, from wherever it comes, closes the window for good:
// the window does not hide then, so the quit is not cancelled. Everything
// lives until the application object goes.
class TarnwickApp : public QObject {
    Q_OBJECT

public:
    explicit TarnwickApp(MapServices services = MapServices::production(),
                         ModuleServices modules = ModuleServices::production(), QObject* parent = nullptr);
    ~TarnwickApp() override;

    // Runs the state's start-up, shows the main window and the tray icon (or,
    // without a tray, adds the panel's menu item), then (once the event loop
    // runs) styles the windows and brings the program forward.
    void start();
    // Decides for start() whether the desktop has a tray, instead of asking it.
    void overrideTrayAvailability(bool available) { trayAvailable_ = available; }

    AppState& state() const;
    SystemMonitor& monitor() const;
    MainWindow& mainWindow() const;
    QSystemTrayIcon& trayIcon() const;
    MenuBarPanel& menuBarPanel() const;
    MenuBarView& menuBarView() const;
    PreviewWindow& previewWindow() const;
    // "Show Monitor Panel" in the "Tarnwick" menu; null while there is a tray.
    QAction* monitorPanelAction() const;

    // Opens or closes the tray panel (what a click on the tray icon does).
    void toggleMenuBarPanel();
    // Opens the panel as a tool window (what "Show Monitor Panel" does).
    void showMonitorPanelWindow();
    // Shows the main window (restored if minimised or hidden), raised and active:
    // what a second start of the program asks for.
    void bringForward();

    // The settings key that remembers that the tray message was shown.
    static QString keptRunningNoticeKey() { return QStringLiteral("tarnwick.tray.keptRunningNoticeShown"); }

signals:
    // A message was shown at the tray icon.
    void trayMessageShown(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void noteKeptRunning();

    // Declared first: destroyed last, after every window that observes it.
    std::unique_ptr<AppState> state_;
    std::unique_ptr<SystemMonitor> monitor_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<MenuBarPanel> panel_;
    QPointer<MenuBarView> panelView_;
    QPointer<PreviewWindow> preview_;
    QPointer<QSystemTrayIcon> tray_;
    QPointer<QAction> panelAction_;
    std::optional<bool> trayAvailable_;
};

}  // namespace tarnwick
