#include "views/health/StorageBars.h"

#include "design/TaldoShapes.h"
#include "design/TaldoTheme.h"
#include "views/common/ViewText.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tarnwick {

namespace {

constexpr int kSpacing = 6;
constexpr int kTextSize = 10;

}  // namespace

StorageBars::StorageBars(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void StorageBars::setReadings(double usedFraction, const QString& used, const QString& free) {
    const double fraction = std::isfinite(usedFraction) ? std::clamp(usedFraction, 0.0, 1.0) : 0.0;
    if (fraction == fraction_ && used == used_ && free == free_) return;
    fraction_ = fraction;
    used_ = used;
    free_ = free;
    update();
}

int StorageBars::fillWidth() const {
    return std::max(minimumFill, static_cast<int>(std::lround(width() * fraction_)));
}

QSize StorageBars::sizeHint() const {
    return QSize(200, trackHeight + kSpacing + QFontMetrics(ViewText::font(kTextSize)).height());
}

QSize StorageBars::minimumSizeHint() const {
    return QSize(2 * minimumFill, sizeHint().height());
}

void StorageBars::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track(0, 0, width(), trackHeight);
    painter.fillPath(TaldoShapes::capsule(track), TaldoTheme::withOpacity(Qt::white, 0.08));
    QLinearGradient gradient(track.topLeft(), track.topRight());
    gradient.setColorAt(0, TaldoTheme::accentTeal());
    gradient.setColorAt(1, TaldoTheme::accent());
    painter.fillPath(TaldoShapes::capsule(QRectF(0, 0, fillWidth(), trackHeight)), gradient);

    const QFont font = ViewText::font(kTextSize);
    painter.setFont(font);
    painter.setPen(TaldoTheme::textSecondary());
    const QRect textRow(0, trackHeight + kSpacing, width(), QFontMetrics(font).height());
    painter.drawText(textRow, Qt::AlignLeft | Qt::AlignVCenter, usedText());
    painter.drawText(textRow, Qt::AlignRight | Qt::AlignVCenter, freeText());
}

}  // namespace tarnwick
