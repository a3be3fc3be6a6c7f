#include "views/map/MapView.h"

#include "views/map/MapHover.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QSemaphore>
#include <QThreadPool>

#include <algorithm>
#include <cmath>
#include <utility>

namespace tarnwick {

namespace {

// Most bands a map image is cut into for drawing on several threads.
constexpr int kMaxBands = 4;

}  // namespace

MapView::MapView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
}

void MapView::setRoot(ScanNodePtr root) {
    if (root != root_) pointerItem_.reset();
    root_ = std::move(root);
    ensureLayout();
    update();
}

void MapView::setHovered(ScanNodePtr node) {
    if (node == hovered_) return;
    const ScanNodePtr previous = std::exchange(hovered_, std::move(node));
    const QUuid before = previous ? previous->id : QUuid();
    const QUuid after = hovered_ ? hovered_->id : QUuid();
    if (before != after) hoveredNodeChanged(before, after);
    emit hoveredChanged(hovered_);
}

QUuid MapView::highlightId() const {
    return hovered_ ? hovered_->id : QUuid();
}

ScanNodePtr MapView::nodeAt(QPointF pos) {
    ensureLayout();
    return hitTest(pos);
}

QRect MapView::itemBounds(const ScanNodePtr& node) {
    if (!node) return {};
    ensureLayout();
    return boundsOf(node->id);
}

MapView::LayoutChange MapView::takeLayoutChange() {
    const QUuid id = root_ ? root_->id : QUuid();
    const qint64 size = root_ ? root_->size : 0;
    if (laidOut_ && id == laidOutId_ && size == laidOutSize_ && this->size() == laidOutFor_) return LayoutChange::none;
    const bool newRoot = !laidOut_ || id != laidOutId_;
    laidOut_ = true;
    laidOutId_ = id;
    laidOutSize_ = size;
    laidOutFor_ = this->size();
    return newRoot ? LayoutChange::newRoot : LayoutChange::resized;
}

void MapView::ensureLayout() {
    if (updateLayout()) invalidateLayer();
}

void MapView::repaintItems(const QUuid& a, const QUuid& b) {
    ensureLayout();
    QRect dirty;
    if (!a.isNull()) dirty |= boundsOf(a);
    if (!b.isNull()) dirty |= boundsOf(b);
    if (!dirty.isEmpty()) update(dirty);
}

QImage MapView::renderArea(const QRect& area, const QUuid& highlight) const {
    const double ratio = devicePixelRatioF();
    QImage image(QSize(int(std::ceil(area.width() * ratio)), int(std::ceil(area.height() * ratio))),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    uchar* const bits = image.bits();
    const qsizetype stride = image.bytesPerLine();

    // Draws the rows [top, bottom) of the image through an image sharing
    // its memory; bands of rows are disjoint, so they may be drawn at once.
    const auto drawRows = [&, bits, stride](int top, int bottom) {
        QImage band(bits + top * stride, image.width(), bottom - top, stride, image.format());
        band.setDevicePixelRatio(ratio);
        QPainter painter(&band);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF rows(area.left(), area.top() + top / ratio, area.width(), (bottom - top) / ratio);
        painter.translate(-rows.topLeft());
        drawContent(painter, rows, highlight);
    };

    // Qt's raster engine hands every larger fill to the global thread pool
    // and waits for it, unless the painting thread is one of the pool's own.
    // For a map of many mid-sized shapes those hand-offs cost far more than
    // the pixels, so bands of the image are drawn on pool threads when free
    // (the view waits for them) and here only when none is.
    const int height = image.height();
    const int bands = std::clamp(height / 128, 1, kMaxBands);
    QSemaphore done;
    int started = 0;
    for (int i = 0; i < bands; ++i) {
        const int top = height * i / bands;
        const int bottom = height * (i + 1) / bands;
        if (QThreadPool::globalInstance()->tryStart([&done, &drawRows, top, bottom] {
                drawRows(top, bottom);
                done.release();
            }))
            ++started;
        else
            drawRows(top, bottom);
    }
    done.acquire(started);
    image.setDevicePixelRatio(ratio);
    return image;
}

void MapView::paintEvent(QPaintEvent* event) {
    ensureLayout();
    const QRect view = rect();
    if (view.isEmpty()) return;
    if (layer_.isNull() || layer_.deviceIndependentSize() != QSizeF(view.size()) ||
        layer_.devicePixelRatio() != devicePixelRatioF())
        layer_ = renderArea(view, QUuid());
    const QUuid highlight = highlightId();
    const QRect hot = highlight.isNull() ? QRect() : boundsOf(highlight) & view;
    QPainter painter(this);
    const QRegion fromLayer = event->region().subtracted(hot);
    if (!fromLayer.isEmpty()) {
        painter.setClipRegion(fromLayer);
        painter.drawImage(QPoint(0, 0), layer_);
    }
    const QRect fresh = (event->region() & hot).boundingRect();
    if (!fresh.isEmpty()) {
        painter.setClipRect(fresh);
        painter.drawImage(fresh.topLeft(), renderArea(fresh, highlight));
    }
}

void MapView::hideEvent(QHideEvent* event) {
    // A hidden rendering keeps its layout but not its image.
    invalidateLayer();
    QWidget::hideEvent(event);
}

void MapView::pointerOver(const ScanNodePtr& item) {
    if (item == pointerItem_) return;
    const ScanNodePtr left = std::exchange(pointerItem_, item);
    ScanNodePtr next = left ? MapHover::afterLeave(hovered_, left) : hovered_;
    if (item) next = item;
    setHovered(std::move(next));
}

void MapView::mouseMoveEvent(QMouseEvent* event) {
    pointerOver(nodeAt(event->position()));
}

void MapView::leaveEvent(QEvent*) {
    pointerOver(nullptr);
}

void MapView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    pressed_ = true;
    pressPos_ = event->position();
}

void MapView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressed_) return QWidget::mouseReleaseEvent(event);
    pressed_ = false;
    clicked(pressPos_, event->position());
}

void MapView::clicked(QPointF pressPos, QPointF releasePos) {
    const ScanNodePtr node = nodeAt(releasePos);
    if (node && node == nodeAt(pressPos)) emit selected(node);
}

}  // namespace tarnwick
