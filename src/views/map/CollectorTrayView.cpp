#include "views/map/CollectorTrayView.h"

#include "design/SymbolIcons.h"
#include "design/TaldoDangerButton.h"
#include "design/TaldoGhostButton.h"
#include "design/TaldoTheme.h"
#include "state/AppState.h"
#include "support/ByteCountFormatter.h"
#include "views/common/ElidedLabel.h"
#include "views/common/FilledPanel.h"
#include "views/common/HairlineDivider.h"
#include "views/common/PanelStrip.h"
#include "views/common/PlainButton.h"
#include "views/common/ViewText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace tarnwick {

namespace {

using T = TaldoTheme;

// Scrolls sideways without showing a scroll bar; an upright wheel scrolls it too.
class SidewaysScrollArea : public QScrollArea {
public:
    using QScrollArea::QScrollArea;

protected:
    void wheelEvent(QWheelEvent* event) override {
        const QPoint delta = event->angleDelta();
        const int step = delta.x() != 0 ? delta.x() : delta.y();
        QScrollBar* bar = horizontalScrollBar();
        bar->setValue(bar->value() - step / 2);
        event->setAccepted(bar->minimum() != bar->maximum());
    }
};

}  // namespace

CollectorTrayView::CollectorTrayView(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
    setObjectName(QStringLiteral("CollectorTrayView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(new HairlineDivider(Qt::Horizontal, this));

    auto* tray = new PanelStrip(T::panel(), this);
    auto* row = new QHBoxLayout(tray);
    row->setContentsMargins(18, 12, 18, 12);
    row->setSpacing(16);

    auto* icon = new QLabel(tray);
    icon->setPixmap(SymbolIcons::icon(QStringLiteral("tray.full.fill"), T::accent(), 18).pixmap(18, 18));
    row->addWidget(icon, 0, Qt::AlignVCenter);

    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    titles->addWidget(ViewText::label(QStringLiteral("Collector"), 12, QFont::DemiBold, T::textPrimary(), tray));
    subtitle_ = ViewText::label(QString(), 11, QFont::Normal, T::textSecondary(), tray);
    subtitle_->setObjectName(QStringLiteral("collectorSubtitle"));
    titles->addWidget(subtitle_);
    row->addLayout(titles);

    chipsScroll_ = new SidewaysScrollArea(tray);
    chipsScroll_->setObjectName(QStringLiteral("collectorChips"));
    chipsScroll_->setFrameShape(QFrame::NoFrame);
    chipsScroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    chipsScroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    chipsScroll_->setFocusPolicy(Qt::NoFocus);
    chipsScroll_->setWidgetResizable(true);
    chipsScroll_->viewport()->setAutoFillBackground(false);
    chipsHost_ = new QWidget(chipsScroll_);
    chipsLayout_ = new QHBoxLayout(chipsHost_);
    chipsLayout_->setContentsMargins(0, 0, 0, 0);
    chipsLayout_->setSpacing(8);
    chipsScroll_->setWidget(chipsHost_);
    chipsHost_->setAutoFillBackground(false);  // after setWidget(), which turns it on
    row->addWidget(chipsScroll_, 1);

    filler_ = new QWidget(tray);
    filler_->setMinimumWidth(8);
    filler_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
    row->addWidget(filler_, 1);

    delete_ = new TaldoDangerButton(QStringLiteral("Delete"), tray);
    delete_->setObjectName(QStringLiteral("collectorDelete"));
    delete_->setFocusPolicy(Qt::NoFocus);
    connect(delete_, &QPushButton::clicked, this, [this] { state_.beginDelete(); });
    row->addWidget(delete_, 0, Qt::AlignVCenter);
    cancel_ = new TaldoGhostButton(cancelText(0), tray);
    cancel_->setObjectName(QStringLiteral("collectorCancel"));
    cancel_->setFocusPolicy(Qt::NoFocus);
    connect(cancel_, &QPushButton::clicked, this, [this] { state_.cancelDelete(); });
    row->addWidget(cancel_, 0, Qt::AlignVCenter);
    layout->addWidget(tray);

    connect(&state_, &AppState::changed, this, [this](AppState::Field field) {
        switch (field) {
        case AppState::Field::collector:
            rebuildChips();
            updateSummary();
            updateDeleteControl();
            break;
        case AppState::Field::isDeleting:
        case AppState::Field::deleteCountdown:
        case AppState::Field::isSafeBinBusy:
            updateDeleteControl();
            break;
        default:
            break;
        }
    });
    rebuildChips();
    updateSummary();
    updateDeleteControl();
}

QString CollectorTrayView::subtitleText(const QList<CollectorItem>& items, qint64 total) {
    if (items.isEmpty()) {
        return QStringLiteral("Drag items here or press Delete \u2014 deletes go to Safe Bin (30-day restore)");
    }
    return QString::number(items.size()) + QStringLiteral(" item(s) \u00B7 ") + ByteCountFormatter::fileStyle(total);
}

QString CollectorTrayView::cancelText(int secondsLeft) {
    return QStringLiteral("Cancel (") + QString::number(secondsLeft) + QLatin1Char(')');
}

QString CollectorTrayView::subtitle() const {
    return subtitle_->text();
}

QList<QWidget*> CollectorTrayView::chips() const {
    QList<QWidget*> result;
    for (int i = 0; i < chipsLayout_->count(); ++i) {
        if (QWidget* widget = chipsLayout_->itemAt(i)->widget()) result.append(widget);
    }
    return result;
}

bool CollectorTrayView::chipsShown() const {
    return !chipsScroll_->isHidden();
}

void CollectorTrayView::rebuildChips() {
    while (QLayoutItem* item = chipsLayout_->takeAt(0)) {
        // Later: the click that removed an item may still be running in its chip.
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
    const QList<CollectorItem>& items = state_.collector();
    int chipHeight = 0;
    for (const CollectorItem& item : items) {
        QWidget* chip = makeChip(item);
        chipHeight = std::max(chipHeight, chip->sizeHint().height());
        chipsLayout_->addWidget(chip);
    }
    chipsLayout_->addStretch(1);
    chipsScroll_->setHidden(items.isEmpty());
    filler_->setHidden(!items.isEmpty());
    if (chipHeight > 0) chipsScroll_->setFixedHeight(chipHeight);
}

void CollectorTrayView::updateSummary() {
    subtitle_->setText(subtitleText(state_.collector(), state_.collectorTotal()));
}

void CollectorTrayView::updateDeleteControl() {
    const bool counting = state_.isDeleting();
    cancel_->setText(cancelText(state_.deleteCountdown()));
    cancel_->setVisible(counting);
    delete_->setVisible(!counting);
    delete_->setEnabled(!state_.collector().isEmpty() && !state_.isSafeBinBusy());
}

QWidget* CollectorTrayView::makeChip(const CollectorItem& item) {
    auto* chip = FilledPanel::capsule(T::background(), chipsHost_);
    chip->setObjectName(QStringLiteral("collectorChip"));
    chip->setProperty("itemId", item.id);
    auto* layout = new QHBoxLayout(chip);
    layout->setContentsMargins(10, 6, 10, 6);
    layout->setSpacing(6);
    auto* name = new ElidedLabel(item.name, Qt::ElideMiddle, chip);
    name->setObjectName(QStringLiteral("chipName"));
    name->setFont(ViewText::font(11, QFont::Medium));
    ViewText::setTextColor(name, T::textPrimary());
    name->setMaximumWidth(240);
    auto* size = ViewText::label(ByteCountFormatter::fileStyle(item.size), 10, QFont::Normal, T::textSecondary(), chip);
    size->setObjectName(QStringLiteral("chipSize"));
    auto* remove = new PlainButton(QString(), chip);
    remove->setObjectName(QStringLiteral("chipRemove"));
    remove->setSymbol(QStringLiteral("xmark.circle.fill"), 11);
    remove->setTextColor(T::textSecondary());
    remove->setToolTip(QStringLiteral("Remove from Collector"));
    connect(remove, &QAbstractButton::clicked, this, [this, item] { state_.removeFromCollector(item); });
    layout->addWidget(name);
    layout->addWidget(size);
    layout->addWidget(remove);
    return chip;
}

}  // namespace tarnwick
