#include "views/cleanup/AppsView.h"

#include "design/TaldoGhostButton.h"
#include "design/TaldoPrimaryButton.h"
#include "state/AppState.h"
#include "support/ByteCountFormatter.h"
#include "views/cleanup/InstalledAppRow.h"
#include "views/cleanup/UpdateCandidateRow.h"
#include "views/common/ModuleHeader.h"
#include "views/common/ModuleScreenFrame.h"
#include "views/common/ScrollColumn.h"
#include "views/common/SegmentedPicker.h"

#include <QStackedWidget>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

constexpr int kPickerWidth = 220;

}  // namespace

AppsView::AppsView(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
    setObjectName(QStringLiteral("AppsView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    frame_ = new ModuleScreenFrame(title(), this);
    layout->addWidget(frame_);

    picker_ = new SegmentedPicker({QStringLiteral("Uninstaller"), QStringLiteral("Updates")});
    picker_->setObjectName(QStringLiteral("appsTabs"));
    picker_->setFixedWidth(kPickerWidth);
    picker_->setCurrentIndex(tab_);
    connect(picker_, &SegmentedPicker::activated, this, [this](int index) { setTab(index); });
    frame_->header()->addControl(picker_);
    scanButton_ = new TaldoGhostButton(QStringLiteral("Scan again"));
    scanButton_->setObjectName(QStringLiteral("moduleScanAgain"));
    scanButton_->setSymbol(QStringLiteral("arrow.clockwise"));
    connect(scanButton_, &QPushButton::clicked, this, [this] {
        if (tab_ == uninstaller) {
            state_.runAppsScan();
        } else {
            state_.runUpdatesScan();
        }
    });
    frame_->header()->addControl(scanButton_);
    uninstallButton_ = new TaldoPrimaryButton(uninstallLabel(0));
    uninstallButton_->setObjectName(QStringLiteral("appsUninstall"));
    uninstallButton_->setSymbol(QStringLiteral("trash"));
    connect(uninstallButton_, &QPushButton::clicked, this, [this] { state_.uninstallSelectedApps(); });
    frame_->header()->addControl(uninstallButton_);

    lists_ = new QStackedWidget;
    appList_ = new ScrollColumn(QMargins(20, 14, 20, 14), 6, lists_);
    appList_->setObjectName(QStringLiteral("appsList"));
    lists_->addWidget(appList_);
    updateList_ = new ScrollColumn(QMargins(20, 14, 20, 14), 6, lists_);
    updateList_->setObjectName(QStringLiteral("updatesList"));
    lists_->addWidget(updateList_);
    frame_->setContent(lists_);

    connect(&state_, &AppState::changed, this, [this](AppState::Field field) {
        switch (field) {
        case AppState::Field::installedApps:
            updateAppRows();
            updateHeader();
            break;
        case AppState::Field::appUpdates:
            updateUpdateRows();
            updateHeader();
            break;
        case AppState::Field::isAppsScanning:
        case AppState::Field::appsProgressLabel:
        case AppState::Field::isUpdatesScanning:
        case AppState::Field::updatesProgressLabel:
        case AppState::Field::isSafeBinBusy:
            updateHeader();
            break;
        default:
            break;
        }
    });
    updateAppRows();
    updateUpdateRows();
    updateHeader();
}

QString AppsView::uninstallLabel(qint64 bytes) {
    return QStringLiteral("Uninstall ") + ByteCountFormatter::fileStyle(bytes);
}

void AppsView::setTab(int tab) {
    if (tab != uninstaller && tab != updates) return;
    tab_ = tab;
    picker_->setCurrentIndex(tab);
    updateHeader();
}

void AppsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (state_.installedApps().isEmpty() && !state_.isAppsScanning()) state_.runAppsScan();
    if (state_.appUpdates().isEmpty() && !state_.isUpdatesScanning()) state_.runUpdatesScan();
}

void AppsView::updateHeader() {
    const bool onApps = tab_ == uninstaller;
    const bool scanning = onApps ? state_.isAppsScanning() : state_.isUpdatesScanning();
    const bool hasItems = onApps ? !state_.installedApps().isEmpty() : !state_.appUpdates().isEmpty();
    const bool busy = state_.isSafeBinBusy();
    frame_->setStatusText(onApps ? state_.appsStatusText() : state_.updatesStatusText());
    frame_->setProgressLabel(onApps ? state_.appsProgressLabel() : state_.updatesProgressLabel());
    frame_->setEmptyState(QString(), onApps ? noAppsText() : noUpdatesText(), QString());
    lists_->setCurrentIndex(tab_);
    frame_->showBody(ModuleScreenFrame::bodyFor(scanning, hasItems));

    // A scan may be started again while one runs; not while the Safe Bin moves.
    scanButton_->setEnabled(!busy);
    const qint64 bytes = state_.appsSelectedBytes();
    uninstallButton_->setText(uninstallLabel(bytes));
    uninstallButton_->setVisible(onApps);
    uninstallButton_->setEnabled(bytes != 0 && !state_.isAppsScanning() && !busy);
    for (InstalledAppRow* row : std::as_const(appRows_)) row->setResetEnabled(!busy);
}

void AppsView::updateAppRows() {
    const QList<InstalledApp>& apps = state_.installedApps();
    QList<QUuid> ids;
    for (const InstalledApp& app : apps) ids.append(app.id);
    if (ids == shownApps_) {
        for (qsizetype i = 0; i < apps.size(); ++i) appRows_[i]->setApp(apps[i]);
        return;
    }
    shownApps_ = ids;
    const QSet<QUuid> listed(ids.begin(), ids.end());
    expanded_.intersect(listed);
    appRows_.clear();
    QList<QWidget*> widgets;
    for (const InstalledApp& app : apps) {
        auto* row = new InstalledAppRow(app, appList_->host());
        row->setExpanded(expanded_.contains(app.id));
        connect(row, &InstalledAppRow::toggleRequested, this, [this](const QUuid& id) { state_.toggleInstalledApp(id); });
        connect(row, &InstalledAppRow::resetRequested, this,
                [this](const InstalledApp& value) { state_.resetApp(value); });
        connect(row, &InstalledAppRow::revealRequested, this,
                [this](const QString& path) { state_.revealInFileManager(path); });
        connect(row, &InstalledAppRow::expandedChanged, this, [this](const QUuid& id, bool expanded) {
            if (expanded) {
                expanded_.insert(id);
            } else {
                expanded_.remove(id);
            }
        });
        row->setResetEnabled(!state_.isSafeBinBusy());
        appRows_.append(row);
        widgets.append(row);
    }
    appList_->setWidgets(widgets);
}

void AppsView::updateUpdateRows() {
    updateRows_.clear();
    QList<QWidget*> widgets;
    for (const AppUpdateItem& item : state_.appUpdates()) {
        auto* row = new UpdateCandidateRow(item, updateList_->host());
        connect(row, &UpdateCandidateRow::openRequested, this,
                [this](const AppUpdateItem& value) { state_.openUpdateCandidate(value); });
        updateRows_.append(row);
        widgets.append(row);
    }
    updateList_->setWidgets(widgets);
}

}  // namespace tarnwick
