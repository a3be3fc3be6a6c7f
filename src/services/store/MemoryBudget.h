#pragma once

#include "models/AppUpdateItem.h"
#include "models/CleanupItem.h"
#include "models/ClutterItem.h"
#include "models/InstalledApp.h"
#include "models/PerformanceItem.h"
#include "models/PrivacyItem.h"
#include "models/ProtectionFinding.h"

#include <QList>

#include <optional>

namespace tarnwick {

// Fixed budgets for the module lists, so that no screen ever draws thousands
// of rows. Pure functions on values: no state, no errors, any thread.
//
// Sorting by size is descending and stable (equal sizes keep their input
// order). What the user selected is never cut.
namespace MemoryBudget {

inline constexpr qsizetype kCleanupBudget = 80;
inline constexpr qsizetype kClutterBudget = 60;
inline constexpr qsizetype kPrivacyBudget = 40;
inline constexpr qsizetype kProtectionBudget = 40;
inline constexpr qsizetype kAppsBudget = 80;
inline constexpr qsizetype kProcessBudget = 12;
inline constexpr qsizetype kLaunchItemBudget = 40;

// The selected items in input order, then the largest unselected ones until
// the list holds 80 (60, 40); nothing unselected when that many are selected.
QList<CleanupItem> trimCleanup(const QList<CleanupItem>& items);
QList<ClutterItem> trimClutter(const QList<ClutterItem>& items);
QList<PrivacyItem> trimPrivacy(const QList<PrivacyItem>& items);
// The high-severity or selected findings in input order, then the others in
// input order until the list holds 40.
QList<ProtectionFinding> trimProtection(const QList<ProtectionFinding>& findings);
// The 80 largest apps by bundle size plus leftovers (summed without wrapping).
QList<InstalledApp> trimApps(const QList<InstalledApp>& apps);
// The first 12 processes, then the first 40 launch items, each in input order.
QList<PerformanceItem> trimPerformance(const QList<PerformanceItem>& items);

// The cuts applied to the lists of sections the user is not looking at. Each
// gives the new list when the cut is worth publishing and nothing when the
// list is to stay as it is.

// The selected items, when that drops more than 10.
std::optional<QList<CleanupItem>> purgedCleanup(const QList<CleanupItem>& items);
std::optional<QList<ClutterItem>> purgedClutter(const QList<ClutterItem>& items);
// The high-severity or selected findings, when that drops more than 5.
std::optional<QList<ProtectionFinding>> purgedProtection(const QList<ProtectionFinding>& findings);
// The selected items, when that drops more than 5.
std::optional<QList<PrivacyItem>> purgedPrivacy(const QList<PrivacyItem>& items);
// An empty list, when the list is not empty.
std::optional<QList<InstalledApp>> purgedApps(const QList<InstalledApp>& apps);
// The first 30, when the list holds more than 30.
std::optional<QList<AppUpdateItem>> purgedUpdates(const QList<AppUpdateItem>& updates);

}  // namespace MemoryBudget

}  // namespace tarnwick
