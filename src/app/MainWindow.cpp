#include "app/MainWindow.h"

#include "design/WindowChrome.h"
#include "state/AppState.h"
#include "support/AppIdentity.h"
#include "views/shell/AppShell.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QShowEvent>
#include <QWindow>

#include <algorithm>

namespace tarnwick {

MainWindow::MainWindow(AppState& state, QWidget* parent) : QMainWindow(parent), state_(state) {
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("Tarnwick"));
    setMinimumSize(minimumWidth, minimumHeight);
    resize(1200, 780);
    shell_ = new AppShell(state_, this);
    setCentralWidget(shell_);
    buildMenus();
    connect(&state_, &AppState::changed, this, [this](AppState::Field field) {
        if (field == AppState::Field::errorMessage) updateAlert();
    });
    updateAlert();
}

void MainWindow::buildMenus() {
    auto add = [this](QMenu* menu, const QString& text, const QKeySequence& shortcut, auto action) {
        QAction* item = menu->addAction(text);
        if (!shortcut.isEmpty()) {
            item->setShortcut(shortcut);
            item->setShortcutContext(Qt::ApplicationShortcut);
        }
        connect(item, &QAction::triggered, this, action);
        return item;
    };

    QMenu* app = menuBar()->addMenu(QStringLiteral("Tarnwick"));
    add(app, QStringLiteral("About Tarnwick"), {}, [this] { state_.setShowAbout(true); })
        ->setMenuRole(QAction::AboutRole);
    add(app, QStringLiteral("Website"), {}, [this] { state_.openURL(AppIdentity::websiteURL()); });
    app->addSeparator();
    // Ctrl+Q whatever the platform theme says (some name no key for quitting).
    add(app, QStringLiteral("Quit Tarnwick"), QKeySequence(Qt::CTRL | Qt::Key_Q), [] { QApplication::quit(); })
        ->setMenuRole(QAction::QuitRole);

    QMenu* care = menuBar()->addMenu(QStringLiteral("Care"));
    add(care, QStringLiteral("Run Vidur Aded"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S),
        [this] { state_.runVidurAded(); });
    add(care, QStringLiteral("Junk Cleanup"), {}, [this] {
        state_.openSection(AppSection::cleanup);
        state_.runCleanupScan();  // always a fresh scan, even when the section just started one
    });
    add(care, QStringLiteral("Protection"), {}, [this] { state_.openSection(AppSection::protection); });
    add(care, QStringLiteral("Performance"), {}, [this] { state_.openSection(AppSection::performance); });

    QMenu* go = menuBar()->addMenu(QStringLiteral("Go"));
    const std::pair<AppSection, Qt::Key> items[] = {
        {AppSection::home, Qt::Key_1},        {AppSection::map, Qt::Key_2},        {AppSection::cleanup, Qt::Key_3},
        {AppSection::apps, Qt::Key_4},        {AppSection::clutter, Qt::Key_5},    {AppSection::performance, Qt::Key_6},
        {AppSection::protection, Qt::Key_7},  {AppSection::activity, Qt::Key_8},   {AppSection::safeBin, Qt::Key_9},
    };
    for (const auto& [section, key] : items) {
        add(go, rawValue(section), QKeySequence(Qt::CTRL | key), [this, section = section] {
            state_.openSection(section);
        });
    }
}

void MainWindow::updateAlert() {
    const std::optional<QString>& message = state_.errorMessage();
    if (!message) {
        if (alert_) alert_->hide();
        return;
    }
    if (!alert_) {
        alert_ = new QMessageBox(this);
        alert_->setObjectName(QStringLiteral("errorAlert"));
        alert_->setWindowTitle(QStringLiteral("Tarnwick"));
        alert_->setText(QStringLiteral("Tarnwick"));
        alert_->setStandardButtons(QMessageBox::Ok);
        alert_->setEscapeButton(QMessageBox::Ok);
        // Whatever closes the alert clears the message it showed.
        connect(alert_, &QDialog::finished, this, [this] { state_.clearErrorMessage(); });
    }
    alert_->setInformativeText(*message);
    if (!alert_->isVisible()) alert_->open();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A session that is ending closes every window: that close is the end.
    if (hidesOnClose_ && !qApp->isSavingSession()) {
        event->ignore();
        hide();
        emit hiddenOnClose();
        return;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::showEvent(QShowEvent* event) {
    // Shown by the program, not restored by the window manager: placed before it is mapped.
    if (!event->spontaneous()) fitIntoScreen();
    if (QWindow* window = windowHandle()) window->installEventFilter(this);
    QMainWindow::showEvent(event);
    if (WindowChrome::isInstalled()) WindowChrome::applyToAllWindows();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // The frame is known once the window manager has shown the window in it.
    QWindow* window = windowHandle();
    if (event->type() == QEvent::Expose && watched == window && window->isExposed() &&
        window->frameMargins() != fittedFrame_) {
        fitIntoScreen();
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::fitIntoScreen() {
    if (const QScreen* screen = this->screen()) {
        fitInto(screen->availableGeometry(), windowHandle() ? windowHandle()->frameMargins() : QMargins());
    }
}

void MainWindow::fitInto(const QRect& available, const QMargins& frame) {
    fittedFrame_ = frame;
    if (available.isEmpty()) return;
    const QSize room = available.size().shrunkBy(frame).expandedTo(QSize(1, 1));
    setMinimumSize(QSize(minimumWidth, minimumHeight).boundedTo(room));
    // A maximised or full-screen window is the window manager's to place.
    if (isMaximized() || isFullScreen()) return;
    QRect outer = geometry() + frame;
    if (!placed_) outer.moveCenter(available.center());
    placed_ = true;
    const QRect inner = fitted(outer, available) - frame;
    if (inner != geometry()) setGeometry(inner);
}

QRect MainWindow::fitted(const QRect& outer, const QRect& available) {
    const QSize size = outer.size().boundedTo(available.size());
    const int x = std::clamp(outer.x(), available.x(), available.x() + available.width() - size.width());
    const int y = std::clamp(outer.y(), available.y(), available.y() + available.height() - size.height());
    return {QPoint(x, y), size};
}

}  // namespace tarnwick
