#include "views/cleanup/SafeBinView.h"

#include "design/TaldoGhostButton.h"
#include "design/TaldoTheme.h"
#include "state/AppState.h"
#include "views/cleanup/SafeBinListModel.h"
#include "views/cleanup/SafeBinListView.h"
#include "views/common/HairlineDivider.h"
#include "views/common/ModuleHeader.h"
#include "views/common/ViewText.h"

#include <QLabel>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace tarnwick {

SafeBinView::SafeBinView(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
    setObjectName(QStringLiteral("SafeBinView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    header_ = new ModuleHeader(QStringLiteral("Safe Bin"), this);
    header_->setStatusText(QStringLiteral("Items stay here 30 days \u2014 restore anytime, or delete forever."));
    refresh_ = new TaldoGhostButton(QStringLiteral("Refresh"));
    refresh_->setObjectName(QStringLiteral("safeBinRefresh"));
    connect(refresh_, &QPushButton::clicked, this, [this] { state_.reloadSafeBin(); });
    header_->addControl(refresh_);
    layout->addWidget(header_);
    layout->addWidget(new HairlineDivider(Qt::Horizontal, this));

    body_ = new QStackedWidget(this);
    auto* emptyPage = new QWidget(body_);
    auto* emptyLayout = new QVBoxLayout(emptyPage);
    emptyLayout->setContentsMargins(0, 12, 0, 0);
    auto* empty = ViewText::label(emptyText(), 13, QFont::Normal, TaldoTheme::textSecondary(), emptyPage);
    empty->setObjectName(QStringLiteral("safeBinEmpty"));
    empty->setAlignment(Qt::AlignHCenter);
    emptyLayout->addWidget(empty);
    emptyLayout->addStretch(1);
    body_->addWidget(emptyPage);

    model_ = new SafeBinListModel(this);
    list_ = new SafeBinListView(body_);
    list_->setModel(model_);
    list_->setButtonsEnabled(!state_.isSafeBinBusy());
    connect(list_, &SafeBinListView::buttonClicked, this, [this](int row, SafeBinListView::Button button) {
        // A copy: the action may change the list the row lives in.
        const SafeBinEntry entry = model_->entry(row);
        if (button == SafeBinListView::Button::restore) state_.restoreSafeBin(entry);
        if (button == SafeBinListView::Button::destroy) state_.destroySafeBin(entry);
    });
    body_->addWidget(list_);
    layout->addWidget(body_, 1);

    connect(&state_, &AppState::changed, this, [this](AppState::Field field) {
        if (field == AppState::Field::safeBinItems) followList();
        if (field == AppState::Field::isSafeBinBusy) list_->setButtonsEnabled(!state_.isSafeBinBusy());
    });
}

void SafeBinView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (stale_) {
        model_->reset(state_.safeBinList(), state_.safeBinChange().version);
        stale_ = false;
        showBody();
    }
    state_.reloadSafeBin();
}

void SafeBinView::followList() {
    if (!isVisible()) {
        // Nothing for rows nobody sees; the list is read whole when shown.
        model_->clear();
        stale_ = true;
        return;
    }
    model_->apply(state_.safeBinList(), state_.safeBinChange());
    showBody();
}

void SafeBinView::showBody() {
    body_->setCurrentIndex(model_->rowCount() == 0 ? 0 : 1);
}

}  // namespace tarnwick
