#pragma once

#include <QColor>
#include <QWidget>

namespace tarnwick {

// A plain container that fills its whole rectangle with one colour: the
// panel-coloured bars of the map screen (toolbar, tab bar, filter row, tray).
class PanelStrip : public QWidget {
    Q_OBJECT

public:
    explicit PanelStrip(const QColor& fill, QWidget* parent = nullptr);

    const QColor& fill() const { return fill_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor fill_;
};

}  // namespace tarnwick
