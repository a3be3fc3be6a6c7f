#pragma once

#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

namespace tarnwick {

// One sign of unwanted software.
struct ProtectionFinding {
    // Which heuristic found it; the raw value is its display title.
    enum class Kind {
        suspiciousAgent,
        quarantined,
        adwarePath,
        unsignedExec,
        browserExtension,
        privacy,
    };

    // Declaration order is the rank: low < medium < high.
    enum class Severity {
        low,
        medium,
        high,
    };

    QUuid id = QUuid::createUuid();
    QString title{};
    QString path{};    // absolute path of what was found; what a clean moves
    QString detail{};  // one line of explanation
    Kind kind = Kind::suspiciousAgent;
    Severity severity = Severity::low;
    bool isSelected = false;

    bool operator==(const ProtectionFinding&) const = default;
};

// The kind's display title ("Quarantined download").
QString rawValue(ProtectionFinding::Kind kind);
// "low", "medium" or "high".
QString rawValue(ProtectionFinding::Severity severity);
std::optional<ProtectionFinding::Kind> protectionKindFromRawValue(const QString& text);
std::optional<ProtectionFinding::Severity> severityFromRawValue(const QString& text);
// Every kind in declaration order.
const QList<ProtectionFinding::Kind>& allProtectionKinds();

}  // namespace tarnwick
