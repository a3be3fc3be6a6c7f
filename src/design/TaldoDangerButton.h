#pragma once

#include "design/TaldoButton.h"

namespace tarnwick {

// A destructive action: a red rounded rectangle (radius 8) with a white semibold label.
class TaldoDangerButton : public TaldoButton {
    Q_OBJECT
public:
    explicit TaldoDangerButton(const QString& text = QString(), QWidget* parent = nullptr);
};

} // namespace tarnwick
