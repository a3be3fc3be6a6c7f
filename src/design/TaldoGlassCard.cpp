#include "design/TaldoGlassCard.h"

#include "design/TaldoShadowEffect.h"

#include <QPainter>

namespace tarnwick {

TaldoGlassCard::TaldoGlassCard(QWidget* parent) : TaldoGlassCard(14.0, std::nullopt, false, false, parent) {}

TaldoGlassCard::TaldoGlassCard(double cornerRadius, std::optional<QColor> glow, bool intense, bool lit,
                               QWidget* parent)
    : QWidget(parent), m_cornerRadius(cornerRadius), m_glow(std::move(glow)), m_intense(intense), m_lit(lit) {
    m_effect = new TaldoShadowEffect(this);
    // The halo's reach is the same lit or not, so the effect's bounds never jump.
    const double spread = TaldoGlassStyle::haloSpread(TaldoGlassStyle::parameters(QColor(Qt::white), false, true));
    m_effect->setBackdrop(
        [this](QPainter& painter, const QRectF& rect) {
            TaldoGlassStyle::paintBackground(painter, rect, m_cornerRadius, parameters());
        },
        spread);
    setGraphicsEffect(m_effect);
    refreshLook();
}

void TaldoGlassCard::setCornerRadius(double radius) {
    m_cornerRadius = radius;
    refreshLook();
}

void TaldoGlassCard::setGlow(std::optional<QColor> glow) {
    m_glow = std::move(glow);
    refreshLook();
}

void TaldoGlassCard::setIntense(bool intense) {
    m_intense = intense;
    refreshLook();
}

void TaldoGlassCard::setLit(bool lit) {
    m_lit = lit;
    refreshLook();
}

TaldoGlassParameters TaldoGlassCard::parameters() const {
    return TaldoGlassStyle::parameters(m_glow, m_intense, m_lit);
}

void TaldoGlassCard::refreshLook() {
    const TaldoGlassParameters p = parameters();
    m_effect->setShadows({p.shadows.begin(), p.shadows.end()});
    m_effect->refresh();
}

} // namespace tarnwick
