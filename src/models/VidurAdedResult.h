#pragma once

#include <QDateTime>
#include <QUuid>

namespace tarnwick {

// The outcome of one Vidur Aded pass: what each module found and the health
// score computed from it.
struct VidurAdedResult {
    QUuid id = QUuid::createUuid();
    qint64 junkBytes = 0;
    int junkCount = 0;
    qint64 clutterBytes = 0;
    int clutterCount = 0;
    int protectionCount = 0;
    int protectionHigh = 0;
    int outdatedApps = 0;
    int performanceIssues = 0;
    qint64 privacyBytes = 0;
    int privacyCount = 0;
    int healthScore = 0;
    QDateTime finishedAt{};

    bool operator==(const VidurAdedResult&) const = default;
};

}  // namespace tarnwick
