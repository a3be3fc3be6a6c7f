#include "views/common/HairlineDivider.h"

#include "design/TaldoTheme.h"

#include <QPainter>

namespace tarnwick {

HairlineDivider::HairlineDivider(Qt::Orientation orientation, QWidget* parent)
    : HairlineDivider(orientation, TaldoTheme::panelBorder(), parent) {}

HairlineDivider::HairlineDivider(Qt::Orientation orientation, const QColor& color, QWidget* parent)
    : QWidget(parent), color_(color) {
    if (orientation == Qt::Horizontal) {
        setFixedHeight(1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    } else {
        setFixedWidth(1);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    }
}

void HairlineDivider::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), color_);
}

}  // namespace tarnwick
