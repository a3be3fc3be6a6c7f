#pragma once

#include "design/TaldoHoverGlass.h"

namespace tarnwick {

// A hover glass card that is one plain button: a click anywhere inside its
// rounded rectangle (empty space and labels included) runs it; a press that
// is released outside does nothing. Tab reaches it; with the focus it wears
// a focus ring, and Space, Enter or Return run it.
class GlassTileButton : public TaldoHoverGlass {
    Q_OBJECT

public:
    GlassTileButton(double cornerRadius, const QColor& glow, QWidget* parent = nullptr);

    // Runs the tile as a click does.
    void click() { emit clicked(); }
    // The clickable area: the rounded rectangle, corners cut away.
    bool hitTest(const QPointF& position) const;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool pressed_ = false;
};

}  // namespace tarnwick
