#include "design/SymbolIcons.h"

#include <QDir>
#include <QFont>
#include <QHash>
#include <QIconEngine>
#include <QMutex>
#include <QMutexLocker>
#include <QPainter>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace tarnwick {

namespace {

const QHash<QString, QString>& table() {
    // Symbol name -> symbolic icon of the Adwaita theme.
    static const QHash<QString, QString> names = {
        {QStringLiteral("app.badge.checkmark"), QStringLiteral("view-app-grid-symbolic")},
        {QStringLiteral("arrow.clockwise"), QStringLiteral("view-refresh-symbolic")},
        {QStringLiteral("arrow.down.circle"), QStringLiteral("folder-download-symbolic")},
        {QStringLiteral("battery.100"), QStringLiteral("battery-level-100-symbolic")},
        {QStringLiteral("brain"), QStringLiteral("emoji-objects-symbolic")},
        {QStringLiteral("camera.viewfinder"), QStringLiteral("applets-screenshooter-symbolic")},
        {QStringLiteral("chart.bar.fill"), QStringLiteral("network-cellular-signal-excellent-symbolic")},
        {QStringLiteral("checkmark.circle.fill"), QStringLiteral("emblem-default-symbolic")},
        {QStringLiteral("chevron.right"), QStringLiteral("go-next-symbolic")},
        {QStringLiteral("circle"), QStringLiteral("radio-symbolic")},
        {QStringLiteral("circle.grid.cross"), QStringLiteral("find-location-symbolic")},
        {QStringLiteral("circle.hexagongrid.fill"), QStringLiteral("input-dialpad-symbolic")},
        {QStringLiteral("clock.arrow.circlepath"), QStringLiteral("document-open-recent-symbolic")},
        {QStringLiteral("cpu"), QStringLiteral("drive-harddisk-solidstate-symbolic")},
        {QStringLiteral("doc"), QStringLiteral("text-x-generic-symbolic")},
        {QStringLiteral("doc.on.doc"), QStringLiteral("edit-copy-symbolic")},
        {QStringLiteral("doc.text"), QStringLiteral("x-office-document-symbolic")},
        {QStringLiteral("ellipsis.circle"), QStringLiteral("view-more-horizontal-symbolic")},
        {QStringLiteral("envelope"), QStringLiteral("mail-unread-symbolic")},
        {QStringLiteral("eye"), QStringLiteral("view-reveal-symbolic")},
        {QStringLiteral("folder"), QStringLiteral("folder-symbolic")},
        {QStringLiteral("folder.fill"), QStringLiteral("folder-symbolic")},
        {QStringLiteral("gauge.medium"), QStringLiteral("power-profile-balanced-symbolic")},
        {QStringLiteral("gearshape"), QStringLiteral("emblem-system-symbolic")},
        {QStringLiteral("globe"), QStringLiteral("web-browser-symbolic")},
        {QStringLiteral("hammer"), QStringLiteral("applications-utilities-symbolic")},
        {QStringLiteral("heart.fill"), QStringLiteral("emote-love-symbolic")},
        {QStringLiteral("heart.text.square.fill"), QStringLiteral("emblem-favorite-symbolic")},
        {QStringLiteral("hourglass"), QStringLiteral("alarm-symbolic")},
        {QStringLiteral("internaldrive"), QStringLiteral("drive-harddisk-symbolic")},
        {QStringLiteral("internaldrive.fill"), QStringLiteral("drive-harddisk-system-symbolic")},
        {QStringLiteral("iphone"), QStringLiteral("phone-symbolic")},
        {QStringLiteral("lock.fill"), QStringLiteral("system-lock-screen-symbolic")},
        {QStringLiteral("magnifyingglass"), QStringLiteral("system-search-symbolic")},
        {QStringLiteral("memorychip"), QStringLiteral("media-flash-symbolic")},
        {QStringLiteral("photo"), QStringLiteral("image-x-generic-symbolic")},
        {QStringLiteral("photo.on.rectangle.angled"), QStringLiteral("emblem-photos-symbolic")},
        {QStringLiteral("power"), QStringLiteral("system-shutdown-symbolic")},
        {QStringLiteral("shield.lefthalf.filled"), QStringLiteral("security-high-symbolic")},
        {QStringLiteral("shippingbox"), QStringLiteral("package-x-generic-symbolic")},
        {QStringLiteral("shippingbox.and.arrow.backward"), QStringLiteral("application-x-appliance-symbolic")},
        {QStringLiteral("sparkles"), QStringLiteral("starred-symbolic")},
        {QStringLiteral("square.grid.2x2"), QStringLiteral("view-grid-symbolic")},
        {QStringLiteral("square.stack.3d.up"), QStringLiteral("view-paged-symbolic")},
        {QStringLiteral("trash"), QStringLiteral("user-trash-symbolic")},
        {QStringLiteral("tray.and.arrow.down"), QStringLiteral("document-save-symbolic")},
        {QStringLiteral("tray.full.fill"), QStringLiteral("user-trash-full-symbolic")},
        {QStringLiteral("wrench.and.screwdriver"), QStringLiteral("preferences-system-symbolic")},
        {QStringLiteral("xmark.circle.fill"), QStringLiteral("process-stop-symbolic")},
    };
    return names;
}

bool isBlank(const QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(line[x]) != 0)
                return false;
    }
    return true;
}

// Draws the symbol in its tint at any size the icon is asked for.
class TintedSymbolEngine : public QIconEngine {
public:
    TintedSymbolEngine(QString symbol, QColor tint) : m_symbol(std::move(symbol)), m_tint(std::move(tint)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        const double dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        const int side = std::max(1, static_cast<int>(std::lround(std::min(rect.width(), rect.height()) * dpr)));
        QImage image = SymbolIcons::image(m_symbol, m_tint, side);
        image.setDevicePixelRatio(dpr);
        painter->save();
        if (mode == QIcon::Disabled)
            painter->setOpacity(painter->opacity() * 0.4);
        const QSizeF logical = image.deviceIndependentSize();
        painter->drawImage(QPointF(rect.x() + (rect.width() - logical.width()) / 2.0,
                                   rect.y() + (rect.height() - logical.height()) / 2.0),
                           image);
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
        QPixmap pixmap((QSizeF(size) * scale).toSize());
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int side = std::min(size.width(), size.height());
        return {side, side};
    }

    QIconEngine* clone() const override { return new TintedSymbolEngine(m_symbol, m_tint); }
    QString key() const override { return QStringLiteral("tarnwick.symbol"); }
    bool isNull() override { return false; }

private:
    QString m_symbol;
    QColor m_tint;
};

} // namespace

void SymbolIcons::useIconTheme() {
    static std::once_flag once;
    std::call_once(once, [] {
        QStringList paths = QIcon::themeSearchPaths();
        const QStringList systemFolders =
            QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"),
                                      QStandardPaths::LocateDirectory) +
            QStringList{QStringLiteral("/usr/share/icons"), QStringLiteral("/usr/local/share/icons")};
        for (const QString& folder : systemFolders) {
            const QString clean = QDir::cleanPath(folder);
            if (!paths.contains(clean) && QDir(clean).exists())
                paths << clean;
        }
        QIcon::setThemeSearchPaths(paths);
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    });
}

QString SymbolIcons::themeName(const QString& symbolName) {
    return table().value(symbolName);
}

QStringList SymbolIcons::knownSymbols() {
    QStringList names = table().keys();
    names.sort();
    return names;
}

bool SymbolIcons::hasThemeIcon(const QString& symbolName) {
    useIconTheme();
    const QString name = themeName(symbolName);
    return !name.isEmpty() && QIcon::hasThemeIcon(name);
}

QIcon SymbolIcons::icon(const QString& symbolName, const QColor& tint, int size) {
    Q_UNUSED(size);
    return QIcon(new TintedSymbolEngine(symbolName, tint));
}

namespace {

QImage renderSymbol(const QString& symbolName, const QColor& tint, int pixelSide);

} // namespace

QImage SymbolIcons::image(const QString& symbolName, const QColor& tint, int pixelSide) {
    pixelSide = std::max(1, pixelSide);
    // Rendering a theme icon reads and draws its SVG; keep the recent results.
    static QMutex mutex;
    static QHash<QString, QImage> cache;
    const QString key = symbolName + QLatin1Char('|') + QString::number(tint.rgba(), 16) + QLatin1Char('|') +
                        QString::number(pixelSide);
    {
        QMutexLocker lock(&mutex);
        const auto found = cache.constFind(key);
        if (found != cache.constEnd())
            return *found;
    }
    QImage result = renderSymbol(symbolName, tint, pixelSide);
    QMutexLocker lock(&mutex);
    if (cache.size() > 600)
        cache.clear();
    cache.insert(key, result);
    return result;
}

namespace {

QImage renderSymbol(const QString& symbolName, const QColor& tint, int pixelSide) {
    if (SymbolIcons::hasThemeIcon(symbolName)) {
        const QIcon themed = QIcon::fromTheme(SymbolIcons::themeName(symbolName));
        QImage image = themed.pixmap(QSize(pixelSide, pixelSide), 1.0)
                           .toImage()
                           .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (!image.isNull() && !isBlank(image)) {
            if (image.size() != QSize(pixelSide, pixelSide)) {
                QImage square(pixelSide, pixelSide, QImage::Format_ARGB32_Premultiplied);
                square.fill(Qt::transparent);
                QPainter p(&square);
                p.setRenderHint(QPainter::SmoothPixmapTransform);
                p.drawImage(QRect(0, 0, pixelSide, pixelSide), image);
                p.end();
                image = square;
            }
            // A symbol is drawn at full strength even where the theme draws a whole icon faded
            // (its unchecked radio ring, for one): the strongest pixel becomes fully opaque.
            int strongest = 0;
            for (int y = 0; y < image.height(); ++y) {
                const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
                for (int x = 0; x < image.width(); ++x)
                    strongest = std::max(strongest, qAlpha(line[x]));
            }
            if (strongest > 0 && strongest < 255) {
                for (int y = 0; y < image.height(); ++y) {
                    QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
                    for (int x = 0; x < image.width(); ++x) {
                        const int alpha = std::min(255, qAlpha(line[x]) * 255 / strongest);
                        line[x] = qRgba(0, 0, 0, alpha);
                    }
                }
            }
            // Symbolic icons are one dark colour; keep their alpha and paint the tint through it.
            QPainter p(&image);
            p.setCompositionMode(QPainter::CompositionMode_SourceIn);
            p.fillRect(image.rect(), tint);
            return image;
        }
    }
    return SymbolIcons::fallbackImage(symbolName, tint, pixelSide);
}

} // namespace

QImage SymbolIcons::fallbackImage(const QString& symbolName, const QColor& tint, int pixelSide) {
    pixelSide = std::max(1, pixelSide);
    QImage image(pixelSide, pixelSide, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const double side = pixelSide;
    const double stroke = std::max(1.0, side / 12.0);
    const QRectF square(stroke / 2 + side * 0.06, stroke / 2 + side * 0.06, side * 0.88 - stroke, side * 0.88 - stroke);
    p.setPen(QPen(tint, stroke));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(square, side * 0.22, side * 0.22);
    const QString letter = symbolName.trimmed().isEmpty() ? QStringLiteral("?") : symbolName.trimmed().left(1).toUpper();
    QFont font;
    font.setPixelSize(std::max(1, static_cast<int>(side * 0.55)));
    font.setBold(true);
    p.setFont(font);
    p.drawText(square, Qt::AlignCenter, letter);
    p.end();
    return image;
}

} // namespace tarnwick
