#pragma once

#include "support/Saturating.h"

#include <QDateTime>
#include <QUuid>

#include <algorithm>

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
    // Bytes the selected findings of junk, clutter and privacy share: the
    // same path, or one lying inside another module's finding (a download
    // both modules list, a browser cache inside the cache folder).
    qint64 sharedBytes = 0;
    QDateTime finishedAt{};

    // What a recommended clean frees, each byte counted once.
    qint64 reclaimableBytes() const {
        const qint64 offered = Saturating::add(Saturating::add(junkBytes, clutterBytes), privacyBytes);
        return offered - std::min(sharedBytes, offered);
    }

    bool operator==(const VidurAdedResult&) const = default;
};

}  // namespace tarnwick
