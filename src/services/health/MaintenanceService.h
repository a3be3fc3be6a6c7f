#pragma once

#include "models/MaintenanceTask.h"

#include <QList>

namespace tarnwick {

namespace MaintenanceService {

// One task per kind in declaration order, each with a new id and no result yet.
QList<MaintenanceTask> allTasks();

}  // namespace MaintenanceService

}  // namespace tarnwick
