#include "models/InstalledApp.h"

#include "support/Saturating.h"

namespace tarnwick {

qint64 InstalledApp::leftoversBytes() const {
    qint64 total = 0;
    for (const Leftover& leftover : leftovers) total = Saturating::add(total, leftover.size);
    return total;
}

}  // namespace tarnwick
