#pragma once

#include <QWidget>

namespace tarnwick {

// The platform materials the window uses (raw values as the visual-effect materials number them).
enum class VibrancyMaterial { sidebar = 7, underWindowBackground = 21 };
enum class VibrancyBlendingMode { behindWindow = 0, withinWindow = 1 };

// A backdrop standing for the platform's visual-effect view. No blur of the desktop behind the
// window is available here, so each material is drawn as the solid or translucent dark fill it
// resembles; it always looks active, whether or not the window has focus.
class VibrancyBackground : public QWidget {
    Q_OBJECT
public:
    VibrancyBackground(VibrancyMaterial material, VibrancyBlendingMode blendingMode, QWidget* parent = nullptr);

    VibrancyMaterial material() const { return m_material; }
    VibrancyBlendingMode blendingMode() const { return m_blendingMode; }
    // Takes both fields again and repaints (the update step).
    void setMaterial(VibrancyMaterial material, VibrancyBlendingMode blendingMode);

    // The fill a material is drawn with.
    static QColor fillColor(VibrancyMaterial material, VibrancyBlendingMode blendingMode);
    static void paint(QPainter& painter, const QRectF& rect, VibrancyMaterial material,
                      VibrancyBlendingMode blendingMode);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    VibrancyMaterial m_material;
    VibrancyBlendingMode m_blendingMode;
};

} // namespace tarnwick
