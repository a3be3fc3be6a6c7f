#pragma once

#include "views/map/BarsLayout.h"
#include "views/map/MapView.h"

class QScrollBar;

namespace tarnwick {

// The largest children of the focused folder as rows with proportional bars
// under a header of the folder's name and size, in a vertically scrolling
// column. A row is highlighted while the hovered node is its child; clicking
// a row selects its child.
class BarsView : public MapView {
    Q_OBJECT

public:
    explicit BarsView(QWidget* parent = nullptr);

    const BarsLayout& layout();
    QScrollBar* verticalScrollBar() const { return scrollBar_; }

protected:
    bool updateLayout() override;
    ScanNodePtr hitTest(QPointF pos) const override;
    QRect boundsOf(const QUuid& id) const override;
    void drawContent(QPainter& painter, const QRectF& exposed, const QUuid& highlight) const override;

    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    QScrollBar* scrollBar_;
    BarsLayout layout_;
    BarsMetrics metrics_;
    bool scrolls_ = false;     // the content is taller than the view
    double scrollOffset_ = 0;  // follows the scroll bar while it shows
};

}  // namespace tarnwick
