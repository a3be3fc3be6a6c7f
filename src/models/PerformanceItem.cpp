#include "models/PerformanceItem.h"

namespace tarnwick {

QString rawValue(PerformanceItem::Kind kind) {
    switch (kind) {
    case PerformanceItem::Kind::process: return QStringLiteral("Heavy process");
    case PerformanceItem::Kind::loginItem: return QStringLiteral("Login item");
    case PerformanceItem::Kind::launchAgent: return QStringLiteral("User service");
    case PerformanceItem::Kind::launchDaemon: return QStringLiteral("System service");
    }
    return {};
}

std::optional<PerformanceItem::Kind> performanceKindFromRawValue(const QString& text) {
    for (PerformanceItem::Kind kind : {PerformanceItem::Kind::process, PerformanceItem::Kind::loginItem,
                                       PerformanceItem::Kind::launchAgent, PerformanceItem::Kind::launchDaemon}) {
        if (rawValue(kind) == text) return kind;
    }
    return std::nullopt;
}

}  // namespace tarnwick
