#pragma once

#include "models/AnalysisTab.h"
#include "views/common/PanelStrip.h"

#include <QHash>

class QLabel;

namespace tarnwick {

class AppState;
class PlainButton;

// The map screen's tabs (Map, Largest, Oldest, Types), bound to
// AppState::analysisTab, with the number of files the last scan indexed at
// the right. The tab buttons never take the keyboard focus.
class AnalysisTabBar : public PanelStrip {
    Q_OBJECT

public:
    explicit AnalysisTabBar(AppState& state, QWidget* parent = nullptr);

    // The tab's symbol ("circle.grid.cross" for Map).
    static QString symbolName(AnalysisTab tab);
    // "1234 files indexed"; nothing for a count of 0 or less.
    static QString indexedText(qint64 fileCount);

    PlainButton* button(AnalysisTab tab) const { return buttons_.value(tab); }
    // The count text, empty while hidden.
    QString indexedLabelText() const;

private:
    void updateTabs();
    void updateCount();

    AppState& state_;
    QHash<AnalysisTab, PlainButton*> buttons_;
    QLabel* indexed_ = nullptr;
};

}  // namespace tarnwick
