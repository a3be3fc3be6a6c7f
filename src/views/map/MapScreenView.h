#pragma once

#include "models/MapStyle.h"
#include "models/ScanNode.h"

#include <QHash>

#include <QWidget>

class QLabel;
class QLineEdit;
class QStackedWidget;
class QVBoxLayout;

namespace tarnwick {

class AnalysisTabBar;
class AppState;
class BreadcrumbBar;
class CollectorTrayView;
class ContentsSidebarView;
class ElidedLabel;
class FileRecordsList;
class FileTypesView;
class KeyCatcher;
class MapView;
class SegmentedPicker;
class TaldoGhostButton;

// The Space Map screen: a toolbar (Volumes, the breadcrumb, the hovered
// node, Rescan, Preview, Collect), the analysis tabs, the current tab's
// content (the map in the chosen style beside the contents list, or one of
// the insights lists) and the collector tray at the foot. Everything shown is
// read from AppState; every action writes it or calls it.
//
// Keys: the space bar previews the hovered node, else the focused one,
// unless a text field (the contents filter) has the keyboard focus; Delete
// (or Ctrl+Backspace) collects the hovered node. A click anywhere outside a
// text field hands the keyboard back to the screen.
class MapScreenView : public QWidget {
    Q_OBJECT

public:
    explicit MapScreenView(AppState& state, QWidget* parent = nullptr);
    ~MapScreenView() override;

    // The selection rule of the renderings and the contents list: a folder
    // (or merged group) with children is drilled into, anything else becomes
    // the hovered node.
    void select(const ScanNodePtr& node);
    // "Movies · 1.5 GB".
    static QString hoverText(const ScanNode& node);

    BreadcrumbBar* breadcrumb() const { return breadcrumb_; }
    AnalysisTabBar* tabBar() const { return tabBar_; }
    ContentsSidebarView* sidebar() const { return sidebar_; }
    CollectorTrayView* tray() const { return tray_; }
    QLineEdit* filterField() const { return filter_; }
    KeyCatcher* keyCatcher() const { return keyCatcher_; }
    SegmentedPicker* stylePicker() const { return stylePicker_; }
    TaldoGhostButton* volumesButton() const { return volumes_; }
    TaldoGhostButton* rescanButton() const { return rescan_; }
    TaldoGhostButton* quickLookButton() const { return quickLook_; }
    TaldoGhostButton* collectButton() const { return collect_; }
    FileRecordsList* largestList() const { return largest_; }
    FileRecordsList* oldestList() const { return oldest_; }
    FileTypesView* typesView() const { return types_; }
    // The content of the current tab.
    QWidget* currentTabContent() const;
    // The map body (rendering and contents column); hidden without a focus.
    QWidget* mapBody() const { return mapBody_; }
    // The rendering of the current style, or null before a map is loaded.
    MapView* rendering() const;
    // The hovered node's name in the toolbar (empty without one).
    QString toolbarHoverName() const;

signals:
    // The Volumes button was pressed (after the scan was stopped and the
    // volume list read again): the owner shows the volume chooser.
    void volumesRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildToolbar();
    QWidget* buildMapTab();
    void onStateChanged(int field);
    void updateHover();
    void updateFocus();
    void updateSidebarNodes();
    void updateTab();
    void updateLists();
    void updateRendering();
    // The rendering of a style, made the first time it is needed.
    MapView* renderingFor(MapStyle style);
    void updateCollectEnabled();
    // Gives the keyboard back to the key catcher unless a text field holds it.
    void reclaimKeyboard();

    AppState& state_;
    KeyCatcher* keyCatcher_ = nullptr;
    TaldoGhostButton* volumes_ = nullptr;
    BreadcrumbBar* breadcrumb_ = nullptr;
    ElidedLabel* hoverName_ = nullptr;
    QLabel* hoverSize_ = nullptr;
    TaldoGhostButton* rescan_ = nullptr;
    TaldoGhostButton* quickLook_ = nullptr;
    TaldoGhostButton* collect_ = nullptr;
    AnalysisTabBar* tabBar_ = nullptr;
    QStackedWidget* tabs_ = nullptr;
    QWidget* mapTab_ = nullptr;
    SegmentedPicker* stylePicker_ = nullptr;
    ElidedLabel* styleHover_ = nullptr;
    QWidget* mapBody_ = nullptr;
    QStackedWidget* renderingHost_ = nullptr;
    QHash<MapStyle, MapView*> renderings_;
    QHash<MapStyle, QWidget*> renderingPages_;
    QLineEdit* filter_ = nullptr;
    ContentsSidebarView* sidebar_ = nullptr;
    FileRecordsList* largest_ = nullptr;
    FileRecordsList* oldest_ = nullptr;
    FileTypesView* types_ = nullptr;
    CollectorTrayView* tray_ = nullptr;
};

}  // namespace tarnwick
