#include "views/common/PanelStrip.h"

#include <QPainter>

namespace tarnwick {

PanelStrip::PanelStrip(const QColor& fill, QWidget* parent) : QWidget(parent), fill_(fill) {}

void PanelStrip::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), fill_);
}

}  // namespace tarnwick
