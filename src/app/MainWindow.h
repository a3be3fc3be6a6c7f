#pragma once

#include <QMainWindow>

class QMessageBox;

namespace tarnwick {

class AppShell;
class AppState;

// The main window: the shell as its content, the "Tarnwick", "Care" and "Go"
// menus, and the one error alert. The alert is shown (without blocking)
// whenever AppState has an error message and shows the newest one; "OK",
// Escape or any other dismissal clears the message.
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

signals:
    void hiddenOnClose();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void updateAlert();

    AppState& state_;
    AppShell* shell_ = nullptr;
    QMessageBox* alert_ = nullptr;
    bool hidesOnClose_ = false;
};

}  // namespace tarnwick
