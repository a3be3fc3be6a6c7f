#pragma once

#include <QColor>
#include <QEasingCurve>
#include <QImage>
#include <QPainterPath>
#include <QPointF>

#include <span>

class QPainter;

namespace tarnwick {

// One drop shadow: colour (with its opacity), blur radius in points and offset.
struct TaldoShadow {
    QColor color = Qt::transparent;
    double radius = 0.0;
    QPointF offset;

    bool isVisible() const { return color.alpha() > 0; }
    friend bool operator==(const TaldoShadow&, const TaldoShadow&) = default;
};

// Blurs and shadows for the design system's painting (QtGui only). A blur or shadow radius r is
// drawn as a Gaussian with standard deviation r / 2, approximated by three box passes.
class TaldoEffects {
public:
    TaldoEffects() = delete;

    // Standard deviation, in points, of the Gaussian drawn for a blur radius.
    static double sigmaForRadius(double radius);
    // How far, in points, a blur of this radius visibly spreads beyond its shape.
    static double spreadForRadius(double radius);
    // Furthest reach of a set of shadows beyond the shape, offsets included.
    static double spreadOf(std::span<const TaldoShadow> shadows);

    // The ease-out timing curve of the design system's animations (cubic 0, 0, 0.58, 1).
    static QEasingCurve easeOut();

    // Linear blend of two colours in premultiplied space (a transparent end keeps the other's hue).
    static QColor blend(const QColor& from, const QColor& to, double t);
    static TaldoShadow blend(const TaldoShadow& from, const TaldoShadow& to, double t);

    // Blurs all four channels of a premultiplied image in place; `sigmaPixels` is in device pixels.
    // Pixels outside the image count as transparent.
    static void blur(QImage& image, double sigmaPixels);

    // The shadow cast by `layer` (ARGB32 premultiplied, transparent margin around its content):
    // an image of the same size and device pixel ratio holding the layer's alpha, shifted by the
    // offset, blurred and filled with the shadow colour.
    static QImage shadowOf(const QImage& layer, const TaldoShadow& shadow);

    // Draws the shadow of a filled shape (treated as fully opaque). Results are cached by shape,
    // shadow and device pixel ratio, so repeated cards cost one blit each.
    static void drawShapeShadow(QPainter& painter, const QPainterPath& shape, const TaldoShadow& shadow);
    // Draws the outline of `shape` (pen of `width` in `color`) softened by a blur of `blurRadius`.
    static void drawBlurredOutline(QPainter& painter, const QPainterPath& shape, const QColor& color, double width,
                                   double blurRadius);
    // Draws `shape` filled with `color` and softened by a blur of `blurRadius`.
    static void drawBlurredFill(QPainter& painter, const QPainterPath& shape, const QColor& color, double blurRadius);
    // The keyboard focus ring every control wears: a 2-point teal line along `shape`.
    static void drawFocusRing(QPainter& painter, const QPainterPath& shape);
};

} // namespace tarnwick
