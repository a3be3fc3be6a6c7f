#include "views/care/HealthGauge.h"

#include "design/TaldoEffects.h"
#include "design/TaldoTheme.h"
#include "views/common/ViewText.h"

#include <QConicalGradient>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPathStroker>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>

namespace tarnwick {

namespace {

using T = TaldoTheme;

constexpr double kRingDiameter = 148.0;
constexpr double kRingWidth = 14.0;
constexpr double kDiscDiameter = 156.0;
constexpr double kGlowDiameter = 210.0;
constexpr double kDashedDiameter = 118.0;

double mix(double from, double to, double t) {
    return from + (to - from) * t;
}

QRectF centred(const QPointF& centre, double diameter) {
    return QRectF(centre.x() - diameter / 2, centre.y() - diameter / 2, diameter, diameter);
}

}  // namespace

HealthGauge::HealthGauge(QWidget* parent) : QWidget(parent), tint_(T::accentTeal()) {
    setObjectName(QStringLiteral("healthGauge"));
    setFixedSize(side, side);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void HealthGauge::setFill(double fill) {
    fill = std::isnan(fill) ? 0.0 : std::clamp(fill, 0.0, 1.0);
    if (fill == fill_) return;
    fill_ = fill;
    update();
}

void HealthGauge::setTint(const QColor& tint) {
    if (tint == tint_) return;
    tint_ = tint;
    update();
}

void HealthGauge::setFigure(const QString& figure, int pixelSize) {
    if (figure == figure_ && pixelSize == figurePixelSize_) return;
    figure_ = figure;
    figurePixelSize_ = pixelSize;
    update();
}

void HealthGauge::setCaption(const QString& caption) {
    if (caption == caption_) return;
    caption_ = caption;
    update();
}

void HealthGauge::setHoverAmount(double amount) {
    amount = std::clamp(amount, 0.0, 1.0);
    if (amount == hover_) return;
    hover_ = amount;
    update();
}

double HealthGauge::sweepDegrees(double fill) {
    if (std::isnan(fill)) return 0.0;
    return std::clamp(fill, 0.0, 1.0) * 360.0;
}

int HealthGauge::fittedFigurePixelSize() const {
    const double width = QFontMetricsF(ViewText::font(figurePixelSize_, QFont::Bold)).horizontalAdvance(figure_);
    if (width <= centreWidth || width <= 0) return figurePixelSize_;
    const double scale = std::max(minimumFigureScale, centreWidth / width);
    return std::max(1, int(std::floor(figurePixelSize_ * scale)));
}

void HealthGauge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(width() / 2.0, height() / 2.0);

    // The soft glow of the tint behind everything, clear at its edge.
    {
        const double radius = kGlowDiameter / 2;
        QRadialGradient glow(centre, radius);
        glow.setColorAt(0.0, T::withOpacity(tint_, mix(0.14, 0.45, hover_)));
        glow.setColorAt(20.0 / 110.0, T::withOpacity(tint_, mix(0.14, 0.45, hover_)));
        glow.setColorAt(0.62, T::withOpacity(tint_, mix(0.02, 0.08, hover_)));
        glow.setColorAt(1.0, T::withOpacity(tint_, 0.0));
        painter.setPen(Qt::NoPen);
        painter.setBrush(glow);
        painter.drawEllipse(centred(centre, kGlowDiameter));
    }

    // The dark disc with its thin ring.
    {
        const double radius = kDiscDiameter / 2;
        QRadialGradient disc(centre, radius);
        disc.setColorAt(0.0, T::withOpacity(Qt::white, 0.10));
        disc.setColorAt(4.0 / radius, T::withOpacity(Qt::white, 0.10));
        disc.setColorAt(78.0 / radius, T::withOpacity(Qt::black, 0.35));
        disc.setColorAt(1.0, T::withOpacity(Qt::black, 0.35));
        painter.setBrush(disc);
        painter.setPen(QPen(T::withOpacity(Qt::white, 0.12), 1.0));
        painter.drawEllipse(centred(centre, kDiscDiameter - 1));
    }

    // The track.
    const QRectF ring = centred(centre, kRingDiameter);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(T::withOpacity(Qt::white, 0.08), kRingWidth));
    painter.drawEllipse(ring);

    // The value arc, clockwise from the top.
    const double sweep = sweepDegrees(fill_);
    if (sweep > 0.0) {
        QPainterPath arc;
        if (sweep >= 360.0) {
            arc.addEllipse(ring);
        } else {
            arc.arcMoveTo(ring, 90.0);
            arc.arcTo(ring, 90.0, -sweep);
        }
        QPainterPathStroker stroker;
        stroker.setWidth(kRingWidth);
        stroker.setCapStyle(Qt::RoundCap);
        const QPainterPath band = stroker.createStroke(arc);

        // Its glow: one soft light pointer away, two stronger ones under it.
        TaldoEffects::drawBlurredFill(painter, band, T::withOpacity(tint_, mix(0.20, 0.55, hover_)), mix(3, 8, hover_));
        if (hover_ > 0.0) TaldoEffects::drawBlurredFill(painter, band, T::withOpacity(tint_, 0.28 * hover_), 14);

        // The angular gradient runs clockwise from the top: the tint faint,
        // the tint, lime, the tint. Qt's conical gradient turns the other way.
        QConicalGradient gradient(centre, 90.0);
        gradient.setColorAt(0.0, tint_);
        gradient.setColorAt(1.0 / 3.0, T::accentLime());
        gradient.setColorAt(2.0 / 3.0, tint_);
        gradient.setColorAt(1.0, T::withOpacity(tint_, 0.35));
        painter.setPen(Qt::NoPen);
        painter.setBrush(gradient);
        painter.drawPath(band);
    }

    // The dashed inner ring.
    {
        QPen dashed(tint_, 1.0);
        dashed.setDashPattern({2.0, 6.0});
        painter.setPen(dashed);
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(centred(centre, kDashedDiameter));
    }

    // The figure over its caption.
    const QFont figureFont = ViewText::font(fittedFigurePixelSize(), QFont::Bold);
    const QFont captionFont = ViewText::font(12, QFont::DemiBold);
    const QFontMetricsF figureMetrics(figureFont);
    const QFontMetricsF captionMetrics(captionFont);
    const double gap = 2.0;
    const double blockHeight = figureMetrics.height() + gap + captionMetrics.height();
    const double top = centre.y() - blockHeight / 2;
    const QString shownFigure = figureMetrics.elidedText(figure_, Qt::ElideRight, centreWidth);
    painter.setFont(figureFont);
    painter.setPen(T::textPrimary());
    painter.drawText(QRectF(centre.x() - centreWidth / 2.0, top, centreWidth, figureMetrics.height()),
                     Qt::AlignCenter, shownFigure);

    const double captionTop = top + figureMetrics.height() + gap;
    const double captionWidth = captionMetrics.horizontalAdvance(caption_);
    QPainterPath captionPath;
    captionPath.addText(centre.x() - captionWidth / 2, captionTop + captionMetrics.ascent(), captionFont, caption_);
    TaldoEffects::drawBlurredFill(painter, captionPath, T::withOpacity(tint_, mix(0.15, 0.6, hover_)),
                                  mix(1, 6, hover_));
    painter.setPen(Qt::NoPen);
    painter.setBrush(tint_);
    painter.drawPath(captionPath);
}

}  // namespace tarnwick
