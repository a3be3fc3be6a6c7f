#pragma once

#include "models/AppUpdateItem.h"
#include "models/CleanupItem.h"
#include "models/ClutterItem.h"
#include "models/InstalledApp.h"
#include "models/PerformanceItem.h"
#include "models/PrivacyItem.h"
#include "models/ProtectionFinding.h"

#include <QList>
#include <QString>

#include <functional>
#include <stop_token>

namespace tarnwick {

// The module finders that the scan actions of AppState run, as replaceable
// functions. production() wires the real finders; tests swap single entries
// (a finder that waits, one that returns a fixed list).
//
// A finder runs on a worker thread. It reports a label before each stage
// through progress (which never waits for the UI thread) and returns its
// findings; a stop request means a newer scan replaced it, so it should end
// at its next stage or entry, since what it returns then is dropped.
struct ModuleServices {
    using Progress = std::function<void(const QString& label)>;
    template <class Item>
    using Finder = std::function<QList<Item>(const Progress& progress, std::stop_token stop)>;

    Finder<CleanupItem> cleanupScan;
    Finder<PerformanceItem> performanceScan;
    // The installed applications with their leftovers, and the update candidates.
    Finder<InstalledApp> appsScan;
    Finder<AppUpdateItem> updatesScan;
    Finder<ClutterItem> clutterScan;
    // Protection: the threat finder and the privacy-residue finder.
    Finder<ProtectionFinding> protectionScan;
    Finder<PrivacyItem> privacyScan;

    // The real finders.
    static ModuleServices production();
};

}  // namespace tarnwick
