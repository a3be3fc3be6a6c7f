#include "state/ModuleServices.h"

#include "services/cleanup/AppUninstallerService.h"
#include "services/cleanup/AppUpdaterService.h"
#include "services/cleanup/CleanupService.h"
#include "services/cleanup/ClutterService.h"
#include "services/health/PerformanceService.h"

namespace tarnwick {

ModuleServices ModuleServices::production() {
    ModuleServices services;
    services.cleanupScan = [](const Progress& progress, std::stop_token stop) {
        return CleanupService::scan(progress, std::move(stop));
    };
    services.performanceScan = [](const Progress& progress, std::stop_token stop) {
        return PerformanceService::scan(progress, std::move(stop));
    };
    services.appsScan = [](const Progress& progress, std::stop_token stop) {
        return AppUninstallerService::scan(progress, std::move(stop));
    };
    services.updatesScan = [](const Progress& progress, std::stop_token stop) {
        return AppUpdaterService::scan(progress, std::move(stop));
    };
    services.clutterScan = [](const Progress& progress, std::stop_token stop) {
        return ClutterService::scan(progress, std::move(stop));
    };
    // Nothing to find yet for these modules.
    services.protectionScan = [](const Progress&, std::stop_token) { return QList<ProtectionFinding>{}; };
    services.privacyScan = [](const Progress&, std::stop_token) { return QList<PrivacyItem>{}; };
    return services;
}

}  // namespace tarnwick
