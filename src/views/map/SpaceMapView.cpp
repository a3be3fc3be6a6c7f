#include "views/map/SpaceMapView.h"

#include "state/AppState.h"
#include "views/map/MapScreenView.h"
#include "views/map/VolumeChooserView.h"

#include <QStackedWidget>
#include <QVBoxLayout>

namespace tarnwick {

SpaceMapView::SpaceMapView(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
    setObjectName(QStringLiteral("SpaceMapView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    pages_ = new QStackedWidget(this);
    chooser_ = new VolumeChooserView(state_, pages_);
    map_ = new MapScreenView(state_, pages_);
    pages_->addWidget(chooser_);
    pages_->addWidget(map_);
    layout->addWidget(pages_);

    connect(map_, &MapScreenView::volumesRequested, this, &SpaceMapView::showChooser);
    connect(chooser_, &VolumeChooserView::mapRequested, this, &SpaceMapView::showMap);
    connect(&state_, &AppState::changed, this, [this](AppState::Field field) {
        switch (field) {
        case AppState::Field::rootNode:
            choosing_ = false;
            break;
        case AppState::Field::screen:
            if (state_.screen() == AppState::Screen::scanning) choosing_ = false;
            break;
        case AppState::Field::section:
            if (state_.section() != AppSection::map) choosing_ = false;
            break;
        default:
            return;
        }
        showCurrent();
    });
    showCurrent();
}

bool SpaceMapView::isShowingChooser() const {
    return pages_->currentWidget() == chooser_;
}

void SpaceMapView::showChooser() {
    choosing_ = true;
    showCurrent();
}

void SpaceMapView::showMap() {
    choosing_ = false;
    showCurrent();
}

void SpaceMapView::showCurrent() {
    pages_->setCurrentWidget(choosing_ || !state_.rootNode() ? static_cast<QWidget*>(chooser_) : map_);
}

}  // namespace tarnwick
