#pragma once

#include <QWidget>

class QStackedWidget;

namespace tarnwick {

class AppState;
class FileRecordsList;
class FileTypesView;
class SegmentedPicker;

// The Insights section: a Largest / Oldest / Types picker over the list it
// selects, both bound to AppState::analysisTab (the field the map screen's
// tabs share). Showing the screen while the tab is Map switches to Largest.
class InsightsView : public QWidget {
    Q_OBJECT

public:
    explicit InsightsView(AppState& state, QWidget* parent = nullptr);

    SegmentedPicker* picker() const { return picker_; }
    FileRecordsList* largestList() const { return largest_; }
    FileRecordsList* oldestList() const { return oldest_; }
    FileTypesView* typesView() const { return types_; }
    // The list on display, or null while the tab is Map.
    QWidget* currentList() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showTab();
    void updateLists();

    AppState& state_;
    SegmentedPicker* picker_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    QWidget* blank_ = nullptr;
    FileRecordsList* largest_ = nullptr;
    FileRecordsList* oldest_ = nullptr;
    FileTypesView* types_ = nullptr;
};

}  // namespace tarnwick
