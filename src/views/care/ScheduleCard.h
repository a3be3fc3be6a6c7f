#pragma once

#include "design/TaldoHoverGlass.h"

namespace tarnwick {

class AppState;
class HourStepper;
class ScheduleSwitch;

// The home screen's schedule card: "Daily Vidur Aded" with the switch that
// turns the daily pass on or off and the stepper of its hour. Both show the
// state's schedule fields and follow them when they change elsewhere; the
// switch writes through the state's schedule switch, the stepper through its
// hour (which stores the hour at once). Neither touches the other's value.
class ScheduleCard : public TaldoHoverGlass {
    Q_OBJECT

public:
    explicit ScheduleCard(AppState& state, QWidget* parent = nullptr);

    ScheduleSwitch* scheduleSwitch() const { return switch_; }
    HourStepper* hourStepper() const { return stepper_; }

private:
    void refresh();

    AppState& state_;
    ScheduleSwitch* switch_ = nullptr;
    HourStepper* stepper_ = nullptr;
};

}  // namespace tarnwick
