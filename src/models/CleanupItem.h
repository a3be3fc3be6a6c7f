#pragma once

#include "models/CleanupCategory.h"
#include "models/MoveScope.h"
#include "models/NamedCopy.h"
#include "platform/FileIdentity.h"

#include <QString>
#include <QUuid>

#include <optional>

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
    // What the scan saw at path; a clean moves the item only while it is still that item.
    std::optional<FileIdentity> seen{};
    // For a duplicate: the copy that stays, which must still be in place for this one to move.
    std::optional<NamedCopy> keptCopy{};
    // Why the last clean left it in place; empty when it has not failed.
    QString notMoved{};

    // The row's second line: the reason it was not moved first, when there is one.
    QString rowDetail() const { return notMoved.isEmpty() ? detail : notMoved + QStringLiteral(" \u00B7 ") + detail; }

    bool operator==(const CleanupItem&) const = default;
};

}  // namespace tarnwick
