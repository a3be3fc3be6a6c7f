#pragma once

#include <QColor>
#include <QWidget>

namespace tarnwick {

// A one-pixel line across its parent, horizontal or vertical, in one colour
// (the panel border unless told otherwise).
class HairlineDivider : public QWidget {
    Q_OBJECT

public:
    explicit HairlineDivider(Qt::Orientation orientation = Qt::Horizontal, QWidget* parent = nullptr);
    HairlineDivider(Qt::Orientation orientation, const QColor& color, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor color_;
};

}  // namespace tarnwick
