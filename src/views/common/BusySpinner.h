#pragma once

#include <QColor>
#include <QWidget>

class QTimer;

namespace tarnwick {

// An indeterminate progress indicator: a ring of fading spokes that turns
// while the widget is visible, tinted in one colour.
class BusySpinner : public QWidget {
    Q_OBJECT

public:
    explicit BusySpinner(int side, const QColor& tint, QWidget* parent = nullptr);

    bool isSpinning() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QColor tint_;
    QTimer* timer_ = nullptr;
    int step_ = 0;
};

}  // namespace tarnwick
