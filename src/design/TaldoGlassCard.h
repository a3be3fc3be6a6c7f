#pragma once

#include "design/TaldoGlassStyle.h"

#include <QWidget>

#include <optional>

namespace tarnwick {

class TaldoShadowEffect;

// A container wearing the glass card. Its children (laid out as usual) are the card's content;
// the card neither pads nor clips them. Shadows and the lit halo reach beyond the widget's rect
// into its surroundings, so neighbours need no extra margin.
class TaldoGlassCard : public QWidget {
    Q_OBJECT
public:
    explicit TaldoGlassCard(QWidget* parent = nullptr);
    TaldoGlassCard(double cornerRadius, std::optional<QColor> glow, bool intense, bool lit,
                   QWidget* parent = nullptr);

    double cornerRadius() const { return m_cornerRadius; }
    const std::optional<QColor>& glow() const { return m_glow; }
    bool isIntense() const { return m_intense; }
    bool isLit() const { return m_lit; }

    void setCornerRadius(double radius);
    void setGlow(std::optional<QColor> glow);
    void setIntense(bool intense);
    void setLit(bool lit);

    // The look as currently drawn.
    virtual TaldoGlassParameters parameters() const;

protected:
    // Call after anything that changes `parameters()`.
    void refreshLook();

private:
    double m_cornerRadius = 14.0;
    std::optional<QColor> m_glow;
    bool m_intense = false;
    bool m_lit = false;
    TaldoShadowEffect* m_effect = nullptr;
};

} // namespace tarnwick
