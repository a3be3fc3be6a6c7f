#include "app/ScreenCatalog.h"

#include "views/ActivityView.h"
#include "views/DetailArea.h"
#include "views/InsightsView.h"
#include "views/ScanningView.h"
#include "views/SpaceMapView.h"

namespace tarnwick::ScreenCatalog {

void install(DetailArea& detailArea) {
    detailArea.setScreenFactory(AppSection::map, [](AppState& state) { return new SpaceMapView(state); });
    detailArea.setScreenFactory(AppSection::insights, [](AppState& state) { return new InsightsView(state); });
    detailArea.setScreenFactory(AppSection::activity, [](AppState& state) { return new ActivityView(state); });
    detailArea.setScanningScreenFactory([](AppState& state) { return new ScanningView(state); });
}

}  // namespace tarnwick::ScreenCatalog
