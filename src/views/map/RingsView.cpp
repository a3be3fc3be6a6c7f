#include "views/map/RingsView.h"

#include "design/TaldoTheme.h"
#include "views/map/MapColors.h"
#include "views/map/MapPainting.h"

#include <QPainter>

namespace tarnwick {

RingsView::RingsView(QWidget* parent) : MapView(parent) {}

const RingsLayout& RingsView::layout() {
    ensureLayout();
    return layout_;
}

bool RingsView::updateLayout() {
    if (takeLayoutChange() == LayoutChange::none) return false;
    layout_.build(root(), QSizeF(size()));
    return true;
}

ScanNodePtr RingsView::hitTest(QPointF pos) const {
    const RingArc* arc = layout_.hitTest(pos);
    return arc ? arc->node : nullptr;
}

QRect RingsView::boundsOf(const QUuid& id) const {
    for (const RingArc& arc : layout_.arcs()) {
        if (arc.node->id != id) continue;
        const double half = arc.shape.lineWidth / 2 + 1;
        return arc.shape.arc(layout_.drawingArea()).controlPointRect().adjusted(-half, -half, half, half).toAlignedRect();
    }
    return {};
}

void RingsView::drawContent(QPainter& painter, const QRectF&, const QUuid& highlight) const {
    if (!layout_.visible()) return;
    const QPointF c = layout_.center();
    const double side = layout_.side();

    const double disc = layout_.discDiameter() / 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(TaldoTheme::panel());
    painter.drawEllipse(c, disc, disc);
    if (const ScanNodePtr& node = root()) {
        const QFont sizeFont = MapPainting::font(14, QFont::Bold);
        const QFont nameFont = MapPainting::font(10);
        const QString sizeText = MapPainting::byteText(node->size);
        const double a = MapPainting::lineHeight(sizeFont);
        const double b = MapPainting::lineHeight(nameFont);
        const double top = c.y() - (a + 2 + b) / 2;
        const double sizeWidth = MapPainting::textWidth(sizeFont, sizeText);
        MapPainting::drawLine(painter, QRectF(c.x() - sizeWidth / 2 - 1, top, sizeWidth + 2, a), Qt::AlignCenter,
                              sizeText, sizeFont, TaldoTheme::accent());
        const double nameWidth = 0.22 * side;
        MapPainting::drawLine(painter, QRectF(c.x() - nameWidth / 2, top + a + 2, nameWidth, b), Qt::AlignCenter,
                              node->name, nameFont, TaldoTheme::textSecondary());
    }

    painter.setBrush(Qt::NoBrush);
    for (const RingArc& arc : layout_.arcs()) {
        const bool isHovered = !highlight.isNull() && arc.node->id == highlight;
        QPen pen(isHovered ? arc.color : MapColors::withOpacity(arc.color, 0.88), arc.shape.lineWidth);
        pen.setCapStyle(Qt::FlatCap);
        painter.setPen(pen);
        painter.drawPath(arc.shape.arc(layout_.drawingArea()));
    }
}

}  // namespace tarnwick
