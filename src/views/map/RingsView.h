#pragma once

#include "views/map/MapView.h"
#include "views/map/RingsLayout.h"

namespace tarnwick {

// The 12 largest children of the focused folder as arcs on four staggered
// circles around a disc with the folder's size and name. Each arc takes the
// pointer and clicks within its band; an arc is highlighted while the hovered
// node is its child. A view smaller than its margins draws nothing.
class RingsView : public MapView {
    Q_OBJECT

public:
    explicit RingsView(QWidget* parent = nullptr);

    const RingsLayout& layout();

protected:
    bool updateLayout() override;
    ScanNodePtr hitTest(QPointF pos) const override;
    QRect boundsOf(const QUuid& id) const override;
    void drawContent(QPainter& painter, const QRectF& exposed, const QUuid& highlight) const override;

private:
    RingsLayout layout_;
};

}  // namespace tarnwick
