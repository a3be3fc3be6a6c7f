#pragma once

#include "models/AppSection.h"

namespace tarnwick {

class AppState;

// Cuts down the result lists of the sections the user is not looking at,
// mostly to what the user selected, so that only the section in view keeps a
// full list. Runs on the UI thread and publishes each list it changes.
class MemoryGovernor {
public:
    // For every section other than `keeping`: junk and clutter keep their
    // selected items (when that drops more than 10), installed apps are
    // emptied, protection findings keep the selected and high-severity ones
    // and privacy items the selected ones (when that drops more than 5),
    // performance items are trimmed to their budget and update candidates
    // cut to 30.
    static void purgeInactive(AppState& state, AppSection keeping);
};

}  // namespace tarnwick
