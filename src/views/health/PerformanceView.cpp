#include "views/health/PerformanceView.h"

#include "design/TaldoGhostButton.h"
#include "design/TaldoPrimaryButton.h"
#include "services/store/RevealService.h"
#include "views/common/FindingCard.h"
#include "views/common/ModuleHeader.h"
#include "views/common/ModuleScreenFrame.h"
#include "views/common/ScrollColumn.h"
#include "views/health/MaintenanceRow.h"
#include "views/health/PerformanceRow.h"

#include <QApplication>
#include <QCursor>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

namespace tarnwick {

PerformanceView::PerformanceView(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
    setObjectName(QStringLiteral("PerformanceView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    frame_ = new ModuleScreenFrame(QStringLiteral("Performance"), this);
    layout->addWidget(frame_);

    refresh_ = new TaldoGhostButton(QStringLiteral("Refresh"));
    refresh_->setObjectName(QStringLiteral("performanceRefresh"));
    refresh_->setSymbol(QStringLiteral("arrow.clockwise"));
    connect(refresh_, &QPushButton::clicked, this, [this] { state_.runPerformanceScan(); });
    frame_->header()->addControl(refresh_);

    TaldoPrimaryButton* empty = frame_->setEmptyState(
        QStringLiteral("gauge.medium"),
        QStringLiteral("Find heavy processes, login items, and services that slow your computer."),
        QStringLiteral("Scan Performance"));
    connect(empty, &QPushButton::clicked, this, [this] { state_.runPerformanceScan(); });

    connect(&state_, &AppState::changed, this, [this](AppState::Field field) {
        switch (field) {
        case AppState::Field::performanceItems:
            rebuildCards();
            updateHeader();
            break;
        case AppState::Field::isPerformanceScanning:
        case AppState::Field::performanceProgressLabel:
            updateHeader();
            break;
        case AppState::Field::maintenanceTasks:
            updateMaintenance();
            break;
        default:
            break;
        }
    });
    rebuildCards();
    updateHeader();
}

std::vector<PerformanceView::Group> PerformanceView::groups(const QList<PerformanceItem>& items) {
    Group processes{QStringLiteral("cpu"), QStringLiteral("Heavy processes"), {}};
    Group launchItems{QStringLiteral("power"), QStringLiteral("Login / background items"), {}};
    for (const PerformanceItem& item : items) {
        (item.kind == PerformanceItem::Kind::process ? processes : launchItems).items.append(item);
    }
    std::vector<Group> result;
    for (Group* group : {&processes, &launchItems}) {
        if (!group->items.isEmpty()) result.push_back(std::move(*group));
    }
    return result;
}

TaldoButton* PerformanceView::emptyButton() const {
    return frame_->findChild<TaldoPrimaryButton*>(QStringLiteral("moduleEmptyButton"));
}

void PerformanceView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (state_.performanceItems().isEmpty() && !state_.isPerformanceScanning()) state_.runPerformanceScan();
}

void PerformanceView::updateHeader() {
    const bool scanning = state_.isPerformanceScanning();
    frame_->setStatusText(state_.performanceStatusText());
    frame_->setProgressLabel(state_.performanceProgressLabel());
    refresh_->setEnabled(!scanning);
    frame_->showBody(ModuleScreenFrame::bodyFor(scanning, !state_.performanceItems().isEmpty()));
}

QList<std::pair<QUuid, QWidget*>> PerformanceView::anchorPlaces() const {
    QList<std::pair<QUuid, QWidget*>> places;
    for (PerformanceRow* row : rows_) places.append({row->item().id, row});
    if (!cards_.isEmpty()) places.append({QUuid(), cards_.last()});  // the Maintenance card
    return places;
}

std::optional<PerformanceView::ScrollAnchor> PerformanceView::scrollAnchor() const {
    ScrollColumn* column = frame_->cardColumn();
    if (!column || !column->isVisible() || frame_->body() != ModuleScreenFrame::Body::content) return std::nullopt;
    QWidget* viewport = column->viewport();
    const QPoint pointer = viewport->mapFromGlobal(QCursor::pos());
    const int y = viewport->rect().contains(pointer) ? pointer.y() : 0;
    const QList<std::pair<QUuid, QWidget*>> places = anchorPlaces();
    for (qsizetype i = 0; i < places.size(); ++i) {
        const int top = places[i].second->mapTo(viewport, QPoint()).y();
        if (top + places[i].second->height() <= y) continue;
        ScrollAnchor anchor;
        for (qsizetype j = i; j < places.size(); ++j) anchor.keys.append(places[j].first);
        anchor.offset = top;
        return anchor;
    }
    return std::nullopt;
}

void PerformanceView::holdStill(const ScrollAnchor& anchor) {
    ScrollColumn* column = frame_->cardColumn();
    if (!column) return;
    // The new cards are laid out now rather than on the next turn of the
    // event loop, so the row to hold is where it will be drawn.
    for (FindingCard* card : cards_) card->show();
    column->host()->layout()->activate();
    QEvent request(QEvent::LayoutRequest);
    QCoreApplication::sendEvent(column, &request);
    const QList<std::pair<QUuid, QWidget*>> places = anchorPlaces();
    for (const QUuid& key : anchor.keys) {
        const auto place = std::find_if(places.begin(), places.end(), [&](const auto& p) { return p.first == key; });
        if (place == places.end()) continue;  // gone: the next one takes its place
        const int top = place->second->mapTo(column->host(), QPoint()).y();
        column->verticalScrollBar()->setValue(top - anchor.offset);
        return;
    }
}

void PerformanceView::rebuildCards() {
    const std::optional<ScrollAnchor> anchor = scrollAnchor();
    // Focus on a button that goes would pass from one old row to the next as
    // each is hidden, and the column would scroll to each: it waits on the
    // column itself instead.
    if (ScrollColumn* column = frame_->cardColumn(); column && column->host()->isAncestorOf(QApplication::focusWidget())) {
        column->setFocus(Qt::OtherFocusReason);
    }
    cards_.clear();
    rows_.clear();
    maintenanceRows_.clear();
    QList<QWidget*> cards;
    QWidget* parent = frame_->cardParent();
    for (const Group& group : groups(state_.performanceItems())) {
        auto* card = new FindingCard(group.symbol, group.title, QString(), parent);
        for (const PerformanceItem& item : group.items) {
            auto* row = new PerformanceRow(item);
            connect(row, &PerformanceRow::quitRequested, this, [this, pid = item.pid] {
                if (pid) state_.quitPerformanceProcess(*pid);
            });
            connect(row, &PerformanceRow::disableRequested, this,
                    [this, item] { state_.disablePerformanceItem(item); });
            connect(row, &PerformanceRow::revealRequested, this, [path = item.path] {
                if (path) RevealService::reveal(*path);
            });
            card->addRow(row);
            rows_.append(row);
        }
        cards_.append(card);
        cards.append(card);
    }

    auto* maintenance = new FindingCard(QStringLiteral("wrench.and.screwdriver"), QStringLiteral("Maintenance"),
                                        QStringLiteral("System tune-ups. Some need administrator rights."),
                                        parent);
    maintenance->setObjectName(QStringLiteral("maintenanceCard"));
    for (const MaintenanceTask& task : state_.maintenanceTasks()) {
        auto* row = new MaintenanceRow(task);
        connect(row, &MaintenanceRow::runRequested, this, [this, kind = task.kind] { state_.runMaintenance(kind); });
        maintenance->addRow(row);
        maintenanceRows_.append(row);
    }
    cards_.append(maintenance);
    cards.append(maintenance);
    frame_->setCards(cards);
    if (anchor) holdStill(*anchor);
}

void PerformanceView::updateMaintenance() {
    const QList<MaintenanceTask>& tasks = state_.maintenanceTasks();
    for (MaintenanceRow* row : maintenanceRows_) {
        for (const MaintenanceTask& task : tasks) {
            if (task.id == row->task().id) row->setTask(task);
        }
    }
}

}  // namespace tarnwick
