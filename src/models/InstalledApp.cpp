#include "models/InstalledApp.h"

#include "support/Saturating.h"

namespace tarnwick {

qint64 InstalledApp::leftoversBytes() const {
    Saturating::Total total;
    for (const Leftover& leftover : leftovers) total.add(leftover.size);
    return total.value();
}

}  // namespace tarnwick
