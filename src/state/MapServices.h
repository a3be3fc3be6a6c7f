#pragma once

#include "models/ScanInsights.h"
#include "models/ScanNode.h"
#include "models/ScanProgress.h"
#include "models/VolumeInfo.h"
#include "services/scan/CachedScan.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace tarnwick {

// What the map actions of AppState need from the scan engine, as replaceable
// functions. production() wires the real walker, reconciler, cache and volume
// list; tests swap single entries (a walk that waits, a fixed volume list).
struct MapServices {
    using ProgressCallback = std::function<void(const ScanProgress&)>;

    // What a finished walk hands back: the finalized tree and insights and the
    // walker's final counts.
    struct WalkOutcome {
        ScanNodePtr root;
        ScanInsights insights;
        qint64 scannedFiles = 0;
        qint64 scannedBytes = 0;
    };

    // One walk of one folder, made fresh for every scan.
    struct Walk {
        // Walks on the calling (scanner) thread, reporting progress from there.
        std::function<WalkOutcome(const ProgressCallback& onProgress)> run;
        // Asks the walk to stop at its next check; callable from any thread.
        std::function<void()> cancel;
    };

    std::function<Walk(const QString& rootPath)> makeWalk;
    // Wraps a start-up volume walk in the container's accounting, under a root
    // of the given name. Runs on the scanner thread.
    std::function<ScanNodePtr(const ScanNodePtr& dataRoot, const QString& rootName)> enrichStartupVolume;
    // The start-up volume's own name (its label, else "Computer").
    std::function<QString()> startupVolumeName;
    std::function<std::vector<VolumeInfo>()> listVolumes;
    std::function<std::optional<CachedScan>()> loadCache;
    // Runs on a background thread; must not change the tree.
    std::function<void(const QString& rootPath, const QString& rootName, const ScanNodePtr& root,
                       const ScanInsights& insights)>
        saveCache;
    // Hands memory the program freed back to the system; called on a
    // background thread right after a released tree was freed there.
    std::function<void()> returnFreedMemory;

    // The real services.
    static MapServices production();
};

}  // namespace tarnwick
