#include "views/care/ScheduleSwitch.h"

#include "design/TaldoEffects.h"
#include "design/TaldoGlassStyle.h"
#include "design/TaldoShapes.h"
#include "design/TaldoTheme.h"

#include <QPainter>
#include <QVariantAnimation>

namespace tarnwick {

ScheduleSwitch::ScheduleSwitch(const QColor& tint, QWidget* parent) : QAbstractButton(parent), tint_(tint) {
    setCheckable(true);
    // Tab reaches it and Space flips it; a click does not take the focus.
    setFocusPolicy(Qt::TabFocus);
    setAccessibleName(QStringLiteral("Daily Vidur Aded"));
    setCursor(Qt::PointingHandCursor);
    setFixedSize(sizeHint());
    animation_ = new QVariantAnimation(this);
    animation_->setDuration(TaldoGlassStyle::hoverAnimationMs);
    animation_->setEasingCurve(TaldoEffects::easeOut());
    connect(animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        position_ = value.toDouble();
        update();
    });
}

void ScheduleSwitch::checkStateSet() {
    QAbstractButton::checkStateSet();
    const double target = isChecked() ? 1.0 : 0.0;
    if (!isVisible()) {
        animation_->stop();
        position_ = target;
        update();
        return;
    }
    animation_->stop();
    animation_->setStartValue(position_);
    animation_->setEndValue(target);
    animation_->start();
}

void ScheduleSwitch::nextCheckState() {
    // The owner sets the shown state from the value asked for.
    emit toggleRequested(!isChecked());
}

void ScheduleSwitch::paintEvent(QPaintEvent*) {
    using T = TaldoTheme;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const QColor off = T::withOpacity(Qt::white, 0.14);
    QColor fill = TaldoEffects::blend(off, tint_, position_);
    if (!isEnabled()) fill = T::withOpacity(fill, fill.alphaF() * 0.5);
    painter.fillPath(TaldoShapes::capsule(track), fill);
    const double knob = track.height() - 4;
    const double x = track.left() + 2 + (track.width() - 4 - knob) * position_;
    painter.setPen(Qt::NoPen);
    painter.setBrush(T::withOpacity(Qt::black, 0.25));
    painter.drawEllipse(QRectF(x, track.top() + 2.5, knob, knob));
    painter.setBrush(QColor(Qt::white));
    painter.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
    if (hasFocus()) TaldoEffects::drawFocusRing(painter, TaldoShapes::capsule(track.adjusted(0.5, 0.5, -0.5, -0.5)));
}

}  // namespace tarnwick
