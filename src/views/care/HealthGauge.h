#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace tarnwick {

// The home screen's gauge: a 200 × 200 ring over a soft glow and a dark
// disc, its arc filled clockwise from the top over the fill value, with a
// large figure over a small caption in the centre. Its glows follow the
// hover amount of the card it sits on (0 pointer away, 1 pointer over it).
class HealthGauge : public QWidget {
    Q_OBJECT

public:
    static constexpr int side = 200;
    static constexpr int centreWidth = 96;  // the width the figure must fit
    static constexpr double minimumFigureScale = 0.65;

    explicit HealthGauge(QWidget* parent = nullptr);

    // What the gauge shows; the fill is held to 0...1 (anything else, NaN
    // included, is drawn at its nearest end or as empty).
    void setFill(double fill);
    void setTint(const QColor& tint);
    void setFigure(const QString& figure, int pixelSize);
    void setCaption(const QString& caption);
    void setHoverAmount(double amount);

    double fill() const { return fill_; }
    const QColor& tint() const { return tint_; }
    const QString& figure() const { return figure_; }
    int figurePixelSize() const { return figurePixelSize_; }
    const QString& caption() const { return caption_; }

    // The arc's sweep in degrees for a fill value: 0 to 360, never negative
    // or beyond the full ring, 0 for NaN.
    static double sweepDegrees(double fill);
    // The pixel size the figure is drawn at so that it fits the centre:
    // its own size, shrunk to at most 0.65 of it.
    int fittedFigurePixelSize() const;

    QSize sizeHint() const override { return {side, side}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double fill_ = 0.0;
    QColor tint_;
    QString figure_;
    int figurePixelSize_ = 32;
    QString caption_;
    double hover_ = 0.0;
};

}  // namespace tarnwick
