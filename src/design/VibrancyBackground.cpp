#include "design/VibrancyBackground.h"

#include "design/TaldoTheme.h"

#include <QPainter>

namespace tarnwick {

VibrancyBackground::VibrancyBackground(VibrancyMaterial material, VibrancyBlendingMode blendingMode, QWidget* parent)
    : QWidget(parent), m_material(material), m_blendingMode(blendingMode) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void VibrancyBackground::setMaterial(VibrancyMaterial material, VibrancyBlendingMode blendingMode) {
    m_material = material;
    m_blendingMode = blendingMode;
    update();
}

QColor VibrancyBackground::fillColor(VibrancyMaterial material, VibrancyBlendingMode blendingMode) {
    switch (material) {
    case VibrancyMaterial::underWindowBackground:
        // The dark window material: an opaque charcoal a little lighter than the theme's background.
        return TaldoTheme::rgb(0.115, 0.12, 0.135, 1.0);
    case VibrancyMaterial::sidebar:
        // Sidebars read a shade lighter than the window; over other content they stay translucent.
        return blendingMode == VibrancyBlendingMode::behindWindow ? TaldoTheme::rgb(0.15, 0.155, 0.17, 0.86)
                                                                  : TaldoTheme::rgb(0.15, 0.155, 0.17, 0.72);
    }
    return TaldoTheme::background();
}

void VibrancyBackground::paint(QPainter& painter, const QRectF& rect, VibrancyMaterial material,
                               VibrancyBlendingMode blendingMode) {
    painter.fillRect(rect, fillColor(material, blendingMode));
}

void VibrancyBackground::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paint(painter, rect(), m_material, m_blendingMode);
}

} // namespace tarnwick
