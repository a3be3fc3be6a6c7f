#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

class QSettings;

namespace tarnwick {

// The daily schedule: one Vidur Aded pass a day in the hour the user chose,
// kept in three user defaults. Reads and writes the settings of the current
// environment only, so it may be called from any thread. Hours and days are
// those of local time.
namespace ScheduleService {

// The user-defaults keys.
QString enabledKey();  // "taldo.schedule.enabled", Bool; absent reads false
QString hourKey();     // "taldo.schedule.hour", 0-23; absent reads 0, out of range 10
QString lastRunKey();  // "taldo.schedule.lastRun", the date the last pass finished

// The chosen hour as stored: 0 when absent (or not a number), 10 when
// outside 0 to 23.
inline constexpr int kFallbackHour = 10;
int hour(const QSettings& settings);
bool isEnabled(const QSettings& settings);

// When the last pass finished; none when the key is absent or holds
// anything but a valid date.
std::optional<QDateTime> lastRun();
// Stores the date, or removes the key for none.
void setLastRun(const std::optional<QDateTime>& date);

// True when the schedule is on, reference lies in the chosen hour, and no
// pass finished on reference's calendar day.
bool shouldRunNow(const QDateTime& reference);

}  // namespace ScheduleService

}  // namespace tarnwick
