#pragma once

#include "models/ScanNode.h"

#include <QColor>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <vector>

namespace tarnwick {

// The hit region of one ring arc: a band of lineWidth around the arc of the
// given radius from `from` to `to` (fractions of a full turn, starting at the
// top, clockwise on screen), with butt ends.
struct RingHitShape {
    double from = 0;
    double to = 0;
    double radius = 0;
    double lineWidth = 0;

    // The arc's centre line around the centre of rect.
    QPainterPath arc(const QRectF& rect) const;
    // The band itself (the arc widened with butt caps and mitred joins).
    QPainterPath path(const QRectF& rect) const;
    // Whether the band around `center` holds p, computed directly.
    bool contains(QPointF p, QPointF center) const;
};

// One drawn arc: a ranked child, its band and its colour.
struct RingArc {
    ScanNodePtr node;
    int rank = 0;
    RingHitShape shape;
    QColor color;
};

// The rings rendering of one folder level: the 12 largest children as arcs
// on four staggered circles around a central disc. Coordinates are the view's.
class RingsLayout {
public:
    static constexpr double kInset = 12;
    static constexpr double kMargin = 40;  // taken from the smaller side
    static constexpr int kMaxArcs = 12;
    static constexpr int kCircles = 4;

    void build(const ScanNodePtr& root, QSizeF viewSize);
    void clear();

    // False when the view is too small for its margins: nothing is drawn.
    bool visible() const { return side_ > 0; }
    QPointF center() const { return center_; }
    double side() const { return side_; }
    double discDiameter() const { return 0.28 * side_; }
    // The area the arcs' paths are built in (inside the inset).
    QRectF drawingArea() const { return area_; }
    const std::vector<RingArc>& arcs() const { return arcs_; }

    // The arc whose band holds p (the later one where two bands meet), or null.
    const RingArc* hitTest(QPointF p) const;

private:
    QPointF center_;
    QRectF area_;
    double side_ = 0;
    std::vector<RingArc> arcs_;
};

}  // namespace tarnwick
