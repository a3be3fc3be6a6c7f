#pragma once

#include "models/ScanNode.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <vector>

namespace tarnwick {

// One tile of the treemap: a child of the focused folder and its frame in the
// drawing area (origin top left, y downwards).
struct TreemapTile {
    ScanNodePtr node;
    QRectF rect;
    // Drawn over by at least three later tiles on the same pixels (slivers
    // of a folder with very many children), so drawing it shows nothing.
    bool covered = false;
};

// Slice-and-dice tiles of one folder level. Each node takes its share of the
// sizes not yet placed (its size over its own and the later nodes' sizes) of
// the current extent of what is left, so every slot's area is in proportion
// to its size; the direction alternates after every odd index and the last
// tile takes the rest.
class TreemapLayout {
public:
    static constexpr double kInset = 12;  // view edge to drawing area
    static constexpr double kGap = 3;     // right of and below every tile
    static constexpr double kCornerRadius = 6;
    static constexpr double kLabelMinWidth = 70;   // labels need more than this
    static constexpr double kLabelMinHeight = 36;  // ... and more than this

    // The tiles of the nodes (sorted by size, largest first, stable) in an
    // area of the given size, in sorted order.
    static std::vector<TreemapTile> layout(std::vector<ScanNodePtr> nodes, QSizeF area);
    // The drawing area of a view of the given size, in view coordinates.
    static QRectF drawingArea(QSizeF viewSize);
    static bool showsLabel(const QRectF& tileRect);
    // Marks the tiles that later tiles cover on the same pixels.
    static void markCovered(std::vector<TreemapTile>& tiles);

    // Lays out root's children of positive size in the drawing area of a view.
    void build(const ScanNodePtr& root, QSizeF viewSize);
    void clear();

    const std::vector<TreemapTile>& tiles() const { return tiles_; }
    QRectF area() const { return area_; }

    // The tile under a point in view coordinates, or null (gaps hit nothing).
    const TreemapTile* hitTest(QPointF viewPoint) const;

private:
    static std::vector<TreemapTile> layout(std::vector<ScanNodePtr> nodes, QSizeF area,
                                           std::vector<QRectF>* remainders);

    std::vector<TreemapTile> tiles_;
    // What is left of the area after each tile; nested, so the slot holding a
    // point is found by binary search.
    std::vector<QRectF> remainders_;
    QRectF area_;
};

}  // namespace tarnwick
