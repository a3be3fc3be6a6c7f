#pragma once

#include "models/PerformanceItem.h"

#include <QWidget>

namespace tarnwick {

class PlainButton;
class TaldoButton;

// One process or launch item on the Performance screen: the title over the
// detail, then the metric and the item's buttons: "Quit" for a process that
// can be quit, "Disable" and the reveal button for a launch item with a
// path ("Disabling…", not enabled, while its disable runs). The row only
// reports clicks; the screen decides what they do.
class PerformanceRow : public QWidget {
    Q_OBJECT

public:
    explicit PerformanceRow(const PerformanceItem& item, QWidget* parent = nullptr);

    const PerformanceItem& item() const { return item_; }
    // The buttons, or null where the item has none.
    TaldoButton* quitButton() const { return quit_; }
    TaldoButton* disableButton() const { return disable_; }
    PlainButton* revealButton() const { return reveal_; }

signals:
    void quitRequested();
    void disableRequested();
    void revealRequested();

private:
    PerformanceItem item_;
    TaldoButton* quit_ = nullptr;
    TaldoButton* disable_ = nullptr;
    PlainButton* reveal_ = nullptr;
};

}  // namespace tarnwick
