#pragma once

#include "views/map/MapView.h"
#include "views/map/SunburstLayout.h"

#include <QPolygonF>
#include <QUuid>

#include <vector>

namespace tarnwick {

// The focused folder as concentric rings around a central hole: its children
// make the innermost ring, their children the next, up to maxDepth rings.
// The pointer sets the hovered node (or clears it off the segments); a click
// on a segment selects its node, a click into the hole emits centerClicked().
// Only the segment under this view's pointer is highlighted.
class SunburstView : public MapView {
    Q_OBJECT

public:
    explicit SunburstView(QWidget* parent = nullptr);

    int maxDepth() const { return maxDepth_; }
    void setMaxDepth(int depth);

    // The geometry of the current size and the segments last laid out.
    SunburstGeometry sunburstGeometry() const { return SunburstGeometry::forSize(QSizeF(viewSize_), maxDepth_); }
    const SunburstLayout& layout();
    QUuid hoveredSegmentId() const { return hoverId_; }

signals:
    void centerClicked();

protected:
    bool updateLayout() override;
    ScanNodePtr hitTest(QPointF pos) const override;
    QRect boundsOf(const QUuid& id) const override;
    void drawContent(QPainter& painter, const QRectF& exposed, const QUuid& highlight) const override;
    QUuid highlightId() const override { return hoverId_; }
    void hoveredNodeChanged(const QUuid&, const QUuid&) override {}

    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void clicked(QPointF pressPos, QPointF releasePos) override;

private:
    void updateHover(QPointF pos);
    void setHoverId(const QUuid& id);

    int maxDepth_ = SunburstLayout::kDefaultMaxDepth;
    SunburstLayout layout_;
    // Per segment, around the origin: its outline as a polygon (no lazily
    // filled caches, so several threads may draw it at once).
    std::vector<QPolygonF> outlines_;
    std::vector<QRectF> bounds_;          // per segment, around the origin, with the outline
    bool dirty_ = true;
    QUuid laidOutId_;
    qint64 laidOutSize_ = 0;
    QSize viewSize_;
    QUuid hoverId_;
};

}  // namespace tarnwick
