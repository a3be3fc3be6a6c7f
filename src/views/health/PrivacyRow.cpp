#include "views/health/PrivacyRow.h"

#include "design/TaldoTheme.h"
#include "support/ByteCountFormatter.h"
#include "views/common/PlainButton.h"
#include "views/common/ViewText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

using T = TaldoTheme;

constexpr int kCheckSize = 18;

}  // namespace

PrivacyRow::PrivacyRow(const PrivacyItem& item, QWidget* parent) : FilledPanel(T::panel(), 10, parent), item_(item) {
    setObjectName(QStringLiteral("privacyRow"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->setSpacing(12);

    check_ = new PlainButton(QString(), this);
    check_->setObjectName(QStringLiteral("privacyCheck"));
    connect(check_, &QAbstractButton::clicked, this, [this] { emit toggleRequested(item_.id); });
    layout->addWidget(check_, 0, Qt::AlignVCenter);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    title_ = ViewText::label(QString(), 13, QFont::DemiBold, T::textPrimary(), this);
    title_->setObjectName(QStringLiteral("privacyTitle"));
    texts->addWidget(title_);
    detail_ = ViewText::label(QString(), 11, QFont::Normal, T::textSecondary(), this);
    detail_->setObjectName(QStringLiteral("privacyDetail"));
    detail_->setWordWrap(true);
    texts->addWidget(detail_);
    layout->addLayout(texts, 1);

    size_ = ViewText::label(QString(), 13, QFont::Normal, T::accent(), this);
    size_->setObjectName(QStringLiteral("privacySize"));
    layout->addWidget(size_, 0, Qt::AlignVCenter);
    apply();
}

void PrivacyRow::setItem(const PrivacyItem& item) {
    if (item == item_) return;
    item_ = item;
    apply();
}

void PrivacyRow::apply() {
    const bool selected = item_.isSelected;
    check_->setSymbol(selected ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("circle"), kCheckSize);
    check_->setTextColor(selected ? T::accentTeal() : T::textSecondary());
    title_->setText(item_.title);
    detail_->setText(item_.rowDetail());
    size_->setText(ByteCountFormatter::fileStyle(item_.size));
}

}  // namespace tarnwick
