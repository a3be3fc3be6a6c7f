#pragma once

#include "state/MapServices.h"
#include "state/ModuleServices.h"

#include <QObject>
#include <QPointer>

#include <memory>

class QSystemTrayIcon;

namespace tarnwick {

class AppState;
class MainWindow;
class MenuBarPanel;
class PreviewWindow;

// The application: the one AppState of the process, the main window with its
// menus, the tray icon with its panel, and the preview window that every
// preview request (from the state or from QuickLookService::preview) opens.
// Everything lives until the application object goes.
class TarnwickApp : public QObject {
    Q_OBJECT

public:
    explicit TarnwickApp(MapServices services = MapServices::production(),
                         ModuleServices modules = ModuleServices::production(), QObject* parent = nullptr);
    ~TarnwickApp() override;

    // Runs the state's start-up, shows the main window and the tray icon, then
    // (once the event loop runs) styles the windows and brings the program forward.
    void start();

    AppState& state() const;
    MainWindow& mainWindow() const;
    QSystemTrayIcon& trayIcon() const;
    MenuBarPanel& menuBarPanel() const;
    PreviewWindow& previewWindow() const;

    // Opens or closes the tray panel (what a click on the tray icon does).
    void toggleMenuBarPanel();
    // Shows the main window (restored if minimised or hidden), raised and active:
    // what a second start of the program asks for.
    void bringForward();

private:
    // Declared first: destroyed last, after every window that observes it.
    std::unique_ptr<AppState> state_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<MenuBarPanel> panel_;
    QPointer<PreviewWindow> preview_;
    QPointer<QSystemTrayIcon> tray_;
};

}  // namespace tarnwick
