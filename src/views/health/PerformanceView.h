#pragma once

#include "state/AppState.h"

#include <QList>
#include <QWidget>

#include <optional>
#include <utility>
#include <vector>

namespace tarnwick {

class FindingCard;
class MaintenanceRow;
class ModuleScreenFrame;
class PerformanceRow;
class TaldoButton;

// The Performance section on the module screen frame: "Refresh" in the
// header; the scanning state while the performance scan runs; the heavy
// processes with "Quit", the login and background items with "Disable" and
// reveal, and the Maintenance card with each task's "Run"; or the empty
// state with its scan button. Showing the screen with nothing listed and no
// scan running starts a scan. When the list changes under the user (a row
// quit or disabled), the rows under the pointer (else at the top) hold still:
// the row there stays where it was, or the next one takes its place.
class PerformanceView : public QWidget {
    Q_OBJECT

public:
    // One card of items: its symbol, title and rows in list order.
    struct Group {
        QString symbol;
        QString title;
        QList<PerformanceItem> items;
    };

    explicit PerformanceView(AppState& state, QWidget* parent = nullptr);

    // The item cards of a list: the processes, then the launch items; a
    // card without rows is left out.
    static std::vector<Group> groups(const QList<PerformanceItem>& items);

    ModuleScreenFrame* frame() const { return frame_; }
    TaldoButton* refreshButton() const { return refresh_; }
    TaldoButton* emptyButton() const;
    // The cards shown, the Maintenance card last.
    QList<FindingCard*> cards() const { return cards_; }
    QList<PerformanceRow*> rows() const { return rows_; }
    QList<MaintenanceRow*> maintenanceRows() const { return maintenanceRows_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    // A place in the list to hold still: the rows and cards from the one at
    // the pointer on, by item id (the Maintenance card by the null id), and
    // where the first of them lies in the viewport.
    struct ScrollAnchor {
        QList<QUuid> keys;
        int offset = 0;
    };

    std::optional<ScrollAnchor> scrollAnchor() const;
    void holdStill(const ScrollAnchor& anchor);
    // The rows, then the Maintenance card, with their keys, top to bottom.
    QList<std::pair<QUuid, QWidget*>> anchorPlaces() const;
    void updateHeader();
    void rebuildCards();
    void updateMaintenance();

    AppState& state_;
    ModuleScreenFrame* frame_ = nullptr;
    TaldoButton* refresh_ = nullptr;
    QList<FindingCard*> cards_;
    QList<PerformanceRow*> rows_;
    QList<MaintenanceRow*> maintenanceRows_;
};

}  // namespace tarnwick
