#include "views/shell/ActivityView.h"

#include "design/TaldoGhostButton.h"
#include "design/TaldoTheme.h"
#include "platform/Environment.h"
#include "services/store/ActivityService.h"
#include "state/AppState.h"
#include "support/ByteCountFormatter.h"
#include "support/RelativeDateFormatter.h"
#include "views/common/FilledPanel.h"
#include "views/common/HairlineDivider.h"
#include "views/common/ScrollColumn.h"
#include "views/common/ViewText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

using T = TaldoTheme;

}  // namespace

ActivityView::ActivityView(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
    setObjectName(QStringLiteral("ActivityView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(20, 20, 20, 20);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(4);
    titles->addWidget(ViewText::label(QStringLiteral("Activity"), 22, QFont::Bold, T::textPrimary(), this));
    totals_ = ViewText::label(QString(), 12, QFont::Normal, T::textSecondary(), this);
    totals_->setObjectName(QStringLiteral("activityTotals"));
    titles->addWidget(totals_);
    header->addLayout(titles);
    header->addStretch(1);
    auto* refreshButton = new TaldoGhostButton(QStringLiteral("Refresh"), this);
    connect(refreshButton, &QPushButton::clicked, this, &ActivityView::refresh);
    header->addWidget(refreshButton);
    layout->addLayout(header);
    layout->addWidget(new HairlineDivider(Qt::Horizontal, this));

    body_ = new QStackedWidget(this);
    auto* empty = ViewText::label(QStringLiteral("Clean something and it will show up here."), 13, QFont::Normal,
                                  T::textSecondary(), body_);
    empty->setObjectName(QStringLiteral("activityEmpty"));
    empty->setAlignment(Qt::AlignCenter);
    body_->addWidget(empty);

    list_ = new ScrollColumn(QMargins(12, 10, 12, 10), 4, body_);
    list_->setObjectName(QStringLiteral("activityList"));
    body_->addWidget(list_);
    layout->addWidget(body_, 1);

    connect(&state_, &AppState::changed, this, [this](AppState::Field field) {
        if (field != AppState::Field::activityEvents) return;
        rebuildRows();
        updateHeader();
    });
    rebuildRows();
    updateHeader();
}

void ActivityView::refresh() {
    state_.reloadActivity();
    // The totals come from the file even when the newest 100 did not change.
    updateHeader();
}

QString ActivityView::headerLine(qint64 lifetimeBytesFreed, qint64 lifetimeItems) {
    return QStringLiteral("Lifetime freed ") + ByteCountFormatter::fileStyle(lifetimeBytesFreed) +
           QStringLiteral(" \u00B7 ") + QString::number(lifetimeItems) + QStringLiteral(" items");
}

std::optional<QString> ActivityView::bytesText(qint64 bytesFreed) {
    if (bytesFreed <= 0) return std::nullopt;
    return ByteCountFormatter::fileStyle(bytesFreed);
}

QString ActivityView::dateText(const QDateTime& date, const QDateTime& now) {
    return RelativeDateFormatter::shortPhrase(date, now);
}

void ActivityView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
}

void ActivityView::updateHeader() {
    const ActivityService::LifetimeTotals totals = ActivityService::lifetimeTotals();
    totals_->setText(headerLine(totals.bytesFreed, totals.items));
}

void ActivityView::rebuildRows() {
    const QList<ActivityEvent>& events = state_.activityEvents();
    const QDateTime now = Environment::current().now();
    QList<QWidget*> rows;
    for (const ActivityEvent& event : events) rows.append(makeRow(event, now));
    list_->setWidgets(rows);
    body_->setCurrentIndex(events.isEmpty() ? 0 : 1);
}

QWidget* ActivityView::makeRow(const ActivityEvent& event, const QDateTime& now) {
    auto* row = new FilledPanel(T::panel(), 8, list_->host());
    row->setObjectName(QStringLiteral("activityRow"));
    row->setProperty("eventId", event.id);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(12, 8, 12, 8);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    auto* kind = ViewText::label(event.kind, 13, QFont::DemiBold, T::textPrimary(), row);
    kind->setObjectName(QStringLiteral("activityKind"));
    auto* summary = ViewText::label(event.summary, 11, QFont::Normal, T::textSecondary(), row);
    summary->setObjectName(QStringLiteral("activitySummary"));
    summary->setWordWrap(true);
    auto* date = ViewText::label(dateText(event.date, now), 10, QFont::Normal, T::textSecondary(), row);
    date->setObjectName(QStringLiteral("activityDate"));
    texts->addWidget(kind);
    texts->addWidget(summary);
    texts->addWidget(date);
    layout->addLayout(texts, 1);
    if (const auto bytes = bytesText(event.bytesFreed)) {
        auto* freed = ViewText::label(*bytes, 13, QFont::Normal, T::accent(), row);
        freed->setObjectName(QStringLiteral("activityBytes"));
        layout->addWidget(freed, 0, Qt::AlignVCenter);
    }
    return row;
}

}  // namespace tarnwick
