#pragma once

#include "app/TarnwickApp.h"
#include "state/AppState.h"

#include "state/StateTestSupport.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QString>
#include <QStringList>

namespace tarnwick::test {

// The items of one of the window's menus, without separators.
inline QList<QAction*> menuItems(QMainWindow& window, const QString& menuTitle) {
    for (QAction* action : window.menuBar()->actions()) {
        if (action->text() != menuTitle || !action->menu()) continue;
        QList<QAction*> items = action->menu()->actions();
        items.removeIf([](QAction* item) { return item->isSeparator(); });
        return items;
    }
    return {};
}

inline QAction* menuItem(QMainWindow& window, const QString& menuTitle, const QString& itemTitle) {
    for (QAction* item : menuItems(window, menuTitle)) {
        if (item->text() == itemTitle) return item;
    }
    return nullptr;
}

// Starts the application without a tray and waits until the map's cache and
// the Safe Bin are read, as a user would find it a moment after opening it.
inline bool startSettled(TarnwickApp& app) {
    app.overrideTrayAvailability(false);
    app.start();
    return waitUntil([&] { return !app.state().isRestoringCache(); }) && safeBinSettled(app.state());
}

}  // namespace tarnwick::test
