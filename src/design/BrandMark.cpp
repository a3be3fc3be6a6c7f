#include "design/BrandMark.h"

#include "design/SymbolIcons.h"
#include "design/TaldoEffects.h"
#include "design/TaldoShadowEffect.h"
#include "design/TaldoTheme.h"

#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QPaintDevice>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace tarnwick {

namespace {

const QString kSymbol = QStringLiteral("internaldrive.fill");

QString bundledImagePath(const QString& name) {
    for (const char* extension : {".svg", ".png"}) {
        const QString path = QStringLiteral(":/brand/") + name + QLatin1String(extension);
        if (QFile::exists(path))
            return path;
    }
    return {};
}

TaldoShadow markShadow(bool glow) {
    return glow ? TaldoShadow{TaldoTheme::withOpacity(TaldoTheme::accentLime(), 0.35), 8.0, QPointF(0, 1)}
                : TaldoShadow{QColor(Qt::transparent), 0.0, QPointF(0, 1)};
}

// The picture scaled to fit a square of `side` pixels, centred, with smooth interpolation.
QImage picture(int side) {
    QImage source;
    if (const QString mark = bundledImagePath(QStringLiteral("TarnwickMark")); !mark.isEmpty())
        source = QIcon(mark).pixmap(QSize(side, side), 1.0).toImage();
    else if (const QString logo = bundledImagePath(QStringLiteral("TarnwickLogo")); !logo.isEmpty())
        source = QIcon(logo).pixmap(QSize(side, side), 1.0).toImage();
    else if (!QGuiApplication::windowIcon().isNull() && !QGuiApplication::windowIcon().availableSizes().isEmpty())
        source = QGuiApplication::windowIcon().pixmap(QSize(side, side), 1.0).toImage();
    if (source.isNull()) {
        // The symbol's glyph is drawn at the proportion a symbol keeps inside its own frame, so the
        // circle reads as a badge rather than a cut-off tile.
        const int glyph = std::max(1, static_cast<int>(std::lround(side * 0.62)));
        source = QImage(side, side, QImage::Format_ARGB32_Premultiplied);
        source.fill(Qt::transparent);
        QPainter p(&source);
        p.drawImage(QPoint((side - glyph) / 2, (side - glyph) / 2),
                    SymbolIcons::image(kSymbol, TaldoTheme::textPrimary(), glyph));
    }
    QImage fitted(side, side, QImage::Format_ARGB32_Premultiplied);
    fitted.fill(Qt::transparent);
    QPainter p(&fitted);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QSize scaled = source.size().scaled(side, side, Qt::KeepAspectRatio);
    p.drawImage(QRect(QPoint((side - scaled.width()) / 2, (side - scaled.height()) / 2), scaled), source);
    return fitted;
}

} // namespace

BrandMark::BrandMark(double size, bool glow, QWidget* parent) : QWidget(parent), m_size(size), m_glow(glow) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setGraphicsEffect(new TaldoShadowEffect(this));
    refreshLook();
}

void BrandMark::setMarkSize(double size) {
    m_size = size;
    updateGeometry();
    refreshLook();
}

void BrandMark::setGlow(bool glow) {
    m_glow = glow;
    refreshLook();
}

QString BrandMark::sourceName() {
    if (!bundledImagePath(QStringLiteral("TarnwickMark")).isEmpty())
        return QStringLiteral("TarnwickMark");
    if (!bundledImagePath(QStringLiteral("TarnwickLogo")).isEmpty())
        return QStringLiteral("TarnwickLogo");
    if (!QGuiApplication::windowIcon().isNull() && !QGuiApplication::windowIcon().availableSizes().isEmpty())
        return QStringLiteral("AppIcon");
    return kSymbol;
}

QImage BrandMark::markImage(int pixelSide, double scale) {
    pixelSide = std::max(1, pixelSide);
    QImage image(pixelSide, pixelSide, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath circle;
    circle.addEllipse(QRectF(0, 0, pixelSide, pixelSide));
    p.setClipPath(circle);
    p.drawImage(0, 0, picture(pixelSide));
    p.setClipping(false);
    // Border of width 0.8 pt inside the circle's edge.
    const double width = 0.8 * scale;
    p.setPen(QPen(TaldoTheme::withOpacity(Qt::white, 0.14), width));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(width / 2, width / 2, pixelSide - width, pixelSide - width));
    return image;
}

void BrandMark::paint(QPainter& painter, const QPointF& topLeft, double size, bool glow) {
    const double dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const TaldoShadow shadow = markShadow(glow);
    const double margin = std::ceil(TaldoEffects::spreadOf({&shadow, 1}) + 1.0);
    QImage layer(QSizeF((size + 2 * margin) * dpr, (size + 2 * margin) * dpr).toSize(),
                 QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    {
        QPainter p(&layer);
        QImage mark = markImage(static_cast<int>(std::lround(size * dpr)), dpr);
        p.drawImage(QPointF(margin * dpr, margin * dpr), mark);
    }
    layer.setDevicePixelRatio(dpr);
    const QPointF origin = topLeft - QPointF(margin, margin);
    if (shadow.isVisible())
        painter.drawImage(origin, TaldoEffects::shadowOf(layer, shadow));
    painter.drawImage(origin, layer);
}

QImage BrandMark::appIcon(int pixelSide) {
    pixelSide = std::max(1, pixelSide);
    const double side = pixelSide;
    QImage image(pixelSide, pixelSide, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);

    // The disc: the window's dark panel, lighter at the top, with a teal ring.
    const double ring = std::max(1.0, side / 40.0);
    const QRectF disc(ring / 2, ring / 2, side - ring, side - ring);
    QLinearGradient fill(disc.topLeft(), disc.bottomLeft());
    fill.setColorAt(0.0, TaldoTheme::panelSolid().lighter(130));
    fill.setColorAt(1.0, TaldoTheme::background());
    p.setPen(QPen(TaldoTheme::withOpacity(TaldoTheme::accentTeal(), 0.55), ring));
    p.setBrush(fill);
    p.drawEllipse(disc);

    // The mark inside it, glowing where there is room for the glow.
    const double markSide = std::round(side * 0.78);
    const QPointF corner((side - markSide) / 2, (side - markSide) / 2);
    if (pixelSide >= 48) {
        paint(p, corner, markSide, true);
    } else {
        p.drawImage(corner, markImage(static_cast<int>(markSide)));
    }
    return image;
}

QSize BrandMark::sizeHint() const {
    const int side = static_cast<int>(std::ceil(m_size));
    return {side, side};
}

void BrandMark::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const double dpr = devicePixelRatioF();
    QImage mark = markImage(static_cast<int>(std::lround(m_size * dpr)), dpr);
    mark.setDevicePixelRatio(dpr);
    painter.drawImage(QPointF((width() - m_size) / 2.0, (height() - m_size) / 2.0), mark);
}

void BrandMark::refreshLook() {
    auto* effect = static_cast<TaldoShadowEffect*>(graphicsEffect());
    effect->setShadows({markShadow(m_glow)});
    setFixedSize(sizeHint());
    update();
}

} // namespace tarnwick
