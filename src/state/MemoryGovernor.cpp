#include "state/MemoryGovernor.h"

#include "services/store/MemoryBudget.h"
#include "state/AppState.h"

namespace tarnwick {

void MemoryGovernor::purgeInactive(AppState& state, AppSection keeping) {
    if (keeping != AppSection::cleanup) {
        if (auto kept = MemoryBudget::purgedCleanup(state.cleanupItems())) state.cleanupItems_.set(std::move(*kept));
    }
    if (keeping != AppSection::clutter) {
        if (auto kept = MemoryBudget::purgedClutter(state.clutterItems())) state.clutterItems_.set(std::move(*kept));
    }
    if (keeping != AppSection::apps) {
        if (auto kept = MemoryBudget::purgedApps(state.installedApps())) state.installedApps_.set(std::move(*kept));
    }
    if (keeping != AppSection::protection) {
        if (auto kept = MemoryBudget::purgedProtection(state.protectionFindings())) {
            state.protectionFindings_.set(std::move(*kept));
        }
        if (auto kept = MemoryBudget::purgedPrivacy(state.privacyItems())) state.privacyItems_.set(std::move(*kept));
    }
    if (keeping != AppSection::performance) {
        state.performanceItems_.set(MemoryBudget::trimPerformance(state.performanceItems()));
    }
    if (keeping != AppSection::apps) {
        if (auto kept = MemoryBudget::purgedUpdates(state.appUpdates())) state.appUpdates_.set(std::move(*kept));
    }
}

}  // namespace tarnwick
