#include "services/cleanup/CleanupService.h"

namespace tarnwick::CleanupService {

QList<CleanupItem> scan(const Progress& progress, std::stop_token stop) {
    (void)progress;
    (void)stop;
    return {};
}

}  // namespace tarnwick::CleanupService
