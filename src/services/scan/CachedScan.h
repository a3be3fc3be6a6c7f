#pragma once

#include "models/ScanInsights.h"
#include "models/ScanNode.h"

#include <QDateTime>
#include <QString>

namespace tarnwick {

// The last map scan as the scan cache keeps it: the root that was scanned,
// when the cache was written, the (pruned) tree and the scan's insights.
struct CachedScan {
    QString rootPath;    // as the caller of the scan passed it
    QString rootName;    // display name of the root, as passed
    QDateTime scannedAt; // the moment the cache was saved
    ScanNodePtr root;
    ScanInsights insights;
};

}  // namespace tarnwick
