#include "views/care/HourStepper.h"

#include "design/TaldoEffects.h"
#include "design/TaldoShapes.h"
#include "design/TaldoTheme.h"
#include "views/common/ViewText.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>

namespace tarnwick {

namespace {

using T = TaldoTheme;

// One half of the stepper's arrow pair: a small triangle pointing up or down.
class StepArrow : public QAbstractButton {
public:
    StepArrow(bool up, QWidget* parent) : QAbstractButton(parent), up_(up) {
        // Tab reaches each arrow and Space steps; a click does not take the focus.
        setFocusPolicy(Qt::TabFocus);
        setCursor(Qt::PointingHandCursor);
        setFixedSize(18, 11);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF area = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        if (isDown()) {
            painter.fillPath(TaldoShapes::roundedRect(area, 3), T::withOpacity(Qt::white, 0.14));
        }
        const QColor color = isEnabled() ? T::textPrimary() : T::withOpacity(T::textSecondary(), 0.3);
        const QPointF centre = area.center();
        const double half = 3.5;
        const double rise = up_ ? -2.0 : 2.0;
        QPainterPath arrow;
        arrow.moveTo(centre.x() - half, centre.y() - rise);
        arrow.lineTo(centre.x() + half, centre.y() - rise);
        arrow.lineTo(centre.x(), centre.y() + rise);
        arrow.closeSubpath();
        painter.fillPath(arrow, color);
        if (hasFocus()) TaldoEffects::drawFocusRing(painter, TaldoShapes::roundedRect(area, 3));
    }

    void keyPressEvent(QKeyEvent* event) override {
        // The arrow keys step too, whichever arrow has the focus.
        auto* stepper = parentWidget() ? qobject_cast<HourStepper*>(parentWidget()->parentWidget()) : nullptr;
        if (!stepper) {
            QAbstractButton::keyPressEvent(event);
            return;
        }
        if (event->key() == Qt::Key_Up) {
            stepper->stepUp();
        } else if (event->key() == Qt::Key_Down) {
            stepper->stepDown();
        } else {
            QAbstractButton::keyPressEvent(event);
            return;
        }
        event->accept();
    }

private:
    bool up_;
};

}  // namespace

HourStepper::HourStepper(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("hourStepper"));
    setFixedWidth(stepperWidth);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    label_ = ViewText::label(QString(), 13, QFont::DemiBold, T::textPrimary(), this);
    label_->setObjectName(QStringLiteral("hourLabel"));
    label_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    row->addWidget(label_, 1);

    auto* arrows = new QWidget(this);
    arrows->setObjectName(QStringLiteral("hourArrows"));
    auto* column = new QVBoxLayout(arrows);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(1);
    up_ = new StepArrow(true, arrows);
    up_->setObjectName(QStringLiteral("hourUp"));
    up_->setToolTip(QStringLiteral("Later"));
    down_ = new StepArrow(false, arrows);
    down_->setObjectName(QStringLiteral("hourDown"));
    down_->setToolTip(QStringLiteral("Earlier"));
    column->addWidget(up_);
    column->addWidget(down_);
    row->addWidget(arrows, 0, Qt::AlignVCenter);
    connect(up_, &QAbstractButton::clicked, this, &HourStepper::stepUp);
    connect(down_, &QAbstractButton::clicked, this, &HourStepper::stepDown);
    refresh();
}

void HourStepper::setHour(int hour) {
    hour = std::clamp(hour, minimumHour, maximumHour);
    if (hour == hour_ && !label_->text().isEmpty()) return;
    hour_ = hour;
    refresh();
}

QString HourStepper::hourText(int hour) {
    return QString::number(hour) + QStringLiteral(":00");
}

void HourStepper::stepUp() {
    if (canStepUp()) emit stepRequested(hour_ + 1);
}

void HourStepper::stepDown() {
    if (canStepDown()) emit stepRequested(hour_ - 1);
}

QString HourStepper::text() const {
    return label_->text();
}

void HourStepper::refresh() {
    label_->setText(hourText(hour_));
    up_->setEnabled(canStepUp());
    down_->setEnabled(canStepDown());
}

}  // namespace tarnwick
