#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QList>
#include <QWidget>

namespace tarnwick::test {

// Makes the window the active one, so that keyboard focus lands in it.
inline void activate(QWidget* window) {
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    QCoreApplication::processEvents();
}

// A key pressed and released on the widget that has the keyboard focus.
inline void pressKey(Qt::Key key) {
    QWidget* target = QApplication::focusWidget();
    if (!target) return;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, key == Qt::Key_Space ? QStringLiteral(" ") : QString());
    QApplication::sendEvent(target, &press);
    if (QWidget* still = QApplication::focusWidget()) {
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier,
                          key == Qt::Key_Space ? QStringLiteral(" ") : QString());
        QApplication::sendEvent(still, &release);
    }
}

// The widgets that Tab visits from the window's first stop, in order, once
// round: each Tab is a real key press on the widget that has the focus.
inline QList<QWidget*> tabStops(QWidget* window, int limit = 200) {
    activate(window);
    window->setFocus(Qt::OtherFocusReason);
    QList<QWidget*> stops;
    for (int i = 0; i < limit; ++i) {
        pressKey(Qt::Key_Tab);
        QWidget* focused = QApplication::focusWidget();
        if (!focused || stops.contains(focused)) break;
        stops.append(focused);
    }
    return stops;
}

}  // namespace tarnwick::test
