#pragma once

#include <QAbstractButton>
#include <QColor>

class QVariantAnimation;

namespace tarnwick {

// A switch: a capsule with a round knob, tinted while on, that slides over
// when the state it shows changes. It has no label of its own. The shown
// state is set by its owner (setChecked), so it follows the value it stands for.
// A click, or Space while it has the keyboard focus (Tab reaches it; a ring
// shows the focus), asks for the other state through toggleRequested() and
// changes nothing by itself.
class ScheduleSwitch : public QAbstractButton {
    Q_OBJECT

public:
    explicit ScheduleSwitch(const QColor& tint, QWidget* parent = nullptr);

signals:
    void toggleRequested(bool on);

public:
    QSize sizeHint() const override { return {38, 22}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void checkStateSet() override;
    void nextCheckState() override;

private:
    QColor tint_;
    double position_ = 0.0;  // 0 off, 1 on
    QVariantAnimation* animation_ = nullptr;
};

}  // namespace tarnwick
