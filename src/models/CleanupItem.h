#pragma once

#include "models/CleanupCategory.h"
#include "models/MoveScope.h"

#include <QString>
#include <QUuid>

namespace tarnwick {

// One junk finding. `isSelected` starts equal to `isSafeDefault` and changes
// only by the user's tick.
struct CleanupItem {
    QUuid id = QUuid::createUuid();
    QString title{};
    QString path{};    // absolute path of what cleaning moves
    QString detail{};  // the row's second line
    qint64 size = 0;
    CleanupCategory category = CleanupCategory::caches;
    bool isSelected = false;
    bool isSafeDefault = false;
    MoveScope scope{};  // what a clean moves: the item, or a folder's entries

    bool operator==(const CleanupItem&) const = default;
};

}  // namespace tarnwick
