#include "views/map/InsightsView.h"

#include "services/store/QuickLookService.h"
#include "state/AppState.h"
#include "views/map/FileRecordsList.h"
#include "views/map/FileTypesView.h"
#include "views/common/SegmentedPicker.h"

#include <QHBoxLayout>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

const QList<AnalysisTab> kPickerTabs = {AnalysisTab::largest, AnalysisTab::oldest, AnalysisTab::types};

}  // namespace

InsightsView::InsightsView(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
    setObjectName(QStringLiteral("InsightsView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* pickerRow = new QHBoxLayout;
    pickerRow->setContentsMargins(16, 16, 16, 16);
    QStringList labels;
    for (AnalysisTab tab : kPickerTabs) labels << rawValue(tab);
    picker_ = new SegmentedPicker(labels, this);
    picker_->setObjectName(QStringLiteral("insightsPicker"));
    picker_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(picker_, &SegmentedPicker::activated, this,
            [this](int index) { state_.setAnalysisTab(kPickerTabs.value(index, AnalysisTab::largest)); });
    pickerRow->addWidget(picker_);
    layout->addLayout(pickerRow);

    const FileRecordsList::Actions actions{
        [this](const FileRecord& record) { state_.addFileToCollector(record); },
        [this](const FileRecord& record) { state_.revealInFileManager(record.path); },
        [](const FileRecord& record) { QuickLookService::preview(record.path); },
    };
    pages_ = new QStackedWidget(this);
    blank_ = new QWidget(pages_);
    largest_ = new FileRecordsList(QStringLiteral("Largest files"), QStringLiteral("Top space hogs from your last map scan"),
                                   QStringLiteral("Scan a volume from Home or Space Map first."), pages_);
    oldest_ = new FileRecordsList(QStringLiteral("Oldest large files"), QStringLiteral("Untouched for 90+ days"),
                                  QStringLiteral("Scan a volume first to index old files."), pages_);
    largest_->setActions(actions);
    oldest_->setActions(actions);
    types_ = new FileTypesView(pages_);
    pages_->addWidget(blank_);
    pages_->addWidget(largest_);
    pages_->addWidget(oldest_);
    pages_->addWidget(types_);
    layout->addWidget(pages_, 1);

    connect(&state_, &AppState::changed, this, [this](AppState::Field field) {
        if (field == AppState::Field::analysisTab) showTab();
        if (field == AppState::Field::insights) updateLists();
    });
    updateLists();
    showTab();
}

QWidget* InsightsView::currentList() const {
    return pages_->currentWidget() == blank_ ? nullptr : pages_->currentWidget();
}

void InsightsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (state_.analysisTab() == AnalysisTab::map) state_.setAnalysisTab(AnalysisTab::largest);
}

void InsightsView::showTab() {
    const AnalysisTab tab = state_.analysisTab();
    picker_->setCurrentIndex(int(kPickerTabs.indexOf(tab)));
    switch (tab) {
    case AnalysisTab::map:
        pages_->setCurrentWidget(blank_);
        break;
    case AnalysisTab::largest:
        pages_->setCurrentWidget(largest_);
        break;
    case AnalysisTab::oldest:
        pages_->setCurrentWidget(oldest_);
        break;
    case AnalysisTab::types:
        pages_->setCurrentWidget(types_);
        break;
    }
}

void InsightsView::updateLists() {
    const ScanInsights& insights = state_.insights();
    largest_->setRecords(insights.largest);
    oldest_->setRecords(insights.oldest);
    types_->setTypes(insights.types, std::max<qint64>(insights.totalFileBytes, 1));
}

}  // namespace tarnwick
