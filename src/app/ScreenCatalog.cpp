#include "app/ScreenCatalog.h"

#include "views/ActivityView.h"
#include "views/DetailArea.h"

namespace tarnwick::ScreenCatalog {

void install(DetailArea& detailArea) {
    detailArea.setScreenFactory(AppSection::activity, [](AppState& state) { return new ActivityView(state); });
}

}  // namespace tarnwick::ScreenCatalog
