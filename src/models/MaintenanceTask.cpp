#include "models/MaintenanceTask.h"

namespace tarnwick {

using Kind = MaintenanceTask::Kind;

QString rawValue(Kind kind) {
    switch (kind) {
    case Kind::flushDNS: return QStringLiteral("Flush DNS cache");
    case Kind::reindexSpotlight: return QStringLiteral("Reindex desktop search");
    case Kind::thinSnapshots: return QStringLiteral("Thin local snapshots");
    case Kind::purgeableHint: return QStringLiteral("Report snapshot space");
    case Kind::clearFontCaches: return QStringLiteral("Clear font caches");
    case Kind::rebuildLaunchServices: return QStringLiteral("Rebuild applications database");
    }
    return {};
}

QString description(Kind kind) {
    switch (kind) {
    case Kind::flushDNS: return QStringLiteral("resolvectl flush-caches, or nscd (the local DNS cache, where one runs)");
    case Kind::reindexSpotlight: return QStringLiteral("tracker3 reset --filesystem (reindexes over time)");
    case Kind::thinSnapshots: return QStringLiteral("Frees the space old snapshots hold, where you may thin them");
    case Kind::purgeableHint: return QStringLiteral("Lists the snapshots that hold space on this computer");
    case Kind::clearFontCaches: return QStringLiteral("fc-cache -r (rebuilds your font caches)");
    case Kind::rebuildLaunchServices:
        return QStringLiteral("update-desktop-database + update-mime-database (your applications)");
    }
    return {};
}

std::optional<Kind> maintenanceKindFromRawValue(const QString& text) {
    for (Kind kind : allMaintenanceKinds()) {
        if (rawValue(kind) == text) return kind;
    }
    return std::nullopt;
}

const QList<Kind>& allMaintenanceKinds() {
    static const QList<Kind> all{Kind::flushDNS,       Kind::reindexSpotlight, Kind::thinSnapshots,
                                 Kind::purgeableHint,  Kind::clearFontCaches,  Kind::rebuildLaunchServices};
    return all;
}

}  // namespace tarnwick
