#pragma once

#include <QWidget>

class QStackedWidget;

namespace tarnwick {

class AppState;
class MapScreenView;
class VolumeChooserView;

// The Space Map section: the map screen while a map is loaded, else the
// volume chooser. The map screen's Volumes button also brings up the
// chooser, keeping the loaded map (tree, focus, collector) for its Show Map
// button; a new map, a scan starting or leaving the section returns to the map.
class SpaceMapView : public QWidget {
    Q_OBJECT

public:
    explicit SpaceMapView(AppState& state, QWidget* parent = nullptr);

    MapScreenView* mapScreen() const { return map_; }
    VolumeChooserView* chooser() const { return chooser_; }
    bool isShowingChooser() const;

    // Brings up the chooser, or the map when one is loaded.
    void showChooser();
    void showMap();

private:
    void showCurrent();

    AppState& state_;
    QStackedWidget* pages_ = nullptr;
    VolumeChooserView* chooser_ = nullptr;
    MapScreenView* map_ = nullptr;
    bool choosing_ = false;
};

}  // namespace tarnwick
