#include "views/cleanup/FindingsScreen.h"

#include "design/TaldoGhostButton.h"
#include "design/TaldoPrimaryButton.h"
#include "support/ByteCountFormatter.h"
#include "support/Saturating.h"
#include "views/common/FindingCard.h"
#include "views/common/ModuleHeader.h"
#include "views/common/ModuleScreenFrame.h"

#include <QVBoxLayout>

namespace tarnwick {

FindingsScreen::FindingsScreen(AppState& state, Spec spec, QWidget* parent)
    : QWidget(parent), state_(state), spec_(std::move(spec)) {
    setObjectName(QStringLiteral("FindingsScreen"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    frame_ = new ModuleScreenFrame(spec_.title, this);
    layout->addWidget(frame_);

    scanButton_ = new TaldoGhostButton(QStringLiteral("Scan again"));
    scanButton_->setObjectName(QStringLiteral("moduleScanAgain"));
    scanButton_->setSymbol(QStringLiteral("arrow.clockwise"));
    connect(scanButton_, &QPushButton::clicked, this, [this] { spec_.scan(state_); });
    frame_->header()->addControl(scanButton_);
    cleanButton_ = new TaldoPrimaryButton(cleanLabel(0));
    cleanButton_->setObjectName(QStringLiteral("moduleClean"));
    cleanButton_->setSymbol(QStringLiteral("trash"));
    connect(cleanButton_, &QPushButton::clicked, this, [this] { spec_.clean(state_); });
    frame_->header()->addControl(cleanButton_);

    TaldoPrimaryButton* empty = frame_->setEmptyState(spec_.emptySymbol, spec_.emptyDescription, spec_.emptyButton);
    connect(empty, &QPushButton::clicked, this, [this] { spec_.scan(state_); });

    connect(&state_, &AppState::changed, this, [this](AppState::Field field) {
        if (field == spec_.listField) {
            updateRows();
            updateHeader();
        } else if (field == spec_.scanningField || field == spec_.labelField ||
                   field == AppState::Field::isSafeBinBusy) {
            updateHeader();
        }
    });
    updateRows();
    updateHeader();
}

QString FindingsScreen::cleanLabel(qint64 bytes) {
    return QStringLiteral("Clean ") + ByteCountFormatter::fileStyle(bytes);
}

TaldoButton* FindingsScreen::emptyButton() const {
    return frame_->findChild<TaldoPrimaryButton*>(QStringLiteral("moduleEmptyButton"));
}

QList<FindingCard*> FindingsScreen::cards() const {
    return cards_;
}

QList<FindingRow*> FindingsScreen::rows() const {
    return rows_;
}

void FindingsScreen::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (spec_.isEmpty(state_) && !spec_.isScanning(state_)) spec_.scan(state_);
}

void FindingsScreen::updateHeader() {
    const bool scanning = spec_.isScanning(state_);
    const bool busy = state_.isSafeBinBusy();
    const qint64 bytes = spec_.selectedBytes(state_);
    frame_->setStatusText(spec_.statusText(state_));
    frame_->setProgressLabel(spec_.progressLabel(state_));
    scanButton_->setEnabled(!scanning && !busy);
    cleanButton_->setText(cleanLabel(bytes));
    cleanButton_->setEnabled(bytes != 0 && !scanning && !busy);
    frame_->showBody(ModuleScreenFrame::bodyFor(scanning, !spec_.isEmpty(state_)));
}

void FindingsScreen::updateRows() {
    const std::vector<Group> groups = spec_.groups(state_);
    QList<QPair<QString, QList<QUuid>>> structure;
    for (const Group& group : groups) {
        QList<QUuid> ids;
        for (const FindingRow::Content& row : group.rows) ids.append(row.id);
        structure.append({group.title, ids});
    }

    // The same findings in the same places: only their values change (a tick).
    if (structure == shown_) {
        qsizetype index = 0;
        for (size_t g = 0; g < groups.size(); ++g) {
            Saturating::Total total;
            for (const FindingRow::Content& row : groups[g].rows) {
                rows_[index++]->setContent(row);
                total.add(row.size);
            }
            cards_[qsizetype(g)]->setTotalText(ByteCountFormatter::fileStyle(total.value()));
        }
        return;
    }

    shown_ = structure;
    cards_.clear();
    rows_.clear();
    QList<QWidget*> cards;
    for (const Group& group : groups) {
        auto* card = new FindingCard(group.symbol, group.title, group.description, frame_->cardParent());
        Saturating::Total total;
        for (const FindingRow::Content& content : group.rows) {
            auto* row = new FindingRow(content);
            connect(row, &FindingRow::toggleRequested, this, [this](const QUuid& id) { spec_.toggle(state_, id); });
            // A reveal the desktop refuses reaches the alert, as the map's does.
            connect(row, &FindingRow::revealRequested, this,
                    [this](const QString& path) { state_.revealInFileManager(path); });
            card->addRow(row);
            rows_.append(row);
            total.add(content.size);
        }
        card->setTotalText(ByteCountFormatter::fileStyle(total.value()));
        cards_.append(card);
        cards.append(card);
    }
    frame_->setCards(cards);
}

}  // namespace tarnwick
