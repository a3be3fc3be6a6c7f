#pragma once

#include "models/AppUpdateItem.h"
#include "models/CleanupItem.h"
#include "models/ClutterItem.h"
#include "models/PerformanceItem.h"
#include "models/PrivacyItem.h"
#include "models/ProtectionFinding.h"
#include "models/VidurAdedResult.h"

#include <QList>

#include <variant>

namespace tarnwick {

// One step's outcome during a Vidur Aded pass, in the order the pass hands
// them on: the six module lists (each already cut to its budget), the apps
// step's two counts, and last the pass's result.
struct VidurAdedModule {
    struct Junk {
        QList<CleanupItem> items;
    };
    struct Clutter {
        QList<ClutterItem> items;
    };
    struct Protection {
        QList<ProtectionFinding> findings;
    };
    struct Privacy {
        QList<PrivacyItem> items;
    };
    // The number of apps, and of those whose leftovers sum to more than
    // 20,000,000 bytes.
    struct AppsSummary {
        int count = 0;
        int leftoversHeavy = 0;
    };
    struct Updates {
        QList<AppUpdateItem> items;
    };
    struct Performance {
        QList<PerformanceItem> items;
    };
    struct Finished {
        VidurAdedResult result;
    };

    // The cases in delivery order.
    enum class Case { junk, clutter, protection, privacy, appsSummary, updates, performance, finished };

    std::variant<Junk, Clutter, Protection, Privacy, AppsSummary, Updates, Performance, Finished> value;

    Case which() const { return static_cast<Case>(value.index()); }
};

}  // namespace tarnwick
