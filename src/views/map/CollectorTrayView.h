#pragma once

#include "models/CollectorItem.h"

#include <QList>
#include <QWidget>

class QHBoxLayout;
class QLabel;
class QScrollArea;

namespace tarnwick {

class AppState;
class TaldoDangerButton;
class TaldoGhostButton;

// The tray at the foot of the map screen: what the user gathered for
// deletion as one chip per item (each with a button that takes it out), a
// one-line summary, and the button that starts the delete countdown. While
// the countdown runs the button reads "Cancel (n)" and stops it.
class CollectorTrayView : public QWidget {
    Q_OBJECT

public:
    explicit CollectorTrayView(AppState& state, QWidget* parent = nullptr);

    // The hint for an empty collector, else "3 item(s) · 1.5 MB".
    static QString subtitleText(const QList<CollectorItem>& items, qint64 total);
    // "Cancel (4)".
    static QString cancelText(int secondsLeft);

    QString subtitle() const;
    // The chip widgets in collector order (each has the object name "collectorChip").
    QList<QWidget*> chips() const;
    bool chipsShown() const;
    TaldoDangerButton* deleteButton() const { return delete_; }
    TaldoGhostButton* cancelButton() const { return cancel_; }

private:
    void rebuildChips();
    void updateSummary();
    void updateDeleteControl();
    QWidget* makeChip(const CollectorItem& item);

    AppState& state_;
    QLabel* subtitle_ = nullptr;
    QScrollArea* chipsScroll_ = nullptr;
    QWidget* chipsHost_ = nullptr;
    QHBoxLayout* chipsLayout_ = nullptr;
    QWidget* filler_ = nullptr;
    TaldoDangerButton* delete_ = nullptr;
    TaldoGhostButton* cancel_ = nullptr;
};

}  // namespace tarnwick
