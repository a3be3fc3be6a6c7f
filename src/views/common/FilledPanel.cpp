#include "views/common/FilledPanel.h"

#include "design/TaldoShapes.h"

#include <QPainter>

namespace tarnwick {

FilledPanel::FilledPanel(const QColor& fill, double cornerRadius, QWidget* parent)
    : QWidget(parent), fill_(fill), cornerRadius_(cornerRadius) {}

FilledPanel* FilledPanel::capsule(const QColor& fill, QWidget* parent) {
    return new FilledPanel(fill, -1, parent);
}

void FilledPanel::setBorder(const QColor& color) {
    border_ = color;
    update();
}

void FilledPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool bordered = border_.alpha() > 0;
    // A border of one pixel is stroked along the middle of the edge pixels.
    const QRectF area = bordered ? QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5) : QRectF(rect());
    const QPainterPath shape =
        cornerRadius_ < 0 ? TaldoShapes::capsule(area) : TaldoShapes::roundedRect(area, cornerRadius_);
    painter.fillPath(shape, fill_);
    if (!bordered) return;
    painter.setPen(QPen(border_, 1));
    painter.drawPath(shape);
}

}  // namespace tarnwick
