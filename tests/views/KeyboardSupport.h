#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QList>
#include <QWidget>

namespace tarnwick::test {

// A key pressed and released on the widget that has the keyboard focus.
inline void pressKey(Qt::Key key) {
    const QString text = key == Qt::Key_Space ? QStringLiteral(" ") : QString();
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    if (QWidget* target = QApplication::focusWidget()) QApplication::sendEvent(target, &press);
    if (QWidget* target = QApplication::focusWidget()) QApplication::sendEvent(target, &release);
}

// The widgets that Tab visits in the window, in order, once round: each Tab
// is a key press on the widget that has the focus.
inline QList<QWidget*> tabStops(QWidget* window) {
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    window->setFocus(Qt::OtherFocusReason);
    QList<QWidget*> stops;
    for (int i = 0; i < 200; ++i) {
        pressKey(Qt::Key_Tab);
        QWidget* focused = QApplication::focusWidget();
        if (!focused || stops.contains(focused)) break;
        stops.append(focused);
    }
    return stops;
}

}  // namespace tarnwick::test
