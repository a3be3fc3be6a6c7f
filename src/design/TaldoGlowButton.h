#pragma once

#include "design/TaldoButton.h"

namespace tarnwick {

// The hero button: a tinted glowing capsule that brightens under the pointer and shrinks a little
// while pressed. Bold 14 px label in black at 0.82.
class TaldoGlowButton : public TaldoButton {
    Q_OBJECT
public:
    explicit TaldoGlowButton(const QColor& tint, const QString& text = QString(), QWidget* parent = nullptr);
};

} // namespace tarnwick
