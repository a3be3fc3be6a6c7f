#pragma once

#include <QWidget>

namespace tarnwick {

// The window's atmosphere: a dark veil with two faint teal glows, filling whatever it is given.
// Transparent to the mouse, so it can lie behind other content.
class TaldoAtmosphereBackground : public QWidget {
    Q_OBJECT
public:
    explicit TaldoAtmosphereBackground(QWidget* parent = nullptr);

    static void paint(QPainter& painter, const QRectF& rect);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tarnwick
