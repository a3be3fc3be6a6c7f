#include "design/TaldoDangerButton.h"

namespace tarnwick {

TaldoDangerButton::TaldoDangerButton(const QString& text, QWidget* parent)
    : TaldoButton(TaldoButtonKind::danger, text, parent) {}

} // namespace tarnwick
