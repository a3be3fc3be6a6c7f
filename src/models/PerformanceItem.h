#pragma once

#include "models/ProcessIdentity.h"

#include <QString>
#include <QUuid>

#include <optional>

namespace tarnwick {

// One heavy process or one launch item.
struct PerformanceItem {
    // The raw value is the label the screens and counts use.
    enum class Kind {
        process,
        loginItem,
        launchAgent,
        launchDaemon,
    };

    QUuid id = QUuid::createUuid();
    QString title{};   // process name, a login item's Name= (else its label), or a service's label
    QString detail{};  // "PID 123", or the property list's path with "~"
    Kind kind = Kind::process;
    QString metric{};
    std::optional<QString> path{};  // the agent's property list; none for a process
    std::optional<qint32> pid{};    // none for an agent
    bool canQuit = false;
    // A process's name and start time when it was listed, so that a quit can
    // tell it from a later process that got the same pid; none for an agent.
    std::optional<ProcessIdentity> identity{};
    bool isDisabling = false;  // its disable runs now

    // A launch item with a property list can be disabled; a process cannot.
    bool canDisable() const { return path.has_value() && kind != Kind::process; }

    bool operator==(const PerformanceItem&) const = default;
};

// The kind's label ("Heavy process").
QString rawValue(PerformanceItem::Kind kind);
// Exactly the four labels; anything else gives nothing.
std::optional<PerformanceItem::Kind> performanceKindFromRawValue(const QString& text);

}  // namespace tarnwick
