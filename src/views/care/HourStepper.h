#pragma once

#include <QWidget>

class QAbstractButton;
class QLabel;

namespace tarnwick {

// A stepper over the hours of the day, 0 to 23: the hour as "7:00" (no
// leading zero) beside a pair of up and down arrows. A step asks for the
// next or previous hour through stepRequested(); the step up is unavailable
// at 23 and the step down at 0, so no hour outside the day is ever asked for.
// The shown hour is set by the owner, so it follows the value it stands for.
// Tab reaches each arrow (a ring shows the focus); Space presses it, and the
// up and down keys step as the arrows do.
class HourStepper : public QWidget {
    Q_OBJECT

public:
    static constexpr int minimumHour = 0;
    static constexpr int maximumHour = 23;
    static constexpr int stepperWidth = 110;

    explicit HourStepper(QWidget* parent = nullptr);

    // Shows an hour (held to 0...23).
    void setHour(int hour);
    int hour() const { return hour_; }
    // "H:00" for an hour: 0:00, 7:00, 10:00.
    static QString hourText(int hour);

    bool canStepUp() const { return hour_ < maximumHour; }
    bool canStepDown() const { return hour_ > minimumHour; }
    // What the arrows do: ask for the next or previous hour, when there is one.
    void stepUp();
    void stepDown();

    QString text() const;
    QAbstractButton* upButton() const { return up_; }
    QAbstractButton* downButton() const { return down_; }

signals:
    void stepRequested(int hour);

private:
    void refresh();

    int hour_ = 0;
    QLabel* label_ = nullptr;
    QAbstractButton* up_ = nullptr;
    QAbstractButton* down_ = nullptr;
};

}  // namespace tarnwick
