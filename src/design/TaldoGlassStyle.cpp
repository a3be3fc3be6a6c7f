#include "design/TaldoGlassStyle.h"

#include "design/TaldoShapes.h"
#include "design/TaldoTheme.h"

#include <QLinearGradient>
#include <QPainter>

#include <algorithm>

namespace tarnwick {

namespace {

QColor mix(const QColor& a, const QColor& b, double t) {
    return TaldoEffects::blend(a, b, t);
}

TaldoShadow mix(const TaldoShadow& a, const TaldoShadow& b, double t) {
    return TaldoEffects::blend(a, b, t);
}

QLinearGradient diagonal(const QRectF& rect, const std::array<QColor, 3>& stops) {
    QLinearGradient gradient(rect.topLeft(), rect.bottomRight());
    gradient.setColorAt(0.0, stops[0]);
    gradient.setColorAt(0.5, stops[1]);
    gradient.setColorAt(1.0, stops[2]);
    return gradient;
}

} // namespace

TaldoGlassParameters TaldoGlassParameters::interpolated(const TaldoGlassParameters& from,
                                                        const TaldoGlassParameters& to, double t) {
    t = std::clamp(t, 0.0, 1.0);
    TaldoGlassParameters p;
    p.base = mix(from.base, to.base, t);
    p.material = mix(from.material, to.material, t);
    for (size_t i = 0; i < 3; ++i) {
        p.fill[i] = mix(from.fill[i], to.fill[i], t);
        p.border[i] = mix(from.border[i], to.border[i], t);
    }
    p.halo = mix(from.halo, to.halo, t);
    p.haloWidth = from.haloWidth + (to.haloWidth - from.haloWidth) * t;
    p.haloBlur = from.haloBlur + (to.haloBlur - from.haloBlur) * t;
    p.borderWidth = from.borderWidth + (to.borderWidth - from.borderWidth) * t;
    for (size_t i = 0; i < 2; ++i)
        p.shadows[i] = mix(from.shadows[i], to.shadows[i], t);
    return p;
}

QColor TaldoGlassStyle::materialColor() {
    // Dark ultra-thin material without the blur of what lies behind: a thin cool grey veil.
    return TaldoTheme::rgb(0.17, 0.18, 0.20, 0.42);
}

TaldoGlassParameters TaldoGlassStyle::parameters(const std::optional<QColor>& glow, bool intense, bool lit) {
    using T = TaldoTheme;
    const QColor g = glow.value_or(T::accentTeal());
    const bool on = lit && glow.has_value();
    const QColor white(Qt::white), black(Qt::black);

    TaldoGlassParameters p;
    p.base = T::withOpacity(black, 0.28);
    p.material = T::withOpacity(materialColor(), materialColor().alphaF() * 0.9);
    p.fill = {T::withOpacity(white, (intense || on) ? 0.09 : 0.05),
              glow ? T::withOpacity(*glow, on ? 0.14 : 0.06) : T::withOpacity(T::panelSolid(), 0.22),
              T::withOpacity(black, 0.15)};
    p.halo = on ? T::withOpacity(*glow, 0.55) : T::withOpacity(g, 0.0);
    p.border = {glow ? T::withOpacity(*glow, on ? 0.55 : 0.16) : T::withOpacity(white, 0.12), T::panelBorder(),
                T::withOpacity(glow ? *glow : white, on ? 0.28 : 0.06)};
    p.shadows = {TaldoShadow{T::withOpacity(g, on ? 0.22 : 0.04), on ? 14.0 : 6.0, QPointF(0, on ? 3 : 2)},
                 TaldoShadow{T::withOpacity(g, on ? 0.12 : 0.0), on ? 22.0 : 0.0, QPointF(0, 0)}};
    return p;
}

TaldoGlassParameters TaldoGlassStyle::hoverParameters(const std::optional<QColor>& glow, bool intense,
                                                      double hoverAmount) {
    if (hoverAmount <= 0.0)
        return parameters(glow, intense, false);
    if (hoverAmount >= 1.0)
        return parameters(glow, intense, true);
    return TaldoGlassParameters::interpolated(parameters(glow, intense, false), parameters(glow, intense, true),
                                              hoverAmount);
}

double TaldoGlassStyle::haloSpread(const TaldoGlassParameters& parameters) {
    return parameters.halo.alpha() > 0 ? TaldoEffects::spreadForRadius(parameters.haloBlur) + parameters.haloWidth
                                       : parameters.borderWidth;
}

void TaldoGlassStyle::paintBackground(QPainter& painter, const QRectF& rect, double cornerRadius,
                                      const TaldoGlassParameters& p) {
    if (rect.isEmpty())
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = TaldoShapes::roundedRect(rect, cornerRadius);
    painter.fillPath(shape, p.base);
    painter.fillPath(shape, p.material);
    painter.fillPath(shape, diagonal(rect, p.fill));
    if (p.halo.alpha() > 0)
        TaldoEffects::drawBlurredOutline(painter, shape, p.halo, p.haloWidth, p.haloBlur);
    painter.strokePath(shape, QPen(QBrush(diagonal(rect, p.border)), p.borderWidth));
    painter.restore();
}

void TaldoGlassStyle::paint(QPainter& painter, const QRectF& rect, double cornerRadius,
                            const TaldoGlassParameters& p) {
    if (rect.isEmpty())
        return;
    const QPainterPath shape = TaldoShapes::roundedRect(rect, cornerRadius);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    for (const TaldoShadow& shadow : p.shadows)
        TaldoEffects::drawShapeShadow(painter, shape, shadow);
    painter.restore();
    paintBackground(painter, rect, cornerRadius, p);
}

void taldoGlass(QPainter& painter, const QRectF& rect, double cornerRadius, const std::optional<QColor>& glow,
                bool intense, bool lit) {
    TaldoGlassStyle::paint(painter, rect, cornerRadius, TaldoGlassStyle::parameters(glow, intense, lit));
}

void taldoHoverGlass(QPainter& painter, const QRectF& rect, double cornerRadius, const std::optional<QColor>& glow,
                     bool intense, double hoverAmount) {
    TaldoGlassStyle::paint(painter, rect, cornerRadius, TaldoGlassStyle::hoverParameters(glow, intense, hoverAmount));
}

} // namespace tarnwick
