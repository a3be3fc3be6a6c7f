#pragma once

#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

namespace tarnwick {

// One of the fixed maintenance commands with the text of its latest run.
struct MaintenanceTask {
    // The raw value is the task's title.
    enum class Kind {
        flushDNS,
        reindexSpotlight,
        thinSnapshots,
        purgeableHint,
        clearFontCaches,
        rebuildLaunchServices,
    };

    QUuid id = QUuid::createUuid();
    Kind kind = Kind::flushDNS;
    std::optional<QString> lastResult{};  // none until it ran since start-up
    bool isRunning = false;               // its tools are running now

    bool operator==(const MaintenanceTask&) const = default;
};

// The title ("Flush DNS cache").
QString rawValue(MaintenanceTask::Kind kind);
// The one line shown under the title.
QString description(MaintenanceTask::Kind kind);
// Exactly the six titles; anything else gives nothing.
std::optional<MaintenanceTask::Kind> maintenanceKindFromRawValue(const QString& text);
// Every kind in declaration order.
const QList<MaintenanceTask::Kind>& allMaintenanceKinds();

}  // namespace tarnwick
