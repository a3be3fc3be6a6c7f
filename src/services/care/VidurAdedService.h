#pragma once

#include "models/AppUpdateItem.h"
#include "models/CleanupItem.h"
#include "models/ClutterItem.h"
#include "models/InstalledApp.h"
#include "models/PerformanceItem.h"
#include "models/PrivacyItem.h"
#include "models/ProtectionFinding.h"
#include "models/VidurAdedModule.h"
#include "models/VidurAdedResult.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <stop_token>

class QObject;

namespace tarnwick {

// Vidur Aded: one pass over the seven module finders, strictly one after the
// other, that hands each module's trimmed findings on as soon as that module
// is done and ends with the totals and a health score from 5 to 100.
namespace VidurAdedService {

// A label reported by a finder or by the pass; called on the pass's thread.
using Progress = std::function<void(const QString& label)>;
// A module finder: reports labels, returns its findings; a stop request asks
// it to end early (what it returns then is not used).
template <class Item>
using Finder = std::function<QList<Item>(const Progress& progress, std::stop_token stop)>;

// The finders the pass runs, in its order. An empty one finds nothing.
struct Finders {
    Finder<CleanupItem> cleanup;
    Finder<ClutterItem> clutter;
    Finder<ProtectionFinding> protection;
    Finder<PrivacyItem> privacy;
    Finder<InstalledApp> apps;
    Finder<AppUpdateItem> updates;
    Finder<PerformanceItem> performance;
};

using OnModule = std::function<void(const VidurAdedModule& module)>;

// The update candidates handed on (and counted) at most.
inline constexpr qsizetype kUpdatesHandedOn = 30;
// An app whose leftovers sum to more than this is heavy.
inline constexpr qint64 kHeavyLeftoversBytes = 20000000;

// 100 less the capped deductions for selected junk (count and bytes), high
// protection findings, update candidates, apps with heavy leftovers, selected
// privacy items and launch items; below 6 it is 5. Clutter never counts.
int healthScore(const VidurAdedResult& totals, int leftoversHeavy);

// The number of launch items (every kind but heavy processes) in the list,
// each counted once: the finder lists an agent of the LaunchAgents folders
// both as a login item and as a launch agent, with the same property list.
int launchItemCount(const QList<PerformanceItem>& items);

// Runs the pass on the calling thread, which must not be the receiver's
// (the finders run on it too, sharing the file digests of the pass):
// each step reports its label ("Vidur Aded · Junk…"), runs its finder with
// every finder label prefixed ("Vidur Aded · Junk · Scanning caches…"),
// trims the list and counts it, then calls onModule on the receiver's thread
// and waits until it has returned before the next step starts. Eight calls in
// all, the last one with the result, which is also returned.
//
// A stop request (a newer pass replaced this one, or the receiver is going)
// ends the pass at once: a finder running is asked to stop, nothing further
// is handed on and the result is none. With a null receiver onModule runs on
// the calling thread. The receiver must outlive the pass unless the stop is
// requested before it goes.
std::optional<VidurAdedResult> run(const Finders& finders, const Progress& progress, QObject* receiver,
                                   const OnModule& onModule, std::stop_token stop = {});

}  // namespace VidurAdedService

}  // namespace tarnwick
