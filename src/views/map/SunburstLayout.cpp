#include "views/map/SunburstLayout.h"

#include "views/map/MapColors.h"

#include <QRectF>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tarnwick {

namespace {

bool descends(const ScanNode& node) {
    return !node.children.empty() && (node.kind == NodeKind::dir || node.kind == NodeKind::smallGroup);
}

QRectF circle(double radius) {
    return QRectF(-radius, -radius, 2 * radius, 2 * radius);
}

}  // namespace

QPainterPath SunburstSegment::outline() const {
    // Qt's arcs grow counter-clockwise on screen, ours clockwise: negate.
    const double sweep = endAngle - startAngle;
    QPainterPath path;
    path.arcMoveTo(circle(outerRadius), -startAngle);
    path.arcTo(circle(outerRadius), -startAngle, -sweep);
    path.arcTo(circle(innerRadius), -endAngle, sweep);
    path.closeSubpath();
    return path;
}

SunburstGeometry SunburstGeometry::forSize(QSizeF size, int maxDepth) {
    SunburstGeometry g;
    const double side = std::max(0.0, std::min(size.width(), size.height()));
    g.center = QPointF(size.width() / 2, size.height() / 2);
    g.hole = 0.14 * side;
    g.outerRadius = 0.48 * side;
    g.ringWidth = maxDepth > 0 ? (g.outerRadius - g.hole) / maxDepth : 0;
    return g;
}

void SunburstLayout::clear() {
    segments_.clear();
    rings_.clear();
}

void SunburstLayout::build(const ScanNodePtr& root, double hole, double ringWidth, int maxDepth) {
    clear();
    hole_ = hole;
    ringWidth_ = ringWidth;
    if (!root) return;
    layout(*root, -90, 270, 0, maxDepth, hole, ringWidth, 0, segments_);
    for (int i = 0; i < int(segments_.size()); ++i) {
        const int depth = segments_[i].depth;
        if (depth >= int(rings_.size())) rings_.resize(depth + 1);
        rings_[depth].push_back(i);
    }
}

void SunburstLayout::layout(const ScanNode& node, double start, double end, int depth, int maxDepth,
                            double hole, double ringWidth, qint64 colorIndex,
                            std::vector<SunburstSegment>& into) {
    if (depth >= maxDepth) return;
    // Sized children only; when none has a size, all of them with weight 1.
    std::vector<const ScanNodePtr*> taken;
    taken.reserve(node.children.size());
    for (const ScanNodePtr& child : node.children)
        if (child->size > 0) taken.push_back(&child);
    if (taken.empty())
        for (const ScanNodePtr& child : node.children) taken.push_back(&child);
    if (taken.empty()) return;

    double total = 0;
    for (const ScanNodePtr* child : taken) total += double(std::max<qint64>((*child)->size, 1));
    total = std::max(total, 1.0);

    const double span = end - start;
    const double inner = hole + depth * ringWidth;
    double cursor = start;
    for (size_t i = 0; i < taken.size(); ++i) {
        const ScanNodePtr& childPtr = *taken[i];
        const ScanNode& child = *childPtr;
        const double sweep = double(std::max<qint64>(child.size, 1)) / total * span;
        if (sweep <= kSkipSweep) {
            cursor += sweep;
            continue;
        }
        const double segmentEnd = std::min(end, cursor + sweep);
        if (segmentEnd > cursor + kMinimumSweep) {
            into.push_back(SunburstSegment{child.id, childPtr, cursor, segmentEnd, inner, inner + ringWidth,
                                           MapColors::forIndex(child, colorIndex + qint64(i)), depth});
            if (descends(child))
                layout(child, cursor, segmentEnd, depth + 1, maxDepth, hole, ringWidth,
                       colorIndex + 3 * qint64(i), into);
        }
        cursor = segmentEnd;
    }
}

double SunburstLayout::angleOf(QPointF p, QPointF center) {
    double angle = std::atan2(p.y() - center.y(), p.x() - center.x()) * 180.0 / std::numbers::pi;
    if (angle < -90) angle += 360;
    return angle;
}

const SunburstSegment* SunburstLayout::hitTest(QPointF p, QPointF center, double hole) const {
    const double d = std::hypot(p.x() - center.x(), p.y() - center.y());
    if (d <= hole) return nullptr;
    const double angle = angleOf(p, center);
    // Deepest ring first; within a ring the segments are in angle order and
    // do not overlap, so the first one ending at or after the angle decides.
    for (int depth = int(rings_.size()) - 1; depth >= 0; --depth) {
        const std::vector<int>& ring = rings_[depth];
        if (ring.empty()) continue;
        const SunburstSegment& any = segments_[ring.front()];
        if (d < any.innerRadius - kRadiusSlack || d > any.outerRadius + kRadiusSlack) continue;
        const auto it = std::lower_bound(ring.begin(), ring.end(), angle, [this](int index, double a) {
            return segments_[index].endAngle + kAngleSlack < a;
        });
        if (it == ring.end()) continue;
        const SunburstSegment& candidate = segments_[*it];
        if (candidate.startAngle - kAngleSlack <= angle) return &candidate;
    }
    return nullptr;
}

}  // namespace tarnwick
