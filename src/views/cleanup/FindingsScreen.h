#pragma once

#include "state/AppState.h"
#include "views/common/FindingRow.h"

#include <QList>
#include <QWidget>

#include <functional>
#include <vector>

namespace tarnwick {

class FindingCard;
class ModuleScreenFrame;
class TaldoButton;

// A module screen of findings on the module screen frame: "Scan again" and
// "Clean <bytes>" in the header, the scanning state while the module scans,
// one card per group of findings, or the empty state with its scan button.
// Showing the screen with no findings and no scan running starts a scan.
// What the screen shows and calls comes from its Spec, so a module's screen
// is one Spec (the Junk and Clutter screens).
class FindingsScreen : public QWidget {
    Q_OBJECT

public:
    // One card: its symbol, title and description and its rows, in order.
    struct Group {
        QString symbol;
        QString title;
        QString description;
        QList<FindingRow::Content> rows;
    };

    struct Spec {
        QString title;
        QString emptySymbol;
        QString emptyDescription;
        QString emptyButton;
        AppState::Field listField;      // the module's list
        AppState::Field scanningField;  // its scanning flag
        AppState::Field labelField;     // its progress label
        std::function<bool(const AppState&)> isScanning;
        std::function<QString(const AppState&)> progressLabel;
        std::function<QString(const AppState&)> statusText;
        std::function<qint64(const AppState&)> selectedBytes;
        std::function<bool(const AppState&)> isEmpty;
        // The groups with at least one finding, in card order.
        std::function<std::vector<Group>(const AppState&)> groups;
        std::function<void(AppState&)> scan;
        std::function<void(AppState&)> clean;
        std::function<void(AppState&, const QUuid&)> toggle;
    };

    FindingsScreen(AppState& state, Spec spec, QWidget* parent = nullptr);

    // "Clean 1.3 GB".
    static QString cleanLabel(qint64 bytes);

    ModuleScreenFrame* frame() const { return frame_; }
    TaldoButton* scanButton() const { return scanButton_; }
    TaldoButton* cleanButton() const { return cleanButton_; }
    TaldoButton* emptyButton() const;
    QList<FindingCard*> cards() const;
    QList<FindingRow*> rows() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void updateHeader();
    void updateRows();

    AppState& state_;
    Spec spec_;
    ModuleScreenFrame* frame_ = nullptr;
    TaldoButton* scanButton_ = nullptr;
    TaldoButton* cleanButton_ = nullptr;
    // What the cards show: each card's title with its rows' ids, in order.
    QList<QPair<QString, QList<QUuid>>> shown_;
    QList<FindingCard*> cards_;
    QList<FindingRow*> rows_;
};

}  // namespace tarnwick
