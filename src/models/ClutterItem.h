#pragma once

#include <QList>
#include <QString>
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

    bool operator==(const ClutterItem&) const = default;
};

// The kind's title ("Similar Images").
QString rawValue(ClutterItem::Kind kind);
// Exactly the seven titles; anything else gives nothing.
std::optional<ClutterItem::Kind> clutterKindFromRawValue(const QString& text);
// Every kind in declaration order.
const QList<ClutterItem::Kind>& allClutterKinds();

}  // namespace tarnwick
