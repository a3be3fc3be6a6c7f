#pragma once

#include "design/TaldoEffects.h"

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QRectF>
#include <QString>

#include <array>

class QPainter;

namespace tarnwick {

enum class TaldoButtonKind { glow, primary, ghost, danger };

// Everything a button style draws for one state. Layers from back to front: the blurred `halo`
// shape (glow buttons only), the `fill` gradient (top to bottom) in the button's shape, the
// `outline`, then the label (symbol and text) in `text`. The shadows are cast by all of it.
struct TaldoButtonParameters {
    TaldoButtonKind kind = TaldoButtonKind::primary;
    bool capsule = true;            // else a rounded rectangle of `cornerRadius`
    double cornerRadius = 0.0;
    QColor halo;                    // transparent: none
    double haloBlur = 0.0;
    double haloScale = 1.0;
    std::array<QColor, 3> fill;     // top, middle, bottom
    QColor outline;                 // width 1; transparent: none
    std::array<TaldoShadow, 2> shadows;
    QColor text;
    double scale = 1.0;             // of the whole label about its centre
    double opacity = 1.0;           // of the whole button; lowered while disabled
    int fontPixelSize = 13;
    int fontWeight = QFont::Normal;
    double insetX = 0.0;            // left and right
    double insetY = 0.0;            // top and bottom

    static TaldoButtonParameters interpolated(const TaldoButtonParameters& from, const TaldoButtonParameters& to,
                                              double t);
    friend bool operator==(const TaldoButtonParameters&, const TaldoButtonParameters&) = default;
};

// The four button styles as pure functions of their state, and their painting.
class TaldoButtonStyle {
public:
    TaldoButtonStyle() = delete;

    static constexpr double disabledOpacity = 0.45;
    static constexpr double symbolSpacing = 6.0;
    static constexpr int hoverAnimationMs = 180;
    static constexpr int pressAnimationMs = 120;

    // The glow button: active while hovered or pressed.
    static TaldoButtonParameters glow(const QColor& tint, bool hovering, bool pressed, bool enabled = true);
    static TaldoButtonParameters primary(bool pressed, bool enabled = true);
    static TaldoButtonParameters ghost(bool pressed, bool enabled = true);
    static TaldoButtonParameters danger(bool pressed, bool enabled = true);
    // Any style; `tint` matters only to the glow button, `hovering` only to the glow button.
    static TaldoButtonParameters parameters(TaldoButtonKind kind, const QColor& tint, bool hovering, bool pressed,
                                            bool enabled = true);
    // A state part-way through its animations: amounts run from 0 (off) to 1 (on).
    static TaldoButtonParameters animated(TaldoButtonKind kind, const QColor& tint, double hoverAmount,
                                          double pressAmount, bool enabled = true);

    // The label's font, built on `base` (the system font).
    static QFont font(const TaldoButtonParameters& parameters, const QFont& base = QFont());
    // Side of the symbol drawn beside the text.
    static int symbolSize(const TaldoButtonParameters& parameters);
    // The button's size: the label inset by the style's padding.
    static QSizeF sizeFor(const TaldoButtonParameters& parameters, const QFont& base, const QString& text,
                          bool hasSymbol);
    // How far halo and shadows reach beyond a button of `size`.
    static double spread(const TaldoButtonParameters& parameters, const QSizeF& size);
    static QPainterPath shape(const TaldoButtonParameters& parameters, const QRectF& rect);

    // The halo behind the button (glow buttons), already scaled with the label.
    static void paintHalo(QPainter& painter, const QRectF& rect, const TaldoButtonParameters& parameters);
    // Fill, outline and label; `symbol` is drawn as given (tint it with `parameters.text`).
    static void paintBody(QPainter& painter, const QRectF& rect, const TaldoButtonParameters& parameters,
                          const QString& text, const QIcon& symbol, const QFont& base = QFont());
    // The whole button in `rect`: shadows (beyond the rect), halo, fill, outline and label.
    static void paint(QPainter& painter, const QRectF& rect, const TaldoButtonParameters& parameters,
                      const QString& text, const QIcon& symbol = QIcon(), const QFont& base = QFont());
};

} // namespace tarnwick
