#pragma once

#include <QDateTime>
#include <QString>

namespace tarnwick {

// A date told relative to another in short English units: "5 sec. ago",
// "2 hr. ago", "1 day ago", "3 days ago", "1 wk. ago", "in 2 mo.".
namespace RelativeDateFormatter {

// The phrase for date seen from reference: "N <unit> ago" for a date before
// the reference, "in N <unit>" for one after it, and "in 0 sec." when they
// are less than a second apart. The unit is the largest in which the
// difference is at least one: sec., min., hr., day/days, wk., mo., yr.,
// counted in whole units by truncation. Empty when either date is invalid.
QString shortPhrase(const QDateTime& date, const QDateTime& reference);
// The same, seen from the environment's current time.
QString shortPhrase(const QDateTime& date);

}  // namespace RelativeDateFormatter

}  // namespace tarnwick
