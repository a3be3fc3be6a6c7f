#include "design/TaldoAtmosphereBackground.h"

#include "design/TaldoTheme.h"

#include <QPainter>
#include <QRadialGradient>

namespace tarnwick {

namespace {

void glow(QPainter& painter, const QRectF& rect, QPointF unitCentre, double startRadius, double endRadius,
          double opacity) {
    const QPointF centre(rect.left() + rect.width() * unitCentre.x(), rect.top() + rect.height() * unitCentre.y());
    // Full colour inside the start radius, fading to clear at the end radius.
    QRadialGradient gradient(centre, endRadius);
    const double start = endRadius > 0 ? std::clamp(startRadius / endRadius, 0.0, 1.0) : 0.0;
    gradient.setColorAt(0.0, TaldoTheme::withOpacity(TaldoTheme::accentTeal(), opacity));
    gradient.setColorAt(start, TaldoTheme::withOpacity(TaldoTheme::accentTeal(), opacity));
    gradient.setColorAt(1.0, TaldoTheme::withOpacity(TaldoTheme::accentTeal(), 0.0));
    painter.fillRect(rect, gradient);
}

} // namespace

TaldoAtmosphereBackground::TaldoAtmosphereBackground(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TaldoAtmosphereBackground::paint(QPainter& painter, const QRectF& rect) {
    painter.save();
    painter.fillRect(rect, TaldoTheme::withOpacity(Qt::black, 0.42));
    glow(painter, rect, QPointF(0.72, 0.12), 20, 480, 0.06);
    glow(painter, rect, QPointF(0.28, 0.28), 10, 420, 0.04);
    painter.restore();
}

void TaldoAtmosphereBackground::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paint(painter, rect());
}

} // namespace tarnwick
