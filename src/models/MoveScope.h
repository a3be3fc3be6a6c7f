#pragma once

#include <QStringList>

namespace tarnwick {

// What cleaning one finding moves. Most findings move the item at their path.
// A folder that other programs keep using (a cache or log folder, say) is left
// in place and only its entries move; entries listed in keptPaths (absolute
// paths directly inside the folder, or folders holding other findings of the
// same scan) stay where they are, so no data is counted or moved twice.
struct MoveScope {
    bool contentsOnly = false;
    QStringList keptPaths{};

    bool operator==(const MoveScope&) const = default;
};

}  // namespace tarnwick
