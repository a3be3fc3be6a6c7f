#include "models/ClutterItem.h"

namespace tarnwick {

QString rawValue(ClutterItem::Kind kind) {
    switch (kind) {
    case ClutterItem::Kind::duplicates: return QStringLiteral("Duplicates");
    case ClutterItem::Kind::similarImages: return QStringLiteral("Similar Images");
    case ClutterItem::Kind::downloads: return QStringLiteral("Old Downloads");
    case ClutterItem::Kind::largeOld: return QStringLiteral("Large & Old");
    case ClutterItem::Kind::screenshots: return QStringLiteral("Screenshots");
    case ClutterItem::Kind::trash: return QStringLiteral("Trash");
    case ClutterItem::Kind::mailDownloads: return QStringLiteral("Mail Downloads");
    }
    return {};
}

std::optional<ClutterItem::Kind> clutterKindFromRawValue(const QString& text) {
    for (ClutterItem::Kind kind : allClutterKinds()) {
        if (rawValue(kind) == text) return kind;
    }
    return std::nullopt;
}

const QList<ClutterItem::Kind>& allClutterKinds() {
    static const QList<ClutterItem::Kind> all{
        ClutterItem::Kind::duplicates, ClutterItem::Kind::similarImages, ClutterItem::Kind::downloads,
        ClutterItem::Kind::largeOld,   ClutterItem::Kind::screenshots,   ClutterItem::Kind::trash,
        ClutterItem::Kind::mailDownloads,
    };
    return all;
}

}  // namespace tarnwick
