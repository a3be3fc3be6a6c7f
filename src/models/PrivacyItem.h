#pragma once

#include "models/BrowserUse.h"
#include "models/MoveScope.h"

#include <QString>
#include <QStringList>
#include <QUuid>

namespace tarnwick {

// One place where traces of the user's activity collect.
struct PrivacyItem {
    QUuid id = QUuid::createUuid();
    QString title{};
    QString path{};    // absolute path; what a clean moves
    QString detail{};  // the path with "~" for the home folder
    qint64 size = 0;
    bool isSelected = false;
    // A database's journal files (-journal, -wal, -shm), moved with it
    // whether or not they exist at the time.
    QStringList companionPaths{};
    // A cache folder stays in place: a clean moves its entries.
    MoveScope scope{};
    // The browser that must not be running while the item moves; empty for
    // items no program holds open.
    BrowserUse owner{};

    bool operator==(const PrivacyItem&) const = default;
};

}  // namespace tarnwick
