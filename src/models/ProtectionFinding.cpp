#include "models/ProtectionFinding.h"

namespace tarnwick {

using Kind = ProtectionFinding::Kind;
using Severity = ProtectionFinding::Severity;

QString rawValue(Kind kind) {
    switch (kind) {
    case Kind::suspiciousAgent: return QStringLiteral("Suspicious startup entry");
    case Kind::quarantined: return QStringLiteral("Quarantined download");
    case Kind::adwarePath: return QStringLiteral("Known adware / PUA path");
    case Kind::unsignedExec: return QStringLiteral("Runnable program in Downloads");
    case Kind::browserExtension: return QStringLiteral("Browser extension worth review");
    case Kind::privacy: return QStringLiteral("Privacy residue");
    }
    return {};
}

QString rawValue(Severity severity) {
    switch (severity) {
    case Severity::low: return QStringLiteral("low");
    case Severity::medium: return QStringLiteral("medium");
    case Severity::high: return QStringLiteral("high");
    }
    return {};
}

std::optional<Kind> protectionKindFromRawValue(const QString& text) {
    for (Kind kind : allProtectionKinds()) {
        if (rawValue(kind) == text) return kind;
    }
    return std::nullopt;
}

std::optional<Severity> severityFromRawValue(const QString& text) {
    for (Severity severity : {Severity::low, Severity::medium, Severity::high}) {
        if (rawValue(severity) == text) return severity;
    }
    return std::nullopt;
}

const QList<Kind>& allProtectionKinds() {
    static const QList<Kind> all{Kind::suspiciousAgent, Kind::quarantined,      Kind::adwarePath,
                                 Kind::unsignedExec,    Kind::browserExtension, Kind::privacy};
    return all;
}

}  // namespace tarnwick
