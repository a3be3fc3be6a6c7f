#pragma once

#include <QMainWindow>
#include <QMargins>
#include <QRect>

class QMessageBox;

namespace tarnwick {

class AppShell;
class AppState;

// The main window: the shell as its content, the "Tarnwick", "Care" and "Go"
// menus, and the one error alert. The alert is shown (without blocking)
// whenever AppState has an error message and shows the newest one; "OK",
// Escape or any other dismissal clears the message.
//
// Each time it is shown the window is fitted into its screen's available
// area (the screen less its panels), frame included: the first time at its
// size (1200 x 780 unless resized before), centred; later where it was, moved back in (and shrunk)
// where the area no longer holds it. Once the window manager has put its
// frame on, the window is fitted again with that frame. The minimum size
// holds where the area allows it and shrinks to the area where it does not.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int minimumWidth = 1100;
    static constexpr int minimumHeight = 720;

    explicit MainWindow(AppState& state, QWidget* parent = nullptr);

    AppShell* shell() const { return shell_; }
    // With a tray to keep running in, closing the window only hides it
    // (unless the session is ending); hiddenOnClose() says so each time.
    void setHidesOnClose(bool hides) { hidesOnClose_ = hides; }
    bool hidesOnClose() const { return hidesOnClose_; }
    // The error alert; null until the first message.
    QMessageBox* alert() const { return alert_; }

    // Fits the window into `available` (in screen coordinates), for a frame
    // that adds `frame` around it; what showing the window does with its screen.
    void fitInto(const QRect& available, const QMargins& frame);
    // `outer` (a frame's rectangle) shrunk to `available` where it is larger
    // and moved by as little as brings it inside.
    static QRect fitted(const QRect& outer, const QRect& available);

signals:
    void hiddenOnClose();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    void updateAlert();
    void fitIntoScreen();

    AppState& state_;
    AppShell* shell_ = nullptr;
    QMessageBox* alert_ = nullptr;
    bool hidesOnClose_ = false;
    bool placed_ = false;
    // The frame the last fit allowed for.
    QMargins fittedFrame_;
};

}  // namespace tarnwick
