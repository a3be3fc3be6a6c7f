#pragma once

#include <QPainterPath>
#include <QRectF>

namespace tarnwick {

// Outlines of the design system's shapes. Rounded rectangles use continuous corners: each corner
// is a chain of cubic curves that leaves the straight edge gradually (about 1.53 radii before the
// corner) so the curvature has no jump where edge and corner meet. When a rectangle is too small
// for that transition, the corner falls back to a circular arc of the given radius.
class TaldoShapes {
public:
    TaldoShapes() = delete;

    // How far along each edge a continuous corner of radius 1 reaches.
    static constexpr double continuousCornerReach = 1.52866483;

    static QPainterPath roundedRect(const QRectF& rect, double cornerRadius);
    // A rectangle with fully round ends along its shorter side.
    static QPainterPath capsule(const QRectF& rect);
};

} // namespace tarnwick
