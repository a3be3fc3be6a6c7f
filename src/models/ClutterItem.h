#pragma once

#include "models/NamedCopy.h"
#include "platform/FileIdentity.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace tarnwick {

// One clutter finding. `isSafeDefault` equals `isSelected` when the finder
// makes it.
struct ClutterItem {
    // Which search found the item; the raw value is its title.
    enum class Kind {
        duplicates,
        similarImages,
        downloads,
        largeOld,
        screenshots,
        trash,
        mailDownloads,
    };

    QUuid id = QUuid::createUuid();
    QString title{};
    QString path{};    // absolute path of what cleaning moves
    QString detail{};  // why it was found
    qint64 size = 0;
    Kind kind = Kind::duplicates;
    bool isSelected = false;
    bool isSafeDefault = false;
    // What the scan saw at path; a clean moves the item only while it is still that item.
    std::optional<FileIdentity> seen{};
    // Files that belong to the item and move with it as one (a trashed file's
    // record under Trash/info), with what the scan saw of those that were there.
    QStringList companionPaths{};
    QHash<QString, FileIdentity> companionsSeen{};
    // For a duplicate or similar picture: the copy that stays, which must
    // still be in place for this one to move.
    std::optional<NamedCopy> keptCopy{};
    // Why the last clean left it in place; empty when it has not failed.
    QString notMoved{};

    // The row's second line: the reason it was not moved first, when there is one.
    QString rowDetail() const { return notMoved.isEmpty() ? detail : notMoved + QStringLiteral(" \u00B7 ") + detail; }

    bool operator==(const ClutterItem&) const = default;
};

// The kind's title ("Similar Images").
QString rawValue(ClutterItem::Kind kind);
// Exactly the seven titles; anything else gives nothing.
std::optional<ClutterItem::Kind> clutterKindFromRawValue(const QString& text);
// Every kind in declaration order.
const QList<ClutterItem::Kind>& allClutterKinds();

}  // namespace tarnwick
