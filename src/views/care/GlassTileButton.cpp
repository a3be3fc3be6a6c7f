#include "views/care/GlassTileButton.h"

#include "design/TaldoEffects.h"
#include "design/TaldoShapes.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace tarnwick {

GlassTileButton::GlassTileButton(double cornerRadius, const QColor& glow, QWidget* parent)
    : TaldoHoverGlass(cornerRadius, glow, false, parent) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
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

void GlassTileButton::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!event->isAutoRepeat()) emit clicked();
        event->accept();
        return;
    default:
        TaldoHoverGlass::keyPressEvent(event);
    }
}

void GlassTileButton::focusInEvent(QFocusEvent* event) {
    TaldoHoverGlass::focusInEvent(event);
    update();
}

void GlassTileButton::focusOutEvent(QFocusEvent* event) {
    TaldoHoverGlass::focusOutEvent(event);
    update();
}

void GlassTileButton::paintEvent(QPaintEvent*) {
    if (!hasFocus()) return;
    QPainter painter(this);
    TaldoEffects::drawFocusRing(painter, TaldoShapes::roundedRect(QRectF(rect()).adjusted(1, 1, -1, -1),
                                                                   cornerRadius() - 1));
}

}  // namespace tarnwick
