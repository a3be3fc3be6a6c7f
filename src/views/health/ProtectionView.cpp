#include "views/health/ProtectionView.h"

#include "design/TaldoGhostButton.h"
#include "design/TaldoPrimaryButton.h"
#include "services/store/RevealService.h"
#include "views/common/ModuleHeader.h"
#include "views/common/ModuleScreenFrame.h"
#include "views/common/ScrollColumn.h"
#include "views/common/SegmentedPicker.h"
#include "views/health/PrivacyRow.h"
#include "views/health/ThreatRow.h"

#include <QShowEvent>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

using Field = AppState::Field;

constexpr int kPickerWidth = 200;

// The ids of a list, in order: the same ids mean the same rows in the same places.
template <class Item>
QList<QUuid> idsOf(const QList<Item>& items) {
    QList<QUuid> ids;
    for (const Item& item : items) ids.append(item.id);
    return ids;
}

template <class Row, class Item>
QList<QUuid> idsOfRows(const QList<Row*>& rows, const Item& (Row::*value)() const) {
    QList<QUuid> ids;
    for (const Row* row : rows) ids.append((row->*value)().id);
    return ids;
}

}  // namespace

ProtectionView::ProtectionView(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
    setObjectName(QStringLiteral("ProtectionView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    frame_ = new ModuleScreenFrame(QStringLiteral("Protection"), this);
    layout->addWidget(frame_);

    picker_ = new SegmentedPicker({QStringLiteral("Threats"), QStringLiteral("Privacy")});
    picker_->setObjectName(QStringLiteral("protectionTabs"));
    picker_->setFixedWidth(kPickerWidth);
    picker_->setCurrentIndex(tab_);
    connect(picker_, &SegmentedPicker::activated, this, [this](int index) { setTab(index); });
    frame_->header()->addControl(picker_);
    scanButton_ = new TaldoGhostButton(QStringLiteral("Scan"));
    scanButton_->setObjectName(QStringLiteral("protectionScan"));
    connect(scanButton_, &QPushButton::clicked, this, [this] {
        if (tab_ == threats) {
            state_.runProtectionScan();
        } else {
            state_.runPrivacyScan();
        }
    });
    frame_->header()->addControl(scanButton_);
    cleanButton_ = new TaldoPrimaryButton(QStringLiteral("Clean selected"));
    cleanButton_->setObjectName(QStringLiteral("protectionClean"));
    cleanButton_->setSymbol(QStringLiteral("trash"));
    connect(cleanButton_, &QPushButton::clicked, this, [this] {
        if (tab_ == threats) {
            state_.cleanSelectedProtection();
        } else {
            state_.cleanSelectedPrivacy();
        }
    });
    frame_->header()->addControl(cleanButton_);

    pages_ = new QStackedWidget;
    threatList_ = new ScrollColumn(QMargins(20, 16, 20, 20), 8, pages_);
    threatList_->setObjectName(QStringLiteral("threatList"));
    privacyList_ = new ScrollColumn(QMargins(20, 16, 20, 20), 8, pages_);
    privacyList_->setObjectName(QStringLiteral("privacyList"));
    pages_->addWidget(threatList_);
    pages_->addWidget(privacyList_);
    frame_->setContent(pages_);

    connect(&state_, &AppState::changed, this, [this](Field field) {
        switch (field) {
        case Field::protectionFindings:
            updateThreats();
            break;
        case Field::privacyItems:
            updatePrivacy();
            break;
        case Field::isProtectionScanning:
        case Field::protectionProgressLabel:
        case Field::isPrivacyScanning:
        case Field::privacyProgressLabel:
            break;
        default:
            return;
        }
        updateBody();
    });
    updateThreats();
    updatePrivacy();
    updateBody();
}

void ProtectionView::setTab(int tab) {
    tab_ = tab == threats ? threats : privacy;
    picker_->setCurrentIndex(tab_);
    updateBody();
}

void ProtectionView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The window coming back from being minimised is no new visit.
    if (event->spontaneous()) return;
    setTab(threats);
    // A scan already running is left alone: opening the section starts the
    // same scans just before the screen shows, and each should run once.
    if (state_.protectionFindings().isEmpty() && !state_.isProtectionScanning()) state_.runProtectionScan();
    if (state_.privacyItems().isEmpty() && !state_.isPrivacyScanning()) state_.runPrivacyScan();
}

void ProtectionView::updateBody() {
    frame_->setStatusText(state_.protectionStatusText());
    const bool onThreats = tab_ == threats;
    const bool scanning = onThreats ? state_.isProtectionScanning() : state_.isPrivacyScanning();
    const bool hasItems = onThreats ? !state_.protectionFindings().isEmpty() : !state_.privacyItems().isEmpty();
    frame_->setProgressLabel(onThreats ? state_.protectionProgressLabel() : state_.privacyProgressLabel());
    frame_->setEmptyState(QString(),
                          onThreats ? QStringLiteral("No heuristic threats found.")
                                    : QStringLiteral("No privacy residue indexed."),
                          QString());
    pages_->setCurrentIndex(tab_);
    frame_->showBody(ModuleScreenFrame::bodyFor(scanning, hasItems));
}

void ProtectionView::updateThreats() {
    const QList<ProtectionFinding>& findings = state_.protectionFindings();
    if (idsOf(findings) == idsOfRows(threatRows_, &ThreatRow::finding)) {
        for (qsizetype i = 0; i < findings.size(); ++i) threatRows_[i]->setFinding(findings[i]);
        return;
    }
    threatRows_.clear();
    QList<QWidget*> widgets;
    for (const ProtectionFinding& finding : findings) {
        auto* row = new ThreatRow(finding, threatList_->host());
        connect(row, &ThreatRow::toggleRequested, this, [this](const QUuid& id) { state_.toggleProtection(id); });
        connect(row, &ThreatRow::revealRequested, this, [](const QString& path) { RevealService::reveal(path); });
        threatRows_.append(row);
        widgets.append(row);
    }
    threatList_->setWidgets(widgets);
}

void ProtectionView::updatePrivacy() {
    const QList<PrivacyItem>& items = state_.privacyItems();
    if (idsOf(items) == idsOfRows(privacyRows_, &PrivacyRow::item)) {
        for (qsizetype i = 0; i < items.size(); ++i) privacyRows_[i]->setItem(items[i]);
        return;
    }
    privacyRows_.clear();
    QList<QWidget*> widgets;
    for (const PrivacyItem& item : items) {
        auto* row = new PrivacyRow(item, privacyList_->host());
        connect(row, &PrivacyRow::toggleRequested, this, [this](const QUuid& id) { state_.togglePrivacy(id); });
        privacyRows_.append(row);
        widgets.append(row);
    }
    privacyList_->setWidgets(widgets);
}

}  // namespace tarnwick
