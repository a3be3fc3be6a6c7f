#include "design/TaldoShadowEffect.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tarnwick {

TaldoShadowEffect::TaldoShadowEffect(QObject* parent) : QGraphicsEffect(parent) {}

void TaldoShadowEffect::setShadows(std::vector<TaldoShadow> shadows) {
    if (shadows == m_shadows)
        return;
    m_shadows = std::move(shadows);
    updateBoundingRect();
    update();
}

void TaldoShadowEffect::setBackdrop(BackdropPainter painter, double spread) {
    m_backdrop = std::move(painter);
    m_backdropSpread = std::max(0.0, spread);
    updateBoundingRect();
    update();
}

void TaldoShadowEffect::setBackdropSpread(double spread) {
    spread = std::max(0.0, spread);
    if (spread == m_backdropSpread)
        return;
    m_backdropSpread = spread;
    updateBoundingRect();
    update();
}

void TaldoShadowEffect::refresh() {
    update();
}

void TaldoShadowEffect::setOpacity(double opacity) {
    opacity = std::clamp(opacity, 0.0, 1.0);
    if (opacity == m_opacity)
        return;
    m_opacity = opacity;
    update();
}

QRectF TaldoShadowEffect::boundingRectFor(const QRectF& rect) const {
    const double spread = std::ceil(std::max(TaldoEffects::spreadOf(m_shadows), m_backdropSpread) + 1.0);
    return rect.adjusted(-spread, -spread, spread, spread);
}

void TaldoShadowEffect::draw(QPainter* painter) {
    painter->save();
    painter->setOpacity(painter->opacity() * m_opacity);
    drawComposite(painter);
    painter->restore();
}

void TaldoShadowEffect::drawComposite(QPainter* painter) {
    const bool anyShadow = std::any_of(m_shadows.begin(), m_shadows.end(),
                                       [](const TaldoShadow& s) { return s.isVisible(); });
    if (!anyShadow && !m_backdrop) {
        drawSource(painter);
        return;
    }
    QPoint offset;
    const QPixmap source = sourcePixmap(Qt::DeviceCoordinates, &offset, QGraphicsEffect::PadToEffectiveBoundingRect);
    if (source.isNull())
        return;

    // The composite: backdrop in the widget's coordinates, then the widget's own drawing.
    QImage layer(source.size(), QImage::Format_ARGB32_Premultiplied);
    layer.setDevicePixelRatio(source.devicePixelRatio());
    layer.fill(Qt::transparent);
    const QTransform world = painter->worldTransform();
    {
        QPainter p(&layer);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        if (m_backdrop) {
            p.setTransform(world * QTransform::fromTranslate(-offset.x(), -offset.y()));
            m_backdrop(p, sourceBoundingRect(Qt::LogicalCoordinates));
            p.resetTransform();
        }
        p.drawPixmap(QPointF(0, 0), source);
    }

    painter->setWorldTransform(QTransform());
    for (const TaldoShadow& shadow : m_shadows) {
        if (shadow.isVisible())
            painter->drawImage(QPointF(offset), TaldoEffects::shadowOf(layer, shadow));
    }
    painter->drawImage(QPointF(offset), layer);
    painter->setWorldTransform(world);
}

} // namespace tarnwick
