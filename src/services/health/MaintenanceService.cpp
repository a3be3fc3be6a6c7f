#include "services/health/MaintenanceService.h"

namespace tarnwick::MaintenanceService {

QList<MaintenanceTask> allTasks() {
    QList<MaintenanceTask> tasks;
    for (MaintenanceTask::Kind kind : allMaintenanceKinds()) {
        tasks.append(MaintenanceTask{.id = QUuid::createUuid(), .kind = kind, .lastResult = std::nullopt});
    }
    return tasks;
}

}  // namespace tarnwick::MaintenanceService
