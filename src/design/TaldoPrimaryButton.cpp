#include "design/TaldoPrimaryButton.h"

namespace tarnwick {

TaldoPrimaryButton::TaldoPrimaryButton(const QString& text, QWidget* parent)
    : TaldoButton(TaldoButtonKind::primary, text, parent) {}

} // namespace tarnwick
