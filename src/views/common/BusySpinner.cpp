#include "views/common/BusySpinner.h"

#include <QPainter>
#include <QTimer>

namespace tarnwick {

namespace {

constexpr int kSpokes = 12;
constexpr int kStepMs = 80;

}  // namespace

BusySpinner::BusySpinner(int side, const QColor& tint, QWidget* parent) : QWidget(parent), tint_(tint) {
    setFixedSize(side, side);
    timer_ = new QTimer(this);
    timer_->setInterval(kStepMs);
    connect(timer_, &QTimer::timeout, this, [this] {
        step_ = (step_ + 1) % kSpokes;
        update();
    });
}

bool BusySpinner::isSpinning() const {
    return timer_->isActive();
}

void BusySpinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double side = std::min(width(), height());
    painter.translate(width() / 2.0, height() / 2.0);
    const double outer = side / 2.0 - 1.0;
    const double inner = outer * 0.52;
    const double thickness = std::max(2.0, side * 0.085);
    for (int i = 0; i < kSpokes; ++i) {
        // The newest spoke is brightest; the ones behind it fade out.
        const int age = (step_ - i + kSpokes) % kSpokes;
        QColor color = tint_;
        color.setAlphaF(float(std::max(0.15, 1.0 - age / double(kSpokes))));
        painter.setPen(QPen(color, thickness, Qt::SolidLine, Qt::RoundCap));
        painter.save();
        painter.rotate(i * 360.0 / kSpokes - 90.0);
        painter.drawLine(QPointF(inner, 0), QPointF(outer - thickness / 2, 0));
        painter.restore();
    }
}

void BusySpinner::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    timer_->start();
}

void BusySpinner::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    timer_->stop();
}

}  // namespace tarnwick
