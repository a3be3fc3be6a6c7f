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
    // The error alert; null until the first message.
    QMessageBox* alert() const { return alert_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildMenus();
    void updateAlert();

    AppState& state_;
    AppShell* shell_ = nullptr;
    QMessageBox* alert_ = nullptr;
};

}  // namespace tarnwick
