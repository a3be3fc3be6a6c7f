#include "views/map/TreemapView.h"

#include "design/TaldoTheme.h"
#include "views/map/MapColors.h"
#include "views/map/MapPainting.h"

#include <QPainter>

#include <algorithm>

namespace tarnwick {

namespace {

constexpr double kBadgeInset = 12;   // from the drawing area's corner
constexpr double kBadgePadding = 10;
constexpr double kOutlineOpacity = 0.25;
// Tiles this thin are covered by their 1-point outline.
constexpr double kSliver = 2;

// The whole pixels nearest to a rectangle, at least one.
QRect pixels(const QRectF& rect) {
    const int left = qRound(rect.left()), top = qRound(rect.top());
    return QRect(left, top, std::max(1, qRound(rect.right()) - left), std::max(1, qRound(rect.bottom()) - top));
}

// The colour of `fill` with the black outline drawn over it.
QColor outlined(const QColor& fill) {
    const double alpha = fill.alphaF();
    const double total = 1 - (1 - alpha) * (1 - kOutlineOpacity);
    const double scale = total > 0 ? alpha * (1 - kOutlineOpacity) / total : 0;
    return QColor::fromRgbF(float(fill.redF() * scale), float(fill.greenF() * scale), float(fill.blueF() * scale),
                            float(total));
}

}  // namespace

TreemapView::TreemapView(QWidget* parent) : MapView(parent) {}

const TreemapLayout& TreemapView::layout() {
    ensureLayout();
    return layout_;
}

bool TreemapView::updateLayout() {
    if (takeLayoutChange() == LayoutChange::none) return false;
    layout_.build(root(), QSizeF(size()));
    return true;
}

ScanNodePtr TreemapView::hitTest(QPointF pos) const {
    const TreemapTile* tile = layout_.hitTest(pos);
    return tile ? tile->node : nullptr;
}

QRect TreemapView::boundsOf(const QUuid& id) const {
    for (const TreemapTile& tile : layout_.tiles())
        if (tile.node->id == id)
            return tile.rect.translated(layout_.area().topLeft()).adjusted(-1, -1, 1, 1).toAlignedRect();
    return {};
}

void TreemapView::drawContent(QPainter& painter, const QRectF& exposed, const QUuid& highlight) const {
    const QPointF origin = layout_.area().topLeft();
    const QRectF area = exposed.translated(-origin).adjusted(-1, -1, 1, 1);
    const QPen outline(QColor::fromRgbF(0, 0, 0, float(kOutlineOpacity)), 1);
    const QFont nameFont = MapPainting::font(11, QFont::DemiBold);
    const QFont sizeFont = MapPainting::font(10);
    const double nameHeight = MapPainting::lineHeight(nameFont);
    const double sizeHeight = MapPainting::lineHeight(sizeFont);
    const QColor white(Qt::white);
    const QColor dimWhite = MapColors::withOpacity(white, 0.85);

    painter.save();
    painter.translate(origin);
    for (const TreemapTile& tile : layout_.tiles()) {
        if (tile.covered || !tile.rect.intersects(area)) continue;
        const bool isHovered = !highlight.isNull() && tile.node->id == highlight;
        const QColor& colour = MapColors::forName(*tile.node);
        const QColor fill = isHovered ? colour : MapColors::withOpacity(colour, 0.9);
        if (std::min(tile.rect.width(), tile.rect.height()) <= kSliver) {
            // All outline: whole pixels in the colour fill and outline make.
            painter.fillRect(pixels(tile.rect.adjusted(-0.5, -0.5, 0.5, 0.5)), outlined(fill));
            continue;
        }
        painter.setPen(outline);
        painter.setBrush(fill);
        painter.drawRoundedRect(tile.rect, TreemapLayout::kCornerRadius, TreemapLayout::kCornerRadius);
        if (!TreemapLayout::showsLabel(tile.rect)) continue;
        const QRectF inner = tile.rect.adjusted(8, 8, -8, -8);
        MapPainting::drawLine(painter, QRectF(inner.left(), inner.top(), inner.width(), nameHeight),
                              Qt::AlignLeft | Qt::AlignVCenter, tile.node->name, nameFont, white);
        MapPainting::drawLine(painter, QRectF(inner.left(), inner.top() + nameHeight + 2, inner.width(), sizeHeight),
                              Qt::AlignLeft | Qt::AlignVCenter, MapPainting::byteText(tile.node->size), sizeFont,
                              dimWhite);
    }
    painter.restore();

    const ScanNodePtr& node = root();
    if (!node) return;
    // The badge: the folder's size over its name, on a translucent card.
    const QFont badgeSizeFont = MapPainting::font(16, QFont::Bold);
    const QFont badgeNameFont = MapPainting::font(11, QFont::Medium);
    const QString sizeText = MapPainting::byteText(node->size);
    const double widest = std::max(0.0, layout_.area().width() - 2 * kBadgeInset - 2 * kBadgePadding);
    const double textWidth = std::min(widest, std::max(MapPainting::textWidth(badgeSizeFont, sizeText),
                                                       MapPainting::textWidth(badgeNameFont, node->name)));
    const double lineA = MapPainting::lineHeight(badgeSizeFont);
    const double lineB = MapPainting::lineHeight(badgeNameFont);
    const QRectF badge(origin.x() + kBadgeInset, origin.y() + kBadgeInset, textWidth + 2 * kBadgePadding,
                       lineA + 2 + lineB + 2 * kBadgePadding);
    if (!badge.intersects(exposed)) return;
    painter.setPen(Qt::NoPen);
    painter.setBrush(TaldoTheme::panel());
    painter.drawRoundedRect(badge, 10, 10);
    const double left = badge.left() + kBadgePadding;
    const double top = badge.top() + kBadgePadding;
    MapPainting::drawLine(painter, QRectF(left, top, textWidth, lineA), Qt::AlignCenter, sizeText, badgeSizeFont,
                          TaldoTheme::accent());
    MapPainting::drawLine(painter, QRectF(left, top + lineA + 2, textWidth, lineB), Qt::AlignCenter, node->name,
                          badgeNameFont, TaldoTheme::textSecondary());
}

}  // namespace tarnwick
