#pragma once

#include "models/ScanInsights.h"
#include "models/ScanNode.h"

namespace tarnwick {

// What one walk yields: the finalized size tree and the insights gathered on the way.
struct ScanResult {
    ScanNodePtr root;
    ScanInsights insights;
};

}  // namespace tarnwick
