#pragma once

#include <QList>
#include <QSet>
#include <QUuid>
#include <QWidget>

class QStackedWidget;

namespace tarnwick {

class AppState;
class InstalledAppRow;
class ModuleScreenFrame;
class ScrollColumn;
class SegmentedPicker;
class TaldoButton;
class UpdateCandidateRow;

// The Apps section on the module screen frame, in two tabs chosen in the
// header: "Uninstaller" lists the installed applications with their sizes
// and leftovers, to tick and move into the Safe Bin with "Uninstall", or to
// reset one by moving only its leftovers; "Updates" lists the update
// candidates, each opened with "Open". Showing the screen starts the scan of
// each list that is empty and not being scanned already.
class AppsView : public QWidget {
    Q_OBJECT

public:
    enum Tab { uninstaller = 0, updates = 1 };

    explicit AppsView(AppState& state, QWidget* parent = nullptr);

    static QString title() { return QStringLiteral("Applications"); }
    static QString noAppsText() { return QStringLiteral("No apps indexed."); }
    static QString noUpdatesText() {
        return QStringLiteral("No update candidates found (AppImages in Downloads, Flatpak, Homebrew).");
    }
    // "Uninstall 1.4 GB".
    static QString uninstallLabel(qint64 bytes);

    int tab() const { return tab_; }
    void setTab(int tab);

    ModuleScreenFrame* frame() const { return frame_; }
    SegmentedPicker* tabPicker() const { return picker_; }
    TaldoButton* scanButton() const { return scanButton_; }
    TaldoButton* uninstallButton() const { return uninstallButton_; }
    QList<InstalledAppRow*> appRows() const { return appRows_; }
    QList<UpdateCandidateRow*> updateRows() const { return updateRows_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void updateHeader();
    void updateAppRows();
    void updateUpdateRows();

    AppState& state_;
    int tab_ = uninstaller;
    ModuleScreenFrame* frame_ = nullptr;
    SegmentedPicker* picker_ = nullptr;
    TaldoButton* scanButton_ = nullptr;
    TaldoButton* uninstallButton_ = nullptr;
    QStackedWidget* lists_ = nullptr;
    ScrollColumn* appList_ = nullptr;
    ScrollColumn* updateList_ = nullptr;
    QList<InstalledAppRow*> appRows_;
    QList<QUuid> shownApps_;
    QSet<QUuid> expanded_;  // the rows whose leftovers are open
    QList<UpdateCandidateRow*> updateRows_;
};

}  // namespace tarnwick
