#pragma once

#include "models/ScanNode.h"

#include <QImage>
#include <QSize>
#include <QUuid>
#include <QWidget>

namespace tarnwick {

// Common ground of the four map renderings: the focused folder they draw
// (never changed by them), the hovered node shared two-way with the screen,
// and the selection of a clicked node.
//
// The hovered node: setHovered() and the pointer both change it, and
// hoveredChanged() is emitted whenever it changes, so a screen can bind it
// to its own state in both directions. selected() reports a click on a node.
//
// Drawing: a rendering draws its items once per layout into a layer image;
// a paint copies the layer and draws afresh only the highlighted item's
// area, so a change of the highlight redraws two items, not the map.
class MapView : public QWidget {
    Q_OBJECT

public:
    ScanNodePtr root() const { return root_; }
    // Shows another folder (or none). The same node again changes nothing
    // unless its size changed.
    void setRoot(ScanNodePtr root);

    ScanNodePtr hovered() const { return hovered_; }
    void setHovered(ScanNodePtr node);

    // The node drawn at a point of the view, or null.
    ScanNodePtr nodeAt(QPointF pos);
    // The part of the view a node's item covers, outline included; empty
    // when the node is not drawn.
    QRect itemBounds(const ScanNodePtr& node);

signals:
    void hoveredChanged(tarnwick::ScanNodePtr node);
    void selected(tarnwick::ScanNodePtr node);

protected:
    explicit MapView(QWidget* parent = nullptr);

    // Lays out again when the root, its size or the view's size changed;
    // returns true when it did.
    virtual bool updateLayout() = 0;
    virtual ScanNodePtr hitTest(QPointF pos) const = 0;
    virtual QRect boundsOf(const QUuid& id) const = 0;
    // Draws every item meeting `exposed`, the one with id `highlight` in its
    // highlighted look. Reads only the layout and the root: it may run on a
    // worker thread while the view waits.
    virtual void drawContent(QPainter& painter, const QRectF& exposed, const QUuid& highlight) const = 0;
    // The id of the item drawn highlighted: by default the hovered node's.
    virtual QUuid highlightId() const;
    // Repaints what a change of the hovered node changes: by default the
    // items of both.
    virtual void hoveredNodeChanged(const QUuid& before, const QUuid& after) { repaintItems(before, after); }

    // What changed since the last call: nothing, the root's size or the
    // view's size (`resized`), or the root itself (`newRoot`; the first call
    // counts as one). For updateLayout() of renderings laid out to the view.
    enum class LayoutChange { none, resized, newRoot };
    LayoutChange takeLayoutChange();

    // Calls updateLayout() and drops the layer when the layout changed.
    void ensureLayout();
    // The layer must be drawn again (the layout or the scroll position moved).
    void invalidateLayer() { layer_ = QImage(); }
    // Repaints the items of two ids.
    void repaintItems(const QUuid& a, const QUuid& b);

    // One item under the pointer at a time, each tracking the pointer on its
    // own: entering sets the hovered node, leaving clears it only while it
    // still holds the item's node.
    void pointerOver(const ScanNodePtr& item);

    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

    // A single click: pressed and released over the same node.
    virtual void clicked(QPointF pressPos, QPointF releasePos);

private:
    // Draws the content of `area` into a transparent image of that size.
    QImage renderArea(const QRect& area, const QUuid& highlight) const;

    ScanNodePtr root_;
    ScanNodePtr hovered_;
    ScanNodePtr pointerItem_;
    QImage layer_;
    QPointF pressPos_;
    bool pressed_ = false;
    bool laidOut_ = false;
    QUuid laidOutId_;
    qint64 laidOutSize_ = 0;
    QSize laidOutFor_;
};

}  // namespace tarnwick
