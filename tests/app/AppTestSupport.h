#pragma once

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

}  // namespace tarnwick::test
