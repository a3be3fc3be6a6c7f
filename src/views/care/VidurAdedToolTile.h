#pragma once

#include "views/care/GlassTileButton.h"

#include <array>
#include <functional>

namespace tarnwick {

class ClampedText;

// One tile of the home screen's tool grid: a glowing symbol badge, the
// title, a subtitle of at most two lines and an accent bar, on hover glass
// glowing in the tile's tint and lit while the pointer is over it. A click
// anywhere inside runs the tile's action.
class VidurAdedToolTile : public GlassTileButton {
    Q_OBJECT

public:
    static constexpr int minimumTileHeight = 124;
    static constexpr int badgeSide = 42;

    VidurAdedToolTile(const QString& title, const QString& subtitle, const QString& icon, const QColor& tint,
                      std::function<void()> action, QWidget* parent = nullptr);

    const QString& title() const { return title_; }
    const QString& subtitle() const { return subtitle_; }
    const QString& icon() const { return icon_; }
    const QColor& tint() const { return tint_; }
    // True while the pointer is over the tile.
    bool hovering() const { return isHovering(); }

    // The badge's look at a hover amount (0 pointer away, 1 over the tile):
    // fill opacity 0.12 to 0.22, glow opacity 0.12 to 0.55, glow radius 3 to 12.
    struct BadgeLook {
        double fillOpacity;
        double glowOpacity;
        double glowRadius;
    };
    static BadgeLook badgeLook(double hoverAmount);
    // The accent bar's three gradient opacities: 0.08, 0.22, 0.08 away, 0.2, 0.55, 0.2 hovered.
    static std::array<double, 3> accentOpacities(double hoverAmount);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* badge_ = nullptr;
    QString title_;
    QString subtitle_;
    QString icon_;
    QColor tint_;
    std::function<void()> action_;
};

}  // namespace tarnwick
