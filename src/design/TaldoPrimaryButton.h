#pragma once

#include "design/TaldoButton.h"

namespace tarnwick {

// The main action: an amber capsule with a soft amber shadow, dark semibold label.
class TaldoPrimaryButton : public TaldoButton {
    Q_OBJECT
public:
    explicit TaldoPrimaryButton(const QString& text = QString(), QWidget* parent = nullptr);
};

} // namespace tarnwick
