#include "design/TaldoEffects.h"

#include "design/TaldoTheme.h"

#include <QCache>
#include <QMutex>
#include <QMutexLocker>
#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace tarnwick {

namespace {

// Widths of three box filters whose succession approximates a Gaussian of `sigma`.
std::array<int, 3> boxRadiiForGauss(double sigma) {
    const int passes = 3;
    const double ideal = std::sqrt(12.0 * sigma * sigma / passes + 1.0);
    int lower = static_cast<int>(std::floor(ideal));
    if (lower % 2 == 0)
        --lower;
    const int upper = lower + 2;
    const double m = (12.0 * sigma * sigma - passes * lower * lower - 4.0 * passes * lower - 3.0 * passes) /
                     (-4.0 * lower - 4.0);
    const int lowerCount = static_cast<int>(std::lround(m));
    std::array<int, 3> radii{};
    for (int i = 0; i < passes; ++i)
        radii[i] = ((i < lowerCount ? lower : upper) - 1) / 2;
    return radii;
}

// One box pass over `count` pixels (4 channels each) read `inStride` bytes apart and written
// `outStride` bytes apart; pixels outside the line count as transparent.
void boxLine(const uchar* in, int inStride, uchar* out, int outStride, int count, int radius) {
    const int window = 2 * radius + 1;
    std::array<int, 4> sum{0, 0, 0, 0};
    auto px = [&](int i) { return in + static_cast<ptrdiff_t>(i) * inStride; };
    for (int i = 0; i < std::min(radius, count); ++i)
        for (int c = 0; c < 4; ++c)
            sum[c] += px(i)[c];
    for (int i = 0; i < count; ++i) {
        const int entering = i + radius;
        if (entering < count)
            for (int c = 0; c < 4; ++c)
                sum[c] += px(entering)[c];
        const int leaving = i - radius - 1;
        if (leaving >= 0)
            for (int c = 0; c < 4; ++c)
                sum[c] -= px(leaving)[c];
        uchar* o = out + static_cast<ptrdiff_t>(i) * outStride;
        for (int c = 0; c < 4; ++c)
            o[c] = static_cast<uchar>((sum[c] + window / 2) / window);
    }
}

struct Sprite {
    QImage image;
    QPointF origin; // logical position of the image's top-left relative to the shape's bounds
};

QCache<QString, Sprite>& spriteCache() {
    static QCache<QString, Sprite> cache(48 * 1024); // cost in KiB
    return cache;
}

QMutex& spriteMutex() {
    static QMutex mutex;
    return mutex;
}

double effectiveScale(const QPainter& painter) {
    const double dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QTransform& t = painter.transform();
    const double scale = std::sqrt(std::abs(t.m11() * t.m22() - t.m12() * t.m21()));
    return std::max(0.25, dpr * (scale > 0 ? scale : 1.0));
}

QString pathKey(const QPainterPath& path, const QPointF& origin) {
    QString key;
    key.reserve(path.elementCount() * 12);
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        key += QString::number(static_cast<int>(e.type)) + QLatin1Char(':') +
               QString::number(std::lround((e.x - origin.x()) * 100)) + QLatin1Char(',') +
               QString::number(std::lround((e.y - origin.y()) * 100)) + QLatin1Char(';');
    }
    return key;
}

// Draws `shape` (filled, or outlined when penWidth > 0) blurred by `blurRadius`, shifted by `offset`.
void drawBlurredShape(QPainter& painter, const QPainterPath& shape, const QColor& color, double penWidth,
                      double blurRadius, const QPointF& offset) {
    if (color.alpha() == 0 || shape.isEmpty())
        return;
    const QRectF bounds = shape.boundingRect();
    const double scale = effectiveScale(painter);
    const QString key = QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
                            .arg(pathKey(shape, bounds.topLeft()))
                            .arg(color.rgba(), 0, 16)
                            .arg(penWidth)
                            .arg(blurRadius)
                            .arg(offset.x())
                            .arg(offset.y())
                            .arg(scale);
    QImage image;
    QPointF origin;
    {
        QMutexLocker lock(&spriteMutex());
        if (const Sprite* cached = spriteCache().object(key)) {
            image = cached->image;
            origin = cached->origin;
        }
    }
    if (image.isNull()) {
        const double margin = TaldoEffects::spreadForRadius(blurRadius) + penWidth + 1.0;
        const QSizeF logical(bounds.width() + 2 * margin + std::abs(offset.x()),
                             bounds.height() + 2 * margin + std::abs(offset.y()));
        const QSize pixels(static_cast<int>(std::ceil(logical.width() * scale)),
                           static_cast<int>(std::ceil(logical.height() * scale)));
        if (pixels.isEmpty() || pixels.width() > 8192 || pixels.height() > 8192)
            return;
        image = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        origin = QPointF(-margin + std::min(0.0, offset.x()), -margin + std::min(0.0, offset.y()));
        {
            QPainter p(&image);
            p.setRenderHint(QPainter::Antialiasing);
            p.scale(scale, scale);
            p.translate(-origin - bounds.topLeft() + offset);
            if (penWidth > 0) {
                p.strokePath(shape, QPen(Qt::black, penWidth));
            } else {
                p.fillPath(shape, Qt::black);
            }
        }
        TaldoEffects::blur(image, TaldoEffects::sigmaForRadius(blurRadius) * scale);
        {
            QPainter p(&image);
            p.setCompositionMode(QPainter::CompositionMode_SourceIn);
            p.fillRect(image.rect(), color);
        }
        image.setDevicePixelRatio(scale);
        QMutexLocker lock(&spriteMutex());
        spriteCache().insert(key, new Sprite{image, origin},
                             std::max<qsizetype>(1, image.sizeInBytes() / 1024));
    }
    painter.drawImage(bounds.topLeft() + origin, image);
}

} // namespace

QEasingCurve TaldoEffects::easeOut() {
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.0, 0.0), QPointF(0.58, 1.0), QPointF(1.0, 1.0));
    return curve;
}

QColor TaldoEffects::blend(const QColor& a, const QColor& b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    const double aa = a.alphaF(), ba = b.alphaF();
    const double alpha = aa + (ba - aa) * t;
    if (alpha <= 0.0) {
        const QColor& hue = t < 0.5 ? a : b;
        return QColor::fromRgbF(hue.redF(), hue.greenF(), hue.blueF(), 0.0f);
    }
    auto channel = [&](double ca, double cb) {
        return static_cast<float>(std::clamp((ca * aa + (cb * ba - ca * aa) * t) / alpha, 0.0, 1.0));
    };
    return QColor::fromRgbF(channel(a.redF(), b.redF()), channel(a.greenF(), b.greenF()),
                            channel(a.blueF(), b.blueF()), static_cast<float>(std::clamp(alpha, 0.0, 1.0)));
}

TaldoShadow TaldoEffects::blend(const TaldoShadow& a, const TaldoShadow& b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {blend(a.color, b.color, t), a.radius + (b.radius - a.radius) * t, a.offset + (b.offset - a.offset) * t};
}

double TaldoEffects::sigmaForRadius(double radius) {
    return std::max(0.0, radius) / 2.0;
}

double TaldoEffects::spreadForRadius(double radius) {
    return std::ceil(3.0 * sigmaForRadius(radius));
}

double TaldoEffects::spreadOf(std::span<const TaldoShadow> shadows) {
    double spread = 0.0;
    for (const TaldoShadow& s : shadows) {
        if (!s.isVisible())
            continue;
        spread = std::max(spread, spreadForRadius(s.radius) + std::max(std::abs(s.offset.x()), std::abs(s.offset.y())));
    }
    return spread;
}

void TaldoEffects::blur(QImage& image, double sigmaPixels) {
    if (image.isNull() || sigmaPixels < 0.3)
        return;
    if (image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int width = image.width();
    const int height = image.height();
    const std::array<int, 3> radii = boxRadiiForGauss(sigmaPixels);
    std::vector<uchar> scratch(static_cast<size_t>(std::max(width, height)) * 4);
    const int bpl = static_cast<int>(image.bytesPerLine());
    uchar* bits = image.bits();
    for (int radius : radii) {
        if (radius <= 0)
            continue;
        for (int y = 0; y < height; ++y) {
            uchar* row = bits + static_cast<ptrdiff_t>(y) * bpl;
            boxLine(row, 4, scratch.data(), 4, width, radius);
            std::copy_n(scratch.data(), static_cast<size_t>(width) * 4, row);
        }
        for (int x = 0; x < width; ++x) {
            uchar* column = bits + static_cast<ptrdiff_t>(x) * 4;
            boxLine(column, bpl, scratch.data(), 4, height, radius);
            for (int y = 0; y < height; ++y)
                std::copy_n(scratch.data() + static_cast<ptrdiff_t>(y) * 4, 4, column + static_cast<ptrdiff_t>(y) * bpl);
        }
    }
}

QImage TaldoEffects::shadowOf(const QImage& layer, const TaldoShadow& shadow) {
    QImage result(layer.size(), QImage::Format_ARGB32_Premultiplied);
    result.setDevicePixelRatio(layer.devicePixelRatio());
    result.fill(Qt::transparent);
    if (!shadow.isVisible())
        return result;
    {
        QPainter p(&result);
        p.drawImage(shadow.offset, layer);
    }
    blur(result, sigmaForRadius(shadow.radius) * layer.devicePixelRatio());
    result.setDevicePixelRatio(layer.devicePixelRatio());
    {
        QPainter p(&result);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(QRectF(QPointF(0, 0), result.deviceIndependentSize()), shadow.color);
    }
    return result;
}

void TaldoEffects::drawShapeShadow(QPainter& painter, const QPainterPath& shape, const TaldoShadow& shadow) {
    if (!shadow.isVisible())
        return;
    drawBlurredShape(painter, shape, shadow.color, 0.0, shadow.radius, shadow.offset);
}

void TaldoEffects::drawBlurredOutline(QPainter& painter, const QPainterPath& shape, const QColor& color, double width,
                                      double blurRadius) {
    drawBlurredShape(painter, shape, color, std::max(0.01, width), blurRadius, QPointF());
}

void TaldoEffects::drawBlurredFill(QPainter& painter, const QPainterPath& shape, const QColor& color,
                                   double blurRadius) {
    drawBlurredShape(painter, shape, color, 0.0, blurRadius, QPointF());
}

void TaldoEffects::drawFocusRing(QPainter& painter, const QPainterPath& shape) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QColor teal = TaldoTheme::accentTeal();
    teal.setAlphaF(0.9);
    painter.strokePath(shape, QPen(teal, 2.0));
    painter.restore();
}

} // namespace tarnwick
