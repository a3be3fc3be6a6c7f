#pragma once

#include <QImage>
#include <QWidget>

namespace tarnwick {

// The circular brand image. The picture is the first that exists of the bundled images
// "TarnwickMark" and "TarnwickLogo" (resources :/brand/NAME.svg or .png), then the application's
// window icon ("AppIcon"), else the system symbol "internaldrive.fill". It is scaled to fit a
// square of `size`, clipped to a circle, ringed by a faint white border and, with `glow`, lit by a
// lime shadow. The mark is decoration only: it takes no focus and ignores the mouse.
class BrandMark : public QWidget {
    Q_OBJECT
public:
    explicit BrandMark(double size = 30.0, bool glow = true, QWidget* parent = nullptr);

    double markSize() const { return m_size; }
    bool hasGlow() const { return m_glow; }
    void setMarkSize(double size);
    void setGlow(bool glow);

    // Which picture the mark shows: "TarnwickMark", "TarnwickLogo", "AppIcon" or "internaldrive.fill".
    static QString sourceName();
    // The mark itself (circle, picture and border; no shadow), `pixelSide` pixels square, drawn
    // at `scale` device pixels per point.
    static QImage markImage(int pixelSide, double scale = 1.0);
    // The application's icon, `pixelSide` pixels square: the mark on a dark disc ringed in the
    // teal accent, so it reads on light and dark menus alike; from 48 pixels up lit by the glow.
    static QImage appIcon(int pixelSide);
    // Draws the mark with its shadow into a square of `size` at `topLeft`.
    static void paint(QPainter& painter, const QPointF& topLeft, double size, bool glow);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refreshLook();

    double m_size;
    bool m_glow;
};

} // namespace tarnwick
