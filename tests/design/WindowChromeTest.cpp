#include "design/WindowChrome.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using namespace tarnwick;

TEST(WindowChrome, StylesTitledWindowsOnceInstalledAndOnActivation) {
    QWidget before;
    before.setWindowTitle(QStringLiteral("Tarnwick"));
    QWidget panel(nullptr, Qt::FramelessWindowHint);
    const QPalette panelPalette = panel.palette();

    WindowChrome::install();
    EXPECT_TRUE(WindowChrome::isInstalled());
    EXPECT_TRUE(WindowChrome::isConfigured(&before));
    EXPECT_EQ(before.windowTitle(), QStringLiteral("Tarnwick")); // kept for the task bar
    EXPECT_EQ(before.palette().color(QPalette::Window), WindowChrome::palette().color(QPalette::Window));
    EXPECT_FALSE(WindowChrome::isConfigured(&panel));
    EXPECT_FALSE(panel.testAttribute(Qt::WA_SetPalette));

    // A window made later is styled when it becomes active; the untitled one never is.
    QWidget later;
    EXPECT_FALSE(WindowChrome::isConfigured(&later));
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&later, &activate);
    QApplication::sendEvent(&panel, &activate);
    EXPECT_TRUE(WindowChrome::isConfigured(&later));
    EXPECT_FALSE(WindowChrome::isConfigured(&panel));

    // A second install restyles every window again; popups and children are no titled windows.
    QWidget third;
    WindowChrome::install();
    EXPECT_TRUE(WindowChrome::isConfigured(&third));
    QWidget popup(nullptr, Qt::Popup);
    QWidget child(&before);
    EXPECT_FALSE(WindowChrome::isTitled(&popup));
    EXPECT_FALSE(WindowChrome::isTitled(&child));
}

TEST(WindowChrome, TheWindowMovesOnlyOnceAPressOnItsBackgroundIsDragged) {
    WindowChrome::install();
    QWidget window;
    window.setWindowTitle(QStringLiteral("Tarnwick"));
    auto* layout = new QVBoxLayout(&window);
    auto* button = new QPushButton(QStringLiteral("Scan"));
    auto* label = new QLabel(QStringLiteral("Title"));
    auto* scroll = new QScrollArea;
    auto* inside = new QLabel(QStringLiteral("row"));
    scroll->setWidget(inside);
    scroll->setFixedHeight(40);
    for (QWidget* w : std::initializer_list<QWidget*>{button, label, scroll}) layout->addWidget(w);
    layout->addStretch(1);
    window.resize(400, 300);
    window.show();
    WindowChrome::configure(&window);
    // Plain backgrounds and labels move the window; controls, scrolled
    // contents and other windows never do.
    EXPECT_TRUE(WindowChrome::startsWindowMove(&window, label));
    for (QWidget* other : {static_cast<QWidget*>(button), static_cast<QWidget*>(inside), static_cast<QWidget*>(nullptr)})
        EXPECT_FALSE(WindowChrome::startsWindowMove(&window, other));

    QList<QWidget*> moved;
    WindowChrome::setSystemMoveStarter([&](QWidget* w) {
        moved << w;
        return true;
    });
    const int distance = QApplication::startDragDistance();
    const QPoint start(200, 250); // plain background below the button
    auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(at), QPointF(window.mapToGlobal(at)), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(&window, &event);
        return event.isAccepted();
    };

    // A quick click: press and release in place, nothing moves.
    send(QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, start, Qt::LeftButton, Qt::NoButton);
    EXPECT_TRUE(moved.isEmpty());
    // Moving afterwards without the button does not start a move either.
    send(QEvent::MouseMove, start + QPoint(distance * 3, 0), Qt::NoButton, Qt::NoButton);
    EXPECT_TRUE(moved.isEmpty());

    // A press that wanders less than the drag distance stays a click.
    send(QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, start + QPoint(distance - 1, 0), Qt::NoButton, Qt::LeftButton);
    EXPECT_TRUE(moved.isEmpty());
    // Past it with the button held, the move starts, once.
    send(QEvent::MouseMove, start + QPoint(distance, 1), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(moved, QList<QWidget*>({&window}));
    send(QEvent::MouseMove, start + QPoint(distance * 4, 1), Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, start + QPoint(distance * 4, 1), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(moved.size(), 1);

    // A right press, or a press on a button, never moves the window.
    send(QEvent::MouseButtonPress, start, Qt::RightButton, Qt::RightButton);
    send(QEvent::MouseMove, start + QPoint(0, distance * 3), Qt::NoButton, Qt::RightButton);
    const QPoint onButton = button->geometry().center();
    send(QEvent::MouseButtonPress, onButton, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, onButton + QPoint(distance * 3, 0), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(moved.size(), 1);
    WindowChrome::setSystemMoveStarter({});
}
