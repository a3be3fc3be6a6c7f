#include "state/MapServices.h"

#include "platform/MemoryRelease.h"
#include "services/scan/DiskScanner.h"
#include "services/scan/ScanCache.h"
#include "services/scan/SpaceReconciler.h"
#include "services/scan/VolumesService.h"

#include <memory>

namespace tarnwick {

MapServices MapServices::production() {
    MapServices services;
    services.makeWalk = [](const QString& rootPath) {
        auto scanner = std::make_shared<DiskScanner>();
        Walk walk;
        walk.run = [scanner, rootPath](const ProgressCallback& onProgress) {
            ScanResult result = scanner->scan(rootPath, onProgress);
            return WalkOutcome{std::move(result.root), std::move(result.insights), scanner->files(),
                               scanner->bytes()};
        };
        walk.cancel = [scanner] { scanner->cancel(); };
        return walk;
    };
    services.enrichStartupVolume = [](const ScanNodePtr& dataRoot, const QString& rootName) {
        return SpaceReconciler::enrichMacintoshHD(dataRoot, rootName);
    };
    services.startupVolumeName = [] { return VolumesService::startupVolumeName(); };
    services.listVolumes = [] { return VolumesService::listVolumes(); };
    services.loadCache = [] { return ScanCache::load(); };
    services.saveCache = [](const QString& rootPath, const QString& rootName, const ScanNodePtr& root,
                            const ScanInsights& insights) { ScanCache::save(rootPath, rootName, root, insights); };
    services.returnFreedMemory = [] { MemoryRelease::returnFreedMemory(); };
    return services;
}

}  // namespace tarnwick
