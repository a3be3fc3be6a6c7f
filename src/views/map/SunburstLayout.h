#pragma once

#include "models/ScanNode.h"

#include <QColor>
#include <QPainterPath>
#include <QPointF>
#include <QSizeF>
#include <QUuid>

#include <vector>

namespace tarnwick {

// One ring segment of the sunburst. Angles are in degrees, measured from the
// positive x axis towards the positive y axis (clockwise on screen, -90 is up).
struct SunburstSegment {
    QUuid id;  // the node's id
    ScanNodePtr node;
    double startAngle = 0;
    double endAngle = 0;  // always more than 0.2 degrees after startAngle
    double innerRadius = 0;
    double outerRadius = 0;
    QColor color;
    int depth = 0;  // ring index, 0 innermost

    // The ring segment's outline around the origin: outer arc clockwise,
    // inner arc back, closed.
    QPainterPath outline() const;
};

// The sunburst's geometry for a view size: centre, central hole, outer radius
// and ring width.
struct SunburstGeometry {
    QPointF center;
    double hole = 0;
    double outerRadius = 0;
    double ringWidth = 0;

    static SunburstGeometry forSize(QSizeF size, int maxDepth);
};

// The laid-out rings of a sunburst: the children of the root make the
// innermost ring, their children the next, up to maxDepth rings. Built once
// per root, root size or view size; drawing and hit-testing read it.
class SunburstLayout {
public:
    static constexpr int kDefaultMaxDepth = 4;
    static constexpr double kSkipSweep = 0.15;    // children this narrow are skipped
    static constexpr double kMinimumSweep = 0.2;  // segments must be wider than this
    static constexpr double kAngleSlack = 0.01;   // hit-test slack in degrees
    static constexpr double kRadiusSlack = 0.5;   // hit-test slack in points

    // Replaces the segments by the layout of root's subtree over the full
    // turn from -90 to 270 degrees. The root itself gets no segment.
    void build(const ScanNodePtr& root, double hole, double ringWidth, int maxDepth);
    void clear();

    // Appends the segments of node's subtree between two angles, pre-order.
    static void layout(const ScanNode& node, double start, double end, int depth, int maxDepth,
                       double hole, double ringWidth, qint64 colorIndex,
                       std::vector<SunburstSegment>& into);

    const std::vector<SunburstSegment>& segments() const { return segments_; }
    double hole() const { return hole_; }
    double ringWidth() const { return ringWidth_; }

    // The segment under p, or null: none at or inside the hole; otherwise the
    // deepest segment whose ring (within 0.5 points) and angle range (within
    // 0.01 degrees) hold p, the first in order among equal depths.
    const SunburstSegment* hitTest(QPointF p, QPointF center, double hole) const;

    // The point's angle in degrees within [-90, 270).
    static double angleOf(QPointF p, QPointF center);

private:
    std::vector<SunburstSegment> segments_;
    // Per ring, the indexes of its segments in angle order (array order).
    std::vector<std::vector<int>> rings_;
    double hole_ = 0;
    double ringWidth_ = 0;
};

}  // namespace tarnwick
