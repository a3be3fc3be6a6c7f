#include "views/care/HeroGlassCard.h"

#include "design/TaldoGlassStyle.h"
#include "design/TaldoShadowEffect.h"
#include "design/TaldoShapes.h"
#include "design/TaldoTheme.h"

#include <QEnterEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QVariantAnimation>

namespace tarnwick {

namespace {

using T = TaldoTheme;

double mix(double from, double to, double t) {
    return from + (to - from) * t;
}

}  // namespace

HeroGlassCard::HeroGlassCard(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("heroCard"));
    effect_ = new TaldoShadowEffect(this);
    effect_->setBackdrop([this](QPainter& painter, const QRectF& rect) { paintBackground(painter, rect, hoverAmount_); },
                         0.0);
    setGraphicsEffect(effect_);
    animation_ = new QVariantAnimation(this);
    animation_->setDuration(TaldoGlassStyle::hoverAnimationMs);
    animation_->setEasingCurve(TaldoEffects::easeOut());
    connect(animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        hoverAmount_ = value.toDouble();
        refreshLook();
        emit hoverAmountChanged(hoverAmount_);
    });
    refreshLook();
}

std::array<TaldoShadow, 2> HeroGlassCard::shadows(double t) {
    const QColor& teal = T::accentTeal();
    return {TaldoShadow{T::withOpacity(teal, mix(0.06, 0.28, t)), mix(8, 16, t), QPointF(0, mix(2, 3, t))},
            TaldoShadow{T::withOpacity(teal, 0.14 * t), 28, QPointF()}};
}

void HeroGlassCard::paintBackground(QPainter& painter, const QRectF& rect, double t) {
    const QPainterPath shape = TaldoShapes::roundedRect(rect, cornerRadius);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(shape, T::withOpacity(Qt::black, 0.35));
    painter.fillPath(shape, T::withOpacity(TaldoGlassStyle::materialColor(), 0.85));

    QLinearGradient tint(rect.topLeft(), rect.bottomRight());
    tint.setColorAt(0.0, T::withOpacity(T::accentTeal(), mix(0.08, 0.16, t)));
    tint.setColorAt(0.5, T::withOpacity(T::accentTeal(), mix(0.02, 0.05, t)));
    tint.setColorAt(1.0, T::withOpacity(T::accentTeal(), mix(0.0, 0.02, t)));
    painter.fillPath(shape, tint);

    QLinearGradient border(rect.topLeft(), rect.bottomRight());
    border.setColorAt(0.0, T::withOpacity(T::accentTeal(), mix(0.22, 0.45, t)));
    border.setColorAt(0.5, T::withOpacity(Qt::white, mix(0.08, 0.14, t)));
    border.setColorAt(1.0, T::withOpacity(Qt::white, mix(0.04, 0.08, t)));
    painter.setPen(QPen(QBrush(border), 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(TaldoShapes::roundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius - 0.5));
    painter.restore();
}

void HeroGlassCard::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    setHovering(true);
}

void HeroGlassCard::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    setHovering(false);
}

void HeroGlassCard::setHovering(bool hovering) {
    if (hovering == hovering_) return;
    hovering_ = hovering;
    animation_->stop();
    animation_->setStartValue(hoverAmount_);
    animation_->setEndValue(hovering ? 1.0 : 0.0);
    animation_->start();
}

void HeroGlassCard::refreshLook() {
    const std::array<TaldoShadow, 2> list = shadows(hoverAmount_);
    effect_->setShadows({list.begin(), list.end()});
    effect_->refresh();
}

}  // namespace tarnwick
