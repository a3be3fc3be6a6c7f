#pragma once

#include "design/TaldoEffects.h"

#include <QColor>
#include <QRectF>

#include <array>
#include <optional>

class QPainter;

namespace tarnwick {

// Everything a glass card draws, resolved from its inputs. Layers from back to front: `base`,
// `material`, the diagonal `fill` gradient, the optional blurred `halo` outline and the diagonal
// `border` gradient outline; then two shadows behind the whole card.
struct TaldoGlassParameters {
    QColor base;                    // black at 0.28
    QColor material;                // stand-in for the dark ultra-thin material, layer opacity included
    std::array<QColor, 3> fill;     // top-leading, middle, bottom-trailing
    QColor halo;                    // transparent when the card is not lit
    double haloWidth = 1.0;
    double haloBlur = 4.0;
    std::array<QColor, 3> border;   // outline of width `borderWidth`
    double borderWidth = 1.0;
    std::array<TaldoShadow, 2> shadows;

    // Linear blend between two parameter sets (t = 0 gives `from`, 1 gives `to`).
    static TaldoGlassParameters interpolated(const TaldoGlassParameters& from, const TaldoGlassParameters& to,
                                             double t);
    friend bool operator==(const TaldoGlassParameters&, const TaldoGlassParameters&) = default;
};

// The glass card's look as pure functions, and its painting.
class TaldoGlassStyle {
public:
    TaldoGlassStyle() = delete;

    // The card for a glow colour (none: untinted), intensity and lit flag. A card lights up only
    // when it is lit and has a glow colour.
    static TaldoGlassParameters parameters(const std::optional<QColor>& glow, bool intense, bool lit);
    // The hover card: lit while hovered; `hoverAmount` runs from 0 (pointer away) to 1 (over it)
    // while the change animates.
    static TaldoGlassParameters hoverParameters(const std::optional<QColor>& glow, bool intense, double hoverAmount);

    // The colour the dark ultra-thin material is drawn with (no backdrop blur is available).
    static QColor materialColor();
    // How far the halo reaches beyond the card's edge.
    static double haloSpread(const TaldoGlassParameters& parameters);
    // Duration of the hover animation, in milliseconds.
    static constexpr int hoverAnimationMs = 180;

    // Draws the card's background layers (no shadows) into `rect`.
    static void paintBackground(QPainter& painter, const QRectF& rect, double cornerRadius,
                                const TaldoGlassParameters& parameters);
    // Draws the shadows, then the background layers; the shadows reach beyond `rect`.
    static void paint(QPainter& painter, const QRectF& rect, double cornerRadius,
                      const TaldoGlassParameters& parameters);
};

// Puts the glass card behind whatever is drawn next in `rect` (shadows included).
void taldoGlass(QPainter& painter, const QRectF& rect, double cornerRadius, const std::optional<QColor>& glow = {},
                bool intense = false, bool lit = false);
// The hover card at a given hover amount (0 pointer away, 1 pointer over it).
void taldoHoverGlass(QPainter& painter, const QRectF& rect, double cornerRadius,
                     const std::optional<QColor>& glow = {}, bool intense = false, double hoverAmount = 0.0);

} // namespace tarnwick
