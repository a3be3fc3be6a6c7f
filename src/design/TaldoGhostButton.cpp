#include "design/TaldoGhostButton.h"

namespace tarnwick {

TaldoGhostButton::TaldoGhostButton(const QString& text, QWidget* parent)
    : TaldoButton(TaldoButtonKind::ghost, text, parent) {}

} // namespace tarnwick
