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
    // When the scan measured the entries (ms since 1970); 0: unknown. When
    // known, each entry moves whole, and only while nothing in it changed
    // since then or in the hour before the clean (so the entries a scan met
    // only in part, or not at all, at its entry ceiling are judged then).
    qint64 measuredAtMSecs = 0;
    // The bytes of the entries left in place because something in them
    // changed in the hour before the scan: said on the finding and by the clean.
    qint64 inUseBytes = 0;
    // Entries left in place as in use that the scan did not measure whole
    // (it met them only in part, or not at all, at its entry ceiling): not
    // in inUseBytes; the clean measures them and names them with their bytes.
    QStringList inUseUnmeasured{};

    bool operator==(const MoveScope&) const = default;
};

}  // namespace tarnwick
