#pragma once

#include "design/TaldoEffects.h"

#include <QWidget>

#include <array>

class QVariantAnimation;

namespace tarnwick {

class TaldoShadowEffect;

// The home screen's hero card: a dark glass panel with continuous corners of
// radius 26, a diagonal teal tint, a gradient border and a teal shadow, all
// stronger while the pointer is over it; every change eases out over 0.18 s.
// Its children are the card's content.
class HeroGlassCard : public QWidget {
    Q_OBJECT

public:
    static constexpr double cornerRadius = 26.0;

    explicit HeroGlassCard(QWidget* parent = nullptr);

    bool isHovering() const { return hovering_; }
    // 0 with the pointer away, 1 over the card, in between while the change animates.
    double hoverAmount() const { return hoverAmount_; }

    // The shadows for a hover amount: teal at 0.06, radius 8, 2 points down
    // away from the pointer; at 0.28, radius 16, 3 points down with a second
    // glow of 0.14 and radius 28 under it.
    static std::array<TaldoShadow, 2> shadows(double hoverAmount);
    static void paintBackground(QPainter& painter, const QRectF& rect, double hoverAmount);

signals:
    void hoverAmountChanged(double amount);

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void setHovering(bool hovering);
    void refreshLook();

    bool hovering_ = false;
    double hoverAmount_ = 0.0;
    QVariantAnimation* animation_ = nullptr;
    TaldoShadowEffect* effect_ = nullptr;
};

}  // namespace tarnwick
