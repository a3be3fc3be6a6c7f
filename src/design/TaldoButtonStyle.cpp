#include "design/TaldoButtonStyle.h"

#include "design/TaldoShapes.h"
#include "design/TaldoTheme.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tarnwick {

namespace {

using T = TaldoTheme;

TaldoButtonParameters dimmedIfDisabled(TaldoButtonParameters p, bool enabled) {
    if (!enabled)
        p.opacity = TaldoButtonStyle::disabledOpacity;
    return p;
}

TaldoButtonParameters plainFill(TaldoButtonParameters p, const QColor& fill) {
    p.fill = {fill, fill, fill};
    return p;
}

double lerp(double a, double b, double t) {
    return a + (b - a) * t;
}

} // namespace

TaldoButtonParameters TaldoButtonParameters::interpolated(const TaldoButtonParameters& from,
                                                          const TaldoButtonParameters& to, double t) {
    t = std::clamp(t, 0.0, 1.0);
    TaldoButtonParameters p = t < 0.5 ? from : to; // shape, kind, font and insets switch at the midpoint
    p.cornerRadius = lerp(from.cornerRadius, to.cornerRadius, t);
    p.halo = TaldoEffects::blend(from.halo, to.halo, t);
    p.haloBlur = lerp(from.haloBlur, to.haloBlur, t);
    p.haloScale = lerp(from.haloScale, to.haloScale, t);
    for (size_t i = 0; i < 3; ++i)
        p.fill[i] = TaldoEffects::blend(from.fill[i], to.fill[i], t);
    p.outline = TaldoEffects::blend(from.outline, to.outline, t);
    for (size_t i = 0; i < 2; ++i)
        p.shadows[i] = TaldoEffects::blend(from.shadows[i], to.shadows[i], t);
    p.text = TaldoEffects::blend(from.text, to.text, t);
    p.scale = lerp(from.scale, to.scale, t);
    p.opacity = lerp(from.opacity, to.opacity, t);
    p.insetX = lerp(from.insetX, to.insetX, t);
    p.insetY = lerp(from.insetY, to.insetY, t);
    return p;
}

TaldoButtonParameters TaldoButtonStyle::glow(const QColor& tint, bool hovering, bool pressed, bool enabled) {
    if (!enabled)
        hovering = pressed = false;
    const bool active = hovering || pressed;
    const QColor white(Qt::white);
    TaldoButtonParameters p;
    p.kind = TaldoButtonKind::glow;
    p.capsule = true;
    p.halo = T::withOpacity(tint, active ? 0.35 : 0.12);
    p.haloBlur = pressed ? 4.0 : (active ? 9.0 : 3.0);
    p.haloScale = active ? 1.05 : 1.01;
    p.fill = {T::withOpacity(white, active ? 0.28 : 0.16),
              T::withOpacity(tint, pressed ? 0.8 : (active ? 0.95 : 0.86)),
              T::withOpacity(tint, pressed ? 0.65 : 0.78)};
    p.outline = T::withOpacity(white, active ? 0.35 : 0.18);
    p.shadows = {TaldoShadow{T::withOpacity(tint, active ? 0.55 : 0.14), pressed ? 6.0 : (active ? 14.0 : 4.0),
                             QPointF(0, 2)},
                 TaldoShadow{T::withOpacity(tint, active ? 0.25 : 0.0), active ? 8.0 : 0.0, QPointF(0, 0)}};
    p.text = T::withOpacity(Qt::black, 0.82);
    p.scale = pressed ? 0.97 : 1.0;
    p.fontPixelSize = 14;
    p.fontWeight = QFont::Bold;
    p.insetX = 22;
    p.insetY = 14;
    return dimmedIfDisabled(p, enabled);
}

TaldoButtonParameters TaldoButtonStyle::primary(bool pressed, bool enabled) {
    if (!enabled)
        pressed = false;
    TaldoButtonParameters p;
    p.kind = TaldoButtonKind::primary;
    p = plainFill(p, T::withOpacity(T::accent(), pressed ? 0.75 : 1.0));
    p.halo = T::withOpacity(T::accent(), 0.0);
    p.outline = T::withOpacity(Qt::white, 0.0);
    p.shadows = {TaldoShadow{T::withOpacity(T::accent(), 0.35), pressed ? 2.0 : 8.0, QPointF(0, 1)}, TaldoShadow{}};
    p.text = T::withOpacity(Qt::black, 0.85);
    p.fontPixelSize = 13;
    p.fontWeight = QFont::DemiBold;
    p.insetX = 14;
    p.insetY = 8;
    return dimmedIfDisabled(p, enabled);
}

TaldoButtonParameters TaldoButtonStyle::ghost(bool pressed, bool enabled) {
    if (!enabled)
        pressed = false;
    TaldoButtonParameters p;
    p.kind = TaldoButtonKind::ghost;
    p = plainFill(p, T::withOpacity(T::panelSolid(), pressed ? 0.7 : 0.9));
    p.halo = T::withOpacity(T::panelSolid(), 0.0);
    p.outline = T::panelBorder();
    p.shadows = {TaldoShadow{}, TaldoShadow{}};
    p.text = T::textPrimary();
    p.fontPixelSize = 13;
    p.fontWeight = QFont::Medium;
    p.insetX = 12;
    p.insetY = 8;
    return dimmedIfDisabled(p, enabled);
}

TaldoButtonParameters TaldoButtonStyle::danger(bool pressed, bool enabled) {
    if (!enabled)
        pressed = false;
    TaldoButtonParameters p;
    p.kind = TaldoButtonKind::danger;
    p.capsule = false;
    p.cornerRadius = 8;
    p = plainFill(p, T::withOpacity(T::danger(), pressed ? 0.75 : 1.0));
    p.halo = T::withOpacity(T::danger(), 0.0);
    p.outline = T::withOpacity(Qt::white, 0.0);
    p.shadows = {TaldoShadow{}, TaldoShadow{}};
    p.text = QColor(Qt::white);
    p.fontPixelSize = 13;
    p.fontWeight = QFont::DemiBold;
    p.insetX = 14;
    p.insetY = 8;
    return dimmedIfDisabled(p, enabled);
}

TaldoButtonParameters TaldoButtonStyle::parameters(TaldoButtonKind kind, const QColor& tint, bool hovering,
                                                   bool pressed, bool enabled) {
    switch (kind) {
    case TaldoButtonKind::glow:
        return glow(tint, hovering, pressed, enabled);
    case TaldoButtonKind::primary:
        return primary(pressed, enabled);
    case TaldoButtonKind::ghost:
        return ghost(pressed, enabled);
    case TaldoButtonKind::danger:
        return danger(pressed, enabled);
    }
    return primary(pressed, enabled);
}

TaldoButtonParameters TaldoButtonStyle::animated(TaldoButtonKind kind, const QColor& tint, double hoverAmount,
                                                 double pressAmount, bool enabled) {
    hoverAmount = std::clamp(hoverAmount, 0.0, 1.0);
    pressAmount = std::clamp(pressAmount, 0.0, 1.0);
    auto at = [&](bool h, bool p) { return parameters(kind, tint, h, p, enabled); };
    const TaldoButtonParameters released = TaldoButtonParameters::interpolated(at(false, false), at(true, false), hoverAmount);
    if (pressAmount <= 0.0)
        return released;
    const TaldoButtonParameters held = TaldoButtonParameters::interpolated(at(false, true), at(true, true), hoverAmount);
    return TaldoButtonParameters::interpolated(released, held, pressAmount);
}

QFont TaldoButtonStyle::font(const TaldoButtonParameters& p, const QFont& base) {
    QFont f = base;
    f.setPixelSize(p.fontPixelSize);
    f.setWeight(static_cast<QFont::Weight>(p.fontWeight));
    return f;
}

int TaldoButtonStyle::symbolSize(const TaldoButtonParameters& p) {
    return static_cast<int>(std::lround(p.fontPixelSize * 1.1));
}

QSizeF TaldoButtonStyle::sizeFor(const TaldoButtonParameters& p, const QFont& base, const QString& text,
                                 bool hasSymbol) {
    const QFontMetricsF metrics(font(p, base));
    double width = text.isEmpty() ? 0.0 : metrics.horizontalAdvance(text);
    double height = metrics.height();
    if (hasSymbol) {
        const int symbol = symbolSize(p);
        width += symbol + (text.isEmpty() ? 0.0 : symbolSpacing);
        height = std::max(height, static_cast<double>(symbol));
    }
    return {std::ceil(width + 2 * p.insetX), std::ceil(height + 2 * p.insetY)};
}

double TaldoButtonStyle::spread(const TaldoButtonParameters& p, const QSizeF& size) {
    double reach = TaldoEffects::spreadOf(p.shadows);
    if (p.halo.alpha() > 0) {
        const double grown = (p.haloScale - 1.0) * std::max(size.width(), size.height()) / 2.0;
        reach = std::max(reach, TaldoEffects::spreadForRadius(p.haloBlur) + std::max(0.0, grown));
    }
    return reach;
}

QPainterPath TaldoButtonStyle::shape(const TaldoButtonParameters& p, const QRectF& rect) {
    return p.capsule ? TaldoShapes::capsule(rect) : TaldoShapes::roundedRect(rect, p.cornerRadius);
}

namespace {

// Applies the label's scale about the rect's centre.
void scaleAboutCentre(QPainter& painter, const QRectF& rect, double scale) {
    if (scale == 1.0)
        return;
    painter.translate(rect.center());
    painter.scale(scale, scale);
    painter.translate(-rect.center());
}

} // namespace

void TaldoButtonStyle::paintHalo(QPainter& painter, const QRectF& rect, const TaldoButtonParameters& p) {
    if (p.halo.alpha() == 0 || rect.isEmpty())
        return;
    painter.save();
    painter.setOpacity(painter.opacity() * p.opacity);
    scaleAboutCentre(painter, rect, p.scale);
    const QPointF c = rect.center();
    const QRectF scaled(c.x() - rect.width() * p.haloScale / 2, c.y() - rect.height() * p.haloScale / 2,
                        rect.width() * p.haloScale, rect.height() * p.haloScale);
    TaldoEffects::drawBlurredFill(painter, shape(p, scaled), p.halo, p.haloBlur);
    painter.restore();
}

void TaldoButtonStyle::paintBody(QPainter& painter, const QRectF& rect, const TaldoButtonParameters& p,
                                 const QString& text, const QIcon& symbol, const QFont& base) {
    if (rect.isEmpty())
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setOpacity(painter.opacity() * p.opacity);
    scaleAboutCentre(painter, rect, p.scale);

    const QPainterPath body = shape(p, rect);
    QLinearGradient gradient(QPointF(rect.center().x(), rect.top()), QPointF(rect.center().x(), rect.bottom()));
    gradient.setColorAt(0.0, p.fill[0]);
    gradient.setColorAt(0.5, p.fill[1]);
    gradient.setColorAt(1.0, p.fill[2]);
    painter.fillPath(body, gradient);
    if (p.outline.alpha() > 0) {
        // The outline lies just inside the edge so it is never cut by the button's bounds.
        painter.strokePath(shape(p, rect.adjusted(0.5, 0.5, -0.5, -0.5)), QPen(p.outline, 1.0));
    }

    // Label: the symbol, then the text, centred as a group; the text is elided when space is short.
    const QFont labelFont = font(p, base);
    const QFontMetricsF metrics(labelFont);
    const bool hasSymbol = !symbol.isNull();
    const double symbolSide = hasSymbol ? symbolSize(p) : 0.0;
    const double gap = hasSymbol && !text.isEmpty() ? symbolSpacing : 0.0;
    const double available = std::max(0.0, rect.width() - 2 * p.insetX - symbolSide - gap);
    const QString shown = metrics.elidedText(text, Qt::ElideRight, available + 0.5);
    const double textWidth = shown.isEmpty() ? 0.0 : metrics.horizontalAdvance(shown);
    double x = rect.center().x() - (symbolSide + gap + textWidth) / 2.0;
    if (hasSymbol) {
        const QRectF symbolRect(x, rect.center().y() - symbolSide / 2.0, symbolSide, symbolSide);
        symbol.paint(&painter, symbolRect.toAlignedRect());
        x += symbolSide + gap;
    }
    if (!shown.isEmpty()) {
        painter.setFont(labelFont);
        painter.setPen(p.text);
        painter.drawText(QRectF(x, rect.top(), textWidth + 1.0, rect.height()), Qt::AlignLeft | Qt::AlignVCenter,
                         shown);
    }
    painter.restore();
}

void TaldoButtonStyle::paint(QPainter& painter, const QRectF& rect, const TaldoButtonParameters& p,
                             const QString& text, const QIcon& symbol, const QFont& base) {
    if (rect.isEmpty())
        return;
    const double margin = std::ceil(spread(p, rect.size()) + 2.0);
    const QRectF area = rect.adjusted(-margin, -margin, margin, margin);
    const double dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    QImage layer((area.size() * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
    layer.setDevicePixelRatio(dpr);
    layer.fill(Qt::transparent);
    {
        QPainter lp(&layer);
        lp.setRenderHint(QPainter::Antialiasing);
        lp.translate(-area.topLeft());
        paintHalo(lp, rect, p);
        paintBody(lp, rect, p, text, symbol, base);
    }
    for (const TaldoShadow& shadow : p.shadows) {
        if (shadow.isVisible())
            painter.drawImage(area.topLeft(), TaldoEffects::shadowOf(layer, shadow));
    }
    painter.drawImage(area.topLeft(), layer);
}

} // namespace tarnwick
