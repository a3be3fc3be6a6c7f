#include "views/map/BarsView.h"

#include "design/TaldoTheme.h"
#include "views/map/MapColors.h"
#include "views/map/MapPainting.h"

#include <QCoreApplication>
#include <QCursor>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace tarnwick {

namespace {

QFont headerNameFont() { return MapPainting::font(13, QFont::DemiBold); }
QFont headerSizeFont() { return MapPainting::font(13, QFont::Bold); }
QFont rowNameFont() { return MapPainting::font(12, QFont::DemiBold); }
QFont rowSizeFont() { return MapPainting::font(11, QFont::DemiBold); }

void drawCapsule(QPainter& painter, const QRectF& rect, const QColor& colour) {
    const double radius = std::min(rect.width(), rect.height()) / 2;
    painter.setBrush(colour);
    painter.drawRoundedRect(rect, radius, radius);
}

}  // namespace

BarsView::BarsView(QWidget* parent) : MapView(parent), scrollBar_(new QScrollBar(Qt::Vertical, this)) {
    scrollBar_->hide();
    scrollBar_->setSingleStep(20);
    connect(scrollBar_, &QScrollBar::valueChanged, this, [this](int value) {
        scrollOffset_ = scrolls_ ? value : 0;
        invalidateLayer();
        update();
        // Rows move under a still pointer.
        if (underMouse()) pointerOver(nodeAt(mapFromGlobal(QCursor::pos())));
    });
    metrics_.headerHeight = std::max(MapPainting::lineHeight(headerNameFont()),
                                     MapPainting::lineHeight(headerSizeFont()));
    metrics_.nameLineHeight = std::max(MapPainting::lineHeight(rowNameFont()),
                                       MapPainting::lineHeight(rowSizeFont()));
}

const BarsLayout& BarsView::layout() {
    ensureLayout();
    return layout_;
}

void BarsView::resizeEvent(QResizeEvent*) {
    ensureLayout();
}

bool BarsView::updateLayout() {
    const LayoutChange change = takeLayoutChange();
    if (change == LayoutChange::none) return false;
    const ScanNodePtr& node = root();
    // The content height does not depend on the width, so whether the
    // scroll bar shows is settled first.
    const int barWidth = scrollBar_->sizeHint().width();
    layout_.build(node, width(), metrics_);
    const int overflow = int(std::ceil(layout_.contentHeight())) - height();
    const bool scrolls = overflow > 0;
    if (scrolls) layout_.build(node, width() - barWidth, metrics_);
    const QSignalBlocker quiet(scrollBar_);
    scrolls_ = scrolls;
    scrollBar_->setVisible(scrolls);
    scrollBar_->setGeometry(width() - barWidth, 0, barWidth, height());
    scrollBar_->setRange(0, std::max(0, overflow));
    scrollBar_->setPageStep(std::max(1, height()));
    if (change == LayoutChange::newRoot) scrollBar_->setValue(0);
    scrollOffset_ = scrolls ? scrollBar_->value() : 0;
    return true;
}

void BarsView::wheelEvent(QWheelEvent* event) {
    if (!scrolls_) return event->ignore();
    QCoreApplication::sendEvent(scrollBar_, event);
}

ScanNodePtr BarsView::hitTest(QPointF pos) const {
    if (scrolls_ && pos.x() >= scrollBar_->x()) return nullptr;
    const BarsRow* row = layout_.hitTest(pos + QPointF(0, scrollOffset_));
    return row ? row->node : nullptr;
}

QRect BarsView::boundsOf(const QUuid& id) const {
    for (const BarsRow& row : layout_.rows())
        if (row.node->id == id) return row.rect.translated(0, -scrollOffset_).adjusted(-1, -1, 1, 1).toAlignedRect();
    return {};
}

void BarsView::drawContent(QPainter& painter, const QRectF& exposed, const QUuid& highlight) const {
    painter.save();
    painter.translate(0, -scrollOffset_);
    const QRectF visible = exposed.translated(0, scrollOffset_);

    if (const ScanNodePtr& node = root(); node && layout_.header().intersects(visible)) {
        const QRectF header = layout_.header();
        const QFont sizeFont = headerSizeFont();
        const QString sizeText = MapPainting::byteText(node->size);
        const double sizeWidth = MapPainting::textWidth(sizeFont, sizeText);
        MapPainting::drawLine(painter, header.adjusted(0, 0, -sizeWidth - 8, 0), Qt::AlignLeft | Qt::AlignVCenter,
                              node->name, headerNameFont(), TaldoTheme::textPrimary());
        MapPainting::drawLine(painter, header, Qt::AlignRight | Qt::AlignVCenter, sizeText, sizeFont,
                              TaldoTheme::accent());
    }

    const QColor hoveredCard = MapColors::withOpacity(TaldoTheme::accentTeal(), 0.12);
    const QColor track = MapColors::withOpacity(TaldoTheme::panelBorder(), 0.35);
    const QFont nameFont = rowNameFont();
    const QFont sizeFont = rowSizeFont();
    for (const BarsRow& row : layout_.rows()) {
        if (!row.rect.intersects(visible)) continue;
        const bool isHovered = !highlight.isNull() && row.node->id == highlight;
        painter.setPen(Qt::NoPen);
        painter.setBrush(isHovered ? hoveredCard : TaldoTheme::panel());
        painter.drawRoundedRect(row.rect, BarsLayout::kCornerRadius, BarsLayout::kCornerRadius);
        const QString sizeText = MapPainting::byteText(row.node->size);
        const double sizeWidth = MapPainting::textWidth(sizeFont, sizeText);
        MapPainting::drawLine(painter, row.line.adjusted(0, 0, -sizeWidth - 8, 0), Qt::AlignLeft | Qt::AlignVCenter,
                              row.node->name, nameFont, TaldoTheme::textPrimary());
        MapPainting::drawLine(painter, row.line, Qt::AlignRight | Qt::AlignVCenter, sizeText, sizeFont,
                              TaldoTheme::textSecondary());
        painter.setPen(Qt::NoPen);
        drawCapsule(painter, row.track, track);
        drawCapsule(painter, row.bar, row.color);
    }
    painter.restore();
}

}  // namespace tarnwick
