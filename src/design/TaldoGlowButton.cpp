#include "design/TaldoGlowButton.h"

namespace tarnwick {

TaldoGlowButton::TaldoGlowButton(const QColor& tint, const QString& text, QWidget* parent)
    : TaldoButton(TaldoButtonKind::glow, text, parent) {
    setTint(tint);
}

} // namespace tarnwick
