#include "models/MaintenanceTask.h"

namespace tarnwick {

using Kind = MaintenanceTask::Kind;

QString rawValue(Kind kind) {
    switch (kind) {
    case Kind::flushDNS: return QStringLiteral("Flush DNS cache");
    case Kind::reindexSpotlight: return QStringLiteral("Reindex Spotlight");
    case Kind::thinSnapshots: return QStringLiteral("Thin local Time Machine snapshots");
    case Kind::purgeableHint: return QStringLiteral("Report purgeable / snapshot space");
    case Kind::clearFontCaches: return QStringLiteral("Clear font caches");
    case Kind::rebuildLaunchServices: return QStringLiteral("Rebuild Launch Services DB");
    }
    return {};
}

QString description(Kind kind) {
    switch (kind) {
    case Kind::flushDNS: return QStringLiteral("dscacheutil + restart mDNSResponder");
    case Kind::reindexSpotlight: return QStringLiteral("mdutil -E on the computer (can take a while)");
    case Kind::thinSnapshots: return QStringLiteral("tmutil thinlocalsnapshots — frees APFS snapshot space");
    case Kind::purgeableHint: return QStringLiteral("List local snapshots so you can reclaim purgeable space");
    case Kind::clearFontCaches: return QStringLiteral("atsutil databases -remove (user fonts)");
    case Kind::rebuildLaunchServices:
        return QStringLiteral("lsregister -kill -r -domain local -domain system -domain user");
    }
    return {};
}

QList<QStringList> commands(Kind kind) {
    switch (kind) {
    case Kind::flushDNS:
        return {{QStringLiteral("/usr/bin/dscacheutil"), QStringLiteral("-flushcache")},
                {QStringLiteral("/usr/bin/killall"), QStringLiteral("-HUP"), QStringLiteral("mDNSResponder")}};
    case Kind::reindexSpotlight:
        return {{QStringLiteral("/usr/bin/mdutil"), QStringLiteral("-E"), QStringLiteral("/")}};
    case Kind::thinSnapshots:
        return {{QStringLiteral("/usr/bin/tmutil"), QStringLiteral("thinlocalsnapshots"), QStringLiteral("/"),
                 QStringLiteral("1000000000"), QStringLiteral("4")}};
    case Kind::purgeableHint:
        return {{QStringLiteral("/usr/bin/tmutil"), QStringLiteral("listlocalsnapshots"), QStringLiteral("/")}};
    case Kind::clearFontCaches:
        return {{QStringLiteral("/usr/bin/atsutil"), QStringLiteral("databases"), QStringLiteral("-remove")}};
    case Kind::rebuildLaunchServices:
        return {{QStringLiteral("/System/Library/Frameworks/CoreServices.framework/Frameworks/"
                                "LaunchServices.framework/Support/lsregister"),
                 QStringLiteral("-kill"), QStringLiteral("-r"), QStringLiteral("-domain"), QStringLiteral("local"),
                 QStringLiteral("-domain"), QStringLiteral("system"), QStringLiteral("-domain"),
                 QStringLiteral("user")}};
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
