#pragma once

#include "views/map/MapView.h"
#include "views/map/TreemapLayout.h"

namespace tarnwick {

// The children of the focused folder as rounded tiles sharing the view's
// area, with a badge of the folder's size and name in the top-left corner.
// A tile is highlighted while the hovered node (from the pointer or from
// setHovered) is its node; clicking a tile selects its node.
class TreemapView : public MapView {
    Q_OBJECT

public:
    explicit TreemapView(QWidget* parent = nullptr);

    const TreemapLayout& layout();

protected:
    bool updateLayout() override;
    ScanNodePtr hitTest(QPointF pos) const override;
    QRect boundsOf(const QUuid& id) const override;
    void drawContent(QPainter& painter, const QRectF& exposed, const QUuid& highlight) const override;

private:
    TreemapLayout layout_;
};

}  // namespace tarnwick
