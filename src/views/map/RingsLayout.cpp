#include "views/map/RingsLayout.h"

#include "views/map/MapColors.h"
#include "views/map/MapRanking.h"

#include <QPainterPathStroker>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tarnwick {

QPainterPath RingHitShape::arc(const QRectF& rect) const {
    const QPointF c = rect.center();
    const QRectF circle(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius);
    // Qt's angles grow counter-clockwise on screen: negate ours.
    const double start = from * 360 - 90;
    const double sweep = (to - from) * 360;
    QPainterPath path;
    path.arcMoveTo(circle, -start);
    path.arcTo(circle, -start, -sweep);
    return path;
}

QPainterPath RingHitShape::path(const QRectF& rect) const {
    QPainterPathStroker stroker;
    stroker.setWidth(lineWidth);
    stroker.setCapStyle(Qt::FlatCap);
    stroker.setJoinStyle(Qt::MiterJoin);
    stroker.setMiterLimit(10);
    return stroker.createStroke(arc(rect));
}

bool RingHitShape::contains(QPointF p, QPointF center) const {
    const double dx = p.x() - center.x(), dy = p.y() - center.y();
    if (std::abs(std::hypot(dx, dy) - radius) > lineWidth / 2) return false;
    // Turn fraction from the top, clockwise on screen, in [0, 1).
    double turn = (std::atan2(dy, dx) * 180.0 / std::numbers::pi + 90.0) / 360.0;
    if (turn < 0) turn += 1;
    if (turn >= 1) turn -= 1;
    // The top is both 0 and a full turn.
    return (turn >= from && turn <= to) || (turn + 1 >= from && turn + 1 <= to);
}

void RingsLayout::clear() {
    arcs_.clear();
    side_ = 0;
}

void RingsLayout::build(const ScanNodePtr& root, QSizeF viewSize) {
    clear();
    const double w = viewSize.width() - 2 * kInset;
    const double h = viewSize.height() - 2 * kInset;
    area_ = QRectF(kInset, kInset, std::max(0.0, w), std::max(0.0, h));
    center_ = area_.center();
    // A view smaller than its margins draws nothing rather than negative sizes.
    const double side = std::min(w, h) - kMargin;
    if (!(side > 0)) return;
    side_ = side;
    if (!root) return;

    double total = MapRanking::rankedTotal(*root);
    if (total <= 1) total = 1;
    const std::vector<ScanNodePtr> nodes = MapRanking::ranked(*root, kMaxArcs);
    arcs_.reserve(nodes.size());
    double before = 0;
    for (size_t k = 0; k < nodes.size(); ++k) {
        const double diameter = (double(k % kCircles) * 0.08 + 0.34) * side_;
        const double from = before / total;
        before += double(nodes[k]->size);
        const double to = from + double(nodes[k]->size) / total;
        arcs_.push_back({nodes[k], int(k), RingHitShape{from, to, diameter / 2, 0.055 * side_},
                         MapColors::forRank(*nodes[k], k)});
    }
}

const RingArc* RingsLayout::hitTest(QPointF p) const {
    // Later arcs lie over earlier ones where their bands meet.
    for (auto it = arcs_.rbegin(); it != arcs_.rend(); ++it)
        if (it->shape.contains(p, center_)) return &*it;
    return nullptr;
}

}  // namespace tarnwick
