#pragma once

#include "platform/FileIdentity.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tarnwick {

// One entry of a folder cleaned by its entries, as the scan measured it.
struct ScopeEntry {
    QString path;       // absolute path, directly inside the folder
    FileIdentity seen;  // what it was when measured
    qint64 bytes = 0;   // what the finding's size counts of it

    bool operator==(const ScopeEntry&) const = default;
};

// What cleaning one finding moves. Most findings move the item at their path.
// A folder that other programs keep using (a cache or log folder, say) is left
// in place and only its entries move; entries listed in keptPaths (absolute
// paths directly inside the folder, or folders holding other findings of the
// same scan) stay where they are, so no data is counted or moved twice.
struct MoveScope {
    bool contentsOnly = false;
    QStringList keptPaths{};
    // For a folder cleaned by its entries: the entries the scan measured (and
    // counted in the finding's size). When set, a clean moves these and only
    // these, each only while it is still the item measured; entries that
    // appeared or changed since stay. Unset: the entries listed at clean time.
    std::optional<QList<ScopeEntry>> measured{};

    bool operator==(const MoveScope&) const = default;
};

}  // namespace tarnwick
