#include "views/cleanup/SafeBinView.h"

#include "design/TaldoDangerButton.h"
#include "design/TaldoGhostButton.h"
#include "design/TaldoTheme.h"
#include "platform/Environment.h"
#include "state/AppState.h"
#include "support/ByteCountFormatter.h"
#include "support/PathRules.h"
#include "support/RelativeDateFormatter.h"
#include "views/common/ElidedLabel.h"
#include "views/common/FilledPanel.h"
#include "views/common/HairlineDivider.h"
#include "views/common/ModuleHeader.h"
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
    auto* empty = ViewText::label(emptyText(), 13, QFont::Normal, T::textSecondary(), emptyPage);
    empty->setObjectName(QStringLiteral("safeBinEmpty"));
    empty->setAlignment(Qt::AlignHCenter);
    emptyLayout->addWidget(empty);
    emptyLayout->addStretch(1);
    body_->addWidget(emptyPage);

    list_ = new ScrollColumn(QMargins(12, 10, 12, 10), 4, body_);
    list_->setObjectName(QStringLiteral("safeBinList"));
    body_->addWidget(list_);
    layout->addWidget(body_, 1);

    connect(&state_, &AppState::changed, this, [this](AppState::Field field) {
        if (field == AppState::Field::safeBinItems) rebuildRows();
        if (field == AppState::Field::isSafeBinBusy) updateButtons();
    });
    rebuildRows();
}

QList<QWidget*> SafeBinView::rows() const {
    return list_->widgets();
}

void SafeBinView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    state_.reloadSafeBin();
}

void SafeBinView::rebuildRows() {
    const QDateTime now = Environment::current().now();
    QList<QWidget*> rows;
    for (const SafeBinEntry& entry : state_.safeBinItems()) rows.append(makeRow(entry, now));
    list_->setWidgets(rows);
    body_->setCurrentIndex(state_.safeBinItems().empty() ? 0 : 1);
    updateButtons();
}

void SafeBinView::updateButtons() {
    const bool busy = state_.isSafeBinBusy();
    for (QWidget* row : rows()) {
        for (TaldoButton* button : row->findChildren<TaldoButton*>()) button->setEnabled(!busy);
    }
}

QWidget* SafeBinView::makeRow(const SafeBinEntry& entry, const QDateTime& now) {
    auto* row = new FilledPanel(T::panel(), 8, list_->host());
    row->setObjectName(QStringLiteral("safeBinRow"));
    row->setProperty("entryId", entry.id);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(12, 8, 12, 8);
    layout->setSpacing(10);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    auto* name = ViewText::label(entry.displayName, 13, QFont::DemiBold, T::textPrimary(), row);
    name->setObjectName(QStringLiteral("safeBinName"));
    name->setWordWrap(true);
    texts->addWidget(name);
    auto* origin = new ElidedLabel(PathRules::abbreviatingWithTilde(entry.originalPath), Qt::ElideMiddle, row);
    origin->setObjectName(QStringLiteral("safeBinOrigin"));
    origin->setFont(ViewText::font(11));
    ViewText::setTextColor(origin, T::textSecondary());
    texts->addWidget(origin);
    auto* when = ViewText::label(RelativeDateFormatter::shortPhrase(entry.removedAt, now), 10, QFont::Normal,
                                 T::textSecondary(), row);
    when->setObjectName(QStringLiteral("safeBinRemoved"));
    texts->addWidget(when);
    layout->addLayout(texts, 1);

    auto* size = ViewText::label(ByteCountFormatter::fileStyle(entry.size), 13, QFont::Normal, T::accent(), row);
    size->setObjectName(QStringLiteral("safeBinSize"));
    layout->addWidget(size, 0, Qt::AlignVCenter);
    auto* restore = new TaldoGhostButton(QStringLiteral("Restore"), row);
    restore->setObjectName(QStringLiteral("safeBinRestore"));
    connect(restore, &QPushButton::clicked, this, [this, entry] { state_.restoreSafeBin(entry); });
    layout->addWidget(restore, 0, Qt::AlignVCenter);
    auto* destroy = new TaldoDangerButton(QStringLiteral("Delete forever"), row);
    destroy->setObjectName(QStringLiteral("safeBinDelete"));
    connect(destroy, &QPushButton::clicked, this, [this, entry] { state_.destroySafeBin(entry); });
    layout->addWidget(destroy, 0, Qt::AlignVCenter);
    return row;
}

}  // namespace tarnwick
