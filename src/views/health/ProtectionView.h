#pragma once

#include "state/AppState.h"

#include <QList>
#include <QWidget>

class QStackedWidget;

namespace tarnwick {

class ModuleScreenFrame;
class PrivacyRow;
class ScrollColumn;
class SegmentedPicker;
class TaldoButton;
class ThreatRow;

// The Protection section on the module screen frame: the tabs "Threats" and
// "Privacy" in the header with "Scan" and "Clean selected", both of which act
// on the tab shown; the tab's scanning state while its scan runs, else its
// rows, else a sentence. Shown anew (coming back from another section), it
// opens on Threats and starts each scan whose list is empty and that is not
// already running.
class ProtectionView : public QWidget {
    Q_OBJECT

public:
    enum Tab { threats = 0, privacy = 1 };

    explicit ProtectionView(AppState& state, QWidget* parent = nullptr);

    int tab() const { return tab_; }
    // Shows a tab as choosing it in the picker does; any value but 0 shows Privacy.
    void setTab(int tab);

    ModuleScreenFrame* frame() const { return frame_; }
    SegmentedPicker* picker() const { return picker_; }
    TaldoButton* scanButton() const { return scanButton_; }
    TaldoButton* cleanButton() const { return cleanButton_; }
    const QList<ThreatRow*>& threatRows() const { return threatRows_; }
    const QList<PrivacyRow*>& privacyRows() const { return privacyRows_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void updateBody();
    void updateThreats();
    void updatePrivacy();

    AppState& state_;
    int tab_ = threats;
    ModuleScreenFrame* frame_ = nullptr;
    SegmentedPicker* picker_ = nullptr;
    TaldoButton* scanButton_ = nullptr;
    TaldoButton* cleanButton_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    ScrollColumn* threatList_ = nullptr;
    ScrollColumn* privacyList_ = nullptr;
    QList<ThreatRow*> threatRows_;
    QList<PrivacyRow*> privacyRows_;
};

}  // namespace tarnwick
