#include "design/TaldoHoverGlass.h"

#include "design/TaldoEffects.h"

#include <QEnterEvent>
#include <QVariantAnimation>

namespace tarnwick {

TaldoHoverGlass::TaldoHoverGlass(QWidget* parent) : TaldoHoverGlass(14.0, std::nullopt, false, parent) {}

TaldoHoverGlass::TaldoHoverGlass(double cornerRadius, std::optional<QColor> glow, bool intense, QWidget* parent)
    : TaldoGlassCard(cornerRadius, std::move(glow), intense, false, parent) {
    m_animation = new QVariantAnimation(this);
    m_animation->setDuration(TaldoGlassStyle::hoverAnimationMs);
    m_animation->setEasingCurve(TaldoEffects::easeOut());
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_hoverAmount = value.toDouble();
        refreshLook();
        emit hoverAmountChanged(m_hoverAmount);
    });
}

TaldoGlassParameters TaldoHoverGlass::parameters() const {
    return TaldoGlassStyle::hoverParameters(glow(), isIntense(), m_hoverAmount);
}

void TaldoHoverGlass::enterEvent(QEnterEvent* event) {
    TaldoGlassCard::enterEvent(event);
    setHovering(true);
}

void TaldoHoverGlass::leaveEvent(QEvent* event) {
    TaldoGlassCard::leaveEvent(event);
    setHovering(false);
}

void TaldoHoverGlass::setHovering(bool hovering) {
    if (hovering == m_hovering)
        return;
    m_hovering = hovering;
    m_animation->stop();
    m_animation->setStartValue(m_hoverAmount);
    m_animation->setEndValue(hovering ? 1.0 : 0.0);
    m_animation->start();
}

} // namespace tarnwick
