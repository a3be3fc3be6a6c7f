#include "design/TaldoTheme.h"
#include "design/WindowChrome.h"

#include <QApplication>
#include <QLabel>
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
    EXPECT_EQ(before.palette().color(QPalette::Highlight), TaldoTheme::accentTeal());
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

    // A second install restyles every window again and stays installed.
    QWidget third;
    WindowChrome::install();
    EXPECT_TRUE(WindowChrome::isConfigured(&third));
    EXPECT_TRUE(WindowChrome::isInstalled());

    QWidget popup(nullptr, Qt::Popup);
    QWidget child(&before);
    EXPECT_FALSE(WindowChrome::isTitled(&popup));
    EXPECT_FALSE(WindowChrome::isTitled(&child));
    EXPECT_TRUE(WindowChrome::isTitled(&third));
    WindowChrome::configure(nullptr); // harmless
}

TEST(WindowChrome, OnlyPlainBackgroundMovesTheWindow) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* plain = new QWidget;
    auto* label = new QLabel(QStringLiteral("Title"));
    auto* button = new QPushButton(QStringLiteral("Scan"));
    auto* scroll = new QScrollArea;
    auto* inside = new QLabel(QStringLiteral("row"));
    scroll->setWidget(inside);
    for (QWidget* w : std::initializer_list<QWidget*>{plain, label, button, scroll})
        layout->addWidget(w);
    QWidget other;

    EXPECT_TRUE(WindowChrome::startsWindowMove(&window, &window));
    EXPECT_TRUE(WindowChrome::startsWindowMove(&window, plain));
    EXPECT_TRUE(WindowChrome::startsWindowMove(&window, label));
    EXPECT_FALSE(WindowChrome::startsWindowMove(&window, button));
    EXPECT_FALSE(WindowChrome::startsWindowMove(&window, inside));
    EXPECT_FALSE(WindowChrome::startsWindowMove(&window, &other));
    EXPECT_FALSE(WindowChrome::startsWindowMove(&window, nullptr));
}
