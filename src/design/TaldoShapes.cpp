#include "design/TaldoShapes.h"

#include <algorithm>

namespace tarnwick {

namespace {

// Control points of one continuous corner, as distances from the corner point along the two edges
// (first value along the edge the path arrives on, second along the edge it leaves on), in radii.
struct CornerPoint {
    double along;
    double across;
};

// Top-right corner, arriving along the top edge and leaving down the right edge.
void addContinuousCorner(QPainterPath& path, const QPointF& corner, const QPointF& inward, const QPointF& outward,
                         double r) {
    // `inward` points back along the arriving edge, `outward` along the leaving edge (unit vectors).
    auto at = [&](double a, double b) { return corner + inward * (a * r) + outward * (b * r); };
    path.cubicTo(at(1.08849323, 0.0), at(0.86840689, 0.0), at(0.66993427, 0.06549600));
    path.lineTo(at(0.63149399, 0.07491100));
    path.cubicTo(at(0.37282392, 0.16905899), at(0.16906013, 0.37282401), at(0.07491100, 0.63149399));
    path.lineTo(at(0.06549600, 0.66993427));
    path.cubicTo(at(0.0, 0.86840689), at(0.0, 1.08849323), at(0.0, 1.52866483));
}

} // namespace

QPainterPath TaldoShapes::roundedRect(const QRectF& rect, double cornerRadius) {
    QPainterPath path;
    const QRectF r = rect.normalized();
    const double radius = std::max(0.0, cornerRadius);
    if (radius <= 0.0 || r.isEmpty()) {
        path.addRect(r);
        return path;
    }
    const double half = std::min(r.width(), r.height()) / 2.0;
    if (radius * continuousCornerReach > half) {
        // Too small for the smooth transition: circular corners (capped at a capsule).
        const double capped = std::min(radius, half);
        path.addRoundedRect(r, capped, capped);
        return path;
    }
    const double reach = radius * continuousCornerReach;
    const QPointF left(-1, 0), right(1, 0), up(0, -1), down(0, 1);
    path.moveTo(r.left() + reach, r.top());
    path.lineTo(r.right() - reach, r.top());
    addContinuousCorner(path, r.topRight(), left, down, radius);
    path.lineTo(r.right(), r.bottom() - reach);
    addContinuousCorner(path, r.bottomRight(), up, left, radius);
    path.lineTo(r.left() + reach, r.bottom());
    addContinuousCorner(path, r.bottomLeft(), right, up, radius);
    path.lineTo(r.left(), r.top() + reach);
    addContinuousCorner(path, r.topLeft(), down, right, radius);
    path.closeSubpath();
    return path;
}

QPainterPath TaldoShapes::capsule(const QRectF& rect) {
    QPainterPath path;
    const QRectF r = rect.normalized();
    const double radius = std::min(r.width(), r.height()) / 2.0;
    path.addRoundedRect(r, radius, radius);
    return path;
}

} // namespace tarnwick
