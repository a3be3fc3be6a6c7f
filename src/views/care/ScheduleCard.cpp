#include "views/care/ScheduleCard.h"

#include "design/TaldoTheme.h"
#include "state/AppState.h"
#include "views/care/HourStepper.h"
#include "views/care/ScheduleSwitch.h"
#include "views/common/ViewText.h"

#include <QHBoxLayout>
#include <QLabel>

namespace tarnwick {

ScheduleCard::ScheduleCard(AppState& state, QWidget* parent)
    : TaldoHoverGlass(16, TaldoTheme::accentTeal(), false, parent), state_(state) {
    setObjectName(QStringLiteral("scheduleCard"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(18, 14, 18, 14);
    auto* title = ViewText::label(QStringLiteral("Daily Vidur Aded"), 14, QFont::DemiBold,
                                  TaldoTheme::textPrimary(), this);
    title->setObjectName(QStringLiteral("scheduleTitle"));
    row->addWidget(title, 0, Qt::AlignVCenter);
    row->addStretch(1);

    switch_ = new ScheduleSwitch(TaldoTheme::accentTeal(), this);
    switch_->setObjectName(QStringLiteral("scheduleSwitch"));
    switch_->setAccessibleName(QStringLiteral("Daily Vidur Aded"));
    row->addWidget(switch_, 0, Qt::AlignVCenter);
    stepper_ = new HourStepper(this);
    row->addWidget(stepper_, 0, Qt::AlignVCenter);

    connect(switch_, &ScheduleSwitch::toggleRequested, this, [this](bool on) { state_.setScheduleEnabled(on); });
    connect(stepper_, &HourStepper::stepRequested, this, [this](int hour) { state_.setScheduleHour(hour); });
    connect(&state_, &AppState::changed, this, [this](AppState::Field field) {
        if (field == AppState::Field::scheduleEnabled || field == AppState::Field::scheduleHour) refresh();
    });
    refresh();
}

void ScheduleCard::refresh() {
    switch_->setChecked(state_.scheduleEnabled());
    stepper_->setHour(state_.scheduleHour());
}

}  // namespace tarnwick
