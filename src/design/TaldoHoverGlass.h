#pragma once

#include "design/TaldoGlassCard.h"

class QVariantAnimation;

namespace tarnwick {

// A glass card that lights up while the pointer is over it; the change eases out over 0.18 s.
// A card without a glow colour never lights up, so it stays unchanged under the pointer.
class TaldoHoverGlass : public TaldoGlassCard {
    Q_OBJECT
public:
    explicit TaldoHoverGlass(QWidget* parent = nullptr);
    TaldoHoverGlass(double cornerRadius, std::optional<QColor> glow, bool intense, QWidget* parent = nullptr);

    bool isHovering() const { return m_hovering; }
    // 0 with the pointer away, 1 over the card, in between while the change animates.
    double hoverAmount() const { return m_hoverAmount; }

    TaldoGlassParameters parameters() const override;

signals:
    // The hover amount moved (each step of the animation), for content drawn to follow it.
    void hoverAmountChanged(double amount);

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void setHovering(bool hovering);

    bool m_hovering = false;
    double m_hoverAmount = 0.0;
    QVariantAnimation* m_animation = nullptr;
};

} // namespace tarnwick
