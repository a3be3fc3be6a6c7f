#include "views/care/GlassTileButton.h"

#include "design/TaldoShapes.h"

#include <QMouseEvent>

namespace tarnwick {

GlassTileButton::GlassTileButton(double cornerRadius, const QColor& glow, QWidget* parent)
    : TaldoHoverGlass(cornerRadius, glow, false, parent) {
    setCursor(Qt::PointingHandCursor);
}

bool GlassTileButton::hitTest(const QPointF& position) const {
    return TaldoShapes::roundedRect(QRectF(rect()), cornerRadius()).contains(position);
}

void GlassTileButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !hitTest(event->position())) {
        event->ignore();
        return;
    }
    pressed_ = true;
    event->accept();
}

void GlassTileButton::mouseReleaseEvent(QMouseEvent* event) {
    const bool wasPressed = pressed_;
    pressed_ = false;
    if (event->button() != Qt::LeftButton || !wasPressed) {
        event->ignore();
        return;
    }
    event->accept();
    if (hitTest(event->position())) emit clicked();
}

}  // namespace tarnwick
