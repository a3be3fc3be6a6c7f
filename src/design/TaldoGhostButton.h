#pragma once

#include "design/TaldoButton.h"

namespace tarnwick {

// A quiet action: a dark capsule with a hairline border and a light medium-weight label.
class TaldoGhostButton : public TaldoButton {
    Q_OBJECT
public:
    explicit TaldoGhostButton(const QString& text = QString(), QWidget* parent = nullptr);
};

} // namespace tarnwick
