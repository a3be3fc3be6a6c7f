#include "app/ScreenCatalog.h"

#include "views/cleanup/AppsView.h"
#include "views/cleanup/CleanupView.h"
#include "views/cleanup/ClutterView.h"
#include "views/cleanup/SafeBinView.h"
#include "views/health/PerformanceView.h"
#include "views/health/ProtectionView.h"
#include "views/shell/ActivityView.h"
#include "views/shell/DetailArea.h"
#include "views/map/InsightsView.h"
#include "views/map/ScanningView.h"
#include "views/map/SpaceMapView.h"

namespace tarnwick::ScreenCatalog {

void install(DetailArea& detailArea) {
    detailArea.setScreenFactory(AppSection::map, [](AppState& state) { return new SpaceMapView(state); });
    detailArea.setScreenFactory(AppSection::insights, [](AppState& state) { return new InsightsView(state); });
    detailArea.setScreenFactory(AppSection::cleanup, [](AppState& state) { return new CleanupView(state); });
    detailArea.setScreenFactory(AppSection::performance, [](AppState& state) { return new PerformanceView(state); });
    detailArea.setScreenFactory(AppSection::apps, [](AppState& state) { return new AppsView(state); });
    detailArea.setScreenFactory(AppSection::clutter, [](AppState& state) { return new ClutterView(state); });
    detailArea.setScreenFactory(AppSection::protection, [](AppState& state) { return new ProtectionView(state); });
    detailArea.setScreenFactory(AppSection::safeBin, [](AppState& state) { return new SafeBinView(state); });
    detailArea.setScreenFactory(AppSection::activity, [](AppState& state) { return new ActivityView(state); });
    detailArea.setScanningScreenFactory([](AppState& state) { return new ScanningView(state); });
}

}  // namespace tarnwick::ScreenCatalog
