#include "views/map/SunburstView.h"

#include "design/TaldoTheme.h"
#include "views/map/MapColors.h"
#include "views/map/MapPainting.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tarnwick {

SunburstView::SunburstView(QWidget* parent) : MapView(parent) {}

void SunburstView::setMaxDepth(int depth) {
    if (depth == maxDepth_) return;
    maxDepth_ = depth;
    dirty_ = true;
    update();
}

const SunburstLayout& SunburstView::layout() {
    ensureLayout();
    return layout_;
}

bool SunburstView::updateLayout() {
    const bool resized = size() != viewSize_;
    viewSize_ = size();
    const SunburstGeometry g = sunburstGeometry();
    const ScanNodePtr& node = root();
    const QUuid id = node ? node->id : QUuid();
    const qint64 size = node ? node->size : 0;
    // Any change of the radii counts, a change of the height alone included:
    // the rings must fit the centre disc drawn at the current size.
    if (!dirty_ && id == laidOutId_ && size == laidOutSize_ && g.hole == layout_.hole() &&
        g.ringWidth == layout_.ringWidth())
        return resized;
    dirty_ = false;
    laidOutId_ = id;
    laidOutSize_ = size;
    layout_.build(node, g.hole, g.ringWidth, maxDepth_);
    outlines_.clear();
    bounds_.clear();
    outlines_.reserve(layout_.segments().size());
    bounds_.reserve(layout_.segments().size());
    for (const SunburstSegment& segment : layout_.segments()) {
        outlines_.push_back(segment.outline().toFillPolygon());
        // Room for the widest outline (the hovered one) and antialiasing.
        bounds_.push_back(outlines_.back().boundingRect().adjusted(-2, -2, 2, 2));
    }
    return true;
}

ScanNodePtr SunburstView::hitTest(QPointF pos) const {
    const SunburstGeometry g = sunburstGeometry();
    const SunburstSegment* hit = layout_.hitTest(pos, g.center, g.hole);
    return hit ? hit->node : nullptr;
}

QRect SunburstView::boundsOf(const QUuid& id) const {
    const std::vector<SunburstSegment>& segments = layout_.segments();
    for (size_t i = 0; i < segments.size(); ++i)
        if (segments[i].id == id) return bounds_[i].translated(sunburstGeometry().center).toAlignedRect();
    return {};
}

void SunburstView::drawContent(QPainter& painter, const QRectF& exposed, const QUuid& highlight) const {
    const SunburstGeometry g = sunburstGeometry();
    painter.save();
    painter.translate(g.center);
    const QRectF area = exposed.translated(-g.center);
    const QPen plainPen(QColor::fromRgbF(0, 0, 0, 0.22f), 0.6);
    const QPen hoveredPen(QColor::fromRgbF(1, 1, 1, 0.55f), 1.5);
    const std::vector<SunburstSegment>& segments = layout_.segments();
    for (size_t i = 0; i < segments.size(); ++i) {
        if (!bounds_[i].intersects(area)) continue;
        const bool hovered = !highlight.isNull() && segments[i].id == highlight;
        painter.setPen(hovered ? hoveredPen : plainPen);
        painter.setBrush(hovered ? segments[i].color : MapColors::withOpacity(segments[i].color, 0.95));
        painter.drawPolygon(outlines_[i]);
    }
    painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.12f), 1));
    painter.setBrush(TaldoTheme::background());
    painter.drawEllipse(QPointF(0, 0), g.hole, g.hole);
    painter.restore();

    const ScanNodePtr& node = root();
    if (!node) return;
    // Centre labels: size over name, centred on the view.
    const QFont sizeFont = MapPainting::font(std::max(14.0, 0.28 * g.hole), QFont::Bold);
    const QFont nameFont = MapPainting::font(std::max(10.0, 0.16 * g.hole), QFont::Medium);
    const double width = g.hole * 1.7;
    const double sizeHeight = MapPainting::lineHeight(sizeFont);
    const double nameHeight = MapPainting::lineHeight(nameFont);
    const double top = g.center.y() - (sizeHeight + 3 + nameHeight) / 2;
    const double left = g.center.x() - width / 2;
    MapPainting::drawLine(painter, QRectF(left, top, width, sizeHeight), Qt::AlignCenter,
                          MapPainting::byteText(node->size), sizeFont, TaldoTheme::accent());
    MapPainting::drawLine(painter, QRectF(left, top + sizeHeight + 3, width, nameHeight), Qt::AlignCenter,
                          node->name, nameFont, TaldoTheme::textSecondary());

    // The notice below the centre.
    QString notice;
    QFont noticeFont;
    QColor noticeColour;
    if (node->children.empty()) {
        notice = QStringLiteral("Empty or unreadable");
        noticeFont = MapPainting::font(13);
        noticeColour = TaldoTheme::textSecondary();
    } else if (node->size == 0) {
        notice = QStringLiteral("No measurable size \u2014 it may not be readable for you");
        noticeFont = MapPainting::font(12);
        noticeColour = TaldoTheme::warning();
    }
    if (!notice.isEmpty()) {
        const double noticeHeight = MapPainting::lineHeight(noticeFont);
        const QRectF rect(0, g.center.y() + 0.55 * g.outerRadius - noticeHeight / 2, viewSize_.width(),
                          noticeHeight);
        MapPainting::drawLine(painter, rect, Qt::AlignCenter, notice, noticeFont, noticeColour);
    }
}

void SunburstView::setHoverId(const QUuid& id) {
    if (id == hoverId_) return;
    const QUuid previous = std::exchange(hoverId_, id);
    repaintItems(previous, id);
}

void SunburstView::updateHover(QPointF pos) {
    ensureLayout();
    const SunburstGeometry g = sunburstGeometry();
    const SunburstSegment* hit = layout_.hitTest(pos, g.center, g.hole);
    setHoverId(hit ? hit->id : QUuid());
    setHovered(hit ? hit->node : nullptr);
}

void SunburstView::mouseMoveEvent(QMouseEvent* event) {
    updateHover(event->position());
}

void SunburstView::leaveEvent(QEvent*) {
    setHoverId(QUuid());
    setHovered(nullptr);
}

void SunburstView::clicked(QPointF, QPointF releasePos) {
    ensureLayout();
    const SunburstGeometry g = sunburstGeometry();
    if (std::hypot(releasePos.x() - g.center.x(), releasePos.y() - g.center.y()) <= g.hole) {
        emit centerClicked();
        return;
    }
    if (ScanNodePtr node = nodeAt(releasePos)) emit selected(node);
}

}  // namespace tarnwick
