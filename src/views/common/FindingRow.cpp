#include "views/common/FindingRow.h"

#include "design/TaldoTheme.h"
#include "support/ByteCountFormatter.h"
#include "views/common/ClampedText.h"
#include "views/common/PlainButton.h"
#include "views/common/ViewText.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

using T = TaldoTheme;

constexpr int kCheckSize = 18;

}  // namespace

FindingRow::FindingRow(const Content& content, QWidget* parent) : QWidget(parent), content_(content) {
    setObjectName(QStringLiteral("findingRow"));
    setProperty("findingId", content.id);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 6, 0, 6);
    layout->setSpacing(12);

    check_ = new PlainButton(QString(), this);
    check_->setObjectName(QStringLiteral("findingCheck"));
    check_->setKeyboardFocusable(true);
    check_->setPadding(QMargins(2, 2, 2, 2));  // room for the focus ring around the circle
    connect(check_, &QAbstractButton::clicked, this, [this] { emit toggleRequested(content_.id); });
    layout->addWidget(check_, 0, Qt::AlignTop);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    title_ = ViewText::label(QString(), 13, QFont::DemiBold, T::textPrimary(), this);
    title_->setObjectName(QStringLiteral("findingTitle"));
    title_->setWordWrap(true);
    texts->addWidget(title_);
    detail_ = new ClampedText(2, this);
    detail_->setObjectName(QStringLiteral("findingDetail"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(10);
    detail_->setFont(mono);
    ViewText::setTextColor(detail_, T::textSecondary());
    texts->addWidget(detail_);
    safe_ = ViewText::label(safeDefaultText(), 10, QFont::Medium, T::accentTeal(), this);
    safe_->setObjectName(QStringLiteral("findingSafeDefault"));
    texts->addWidget(safe_);
    layout->addLayout(texts, 1);

    size_ = ViewText::label(QString(), 12, QFont::Bold, T::accent(), this);
    size_->setObjectName(QStringLiteral("findingSize"));
    layout->addWidget(size_, 0, Qt::AlignTop);

    reveal_ = new PlainButton(QString(), this);
    reveal_->setObjectName(QStringLiteral("findingReveal"));
    reveal_->setSymbol(QStringLiteral("folder"), 14);
    reveal_->setTextColor(T::textSecondary());
    reveal_->setToolTip(QStringLiteral("Reveal in File Manager"));
    connect(reveal_, &QAbstractButton::clicked, this, [this] { emit revealRequested(content_.path); });
    layout->addWidget(reveal_, 0, Qt::AlignTop);
    apply();
}

void FindingRow::setContent(const Content& content) {
    if (content == content_) return;
    content_ = content;
    setProperty("findingId", content.id);
    apply();
}

void FindingRow::apply() {
    const bool selected = content_.isSelected;
    check_->setSymbol(selected ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("circle"), kCheckSize);
    check_->setTextColor(selected ? T::accentTeal() : T::textSecondary());
    check_->setProperty("checked", selected);
    check_->setAccessibleName((selected ? QStringLiteral("Untick ") : QStringLiteral("Tick ")) + content_.title);
    title_->setText(content_.title);
    detail_->setText(content_.detail);
    detail_->setHidden(content_.detail.isEmpty());
    safe_->setHidden(!content_.isSafeDefault);
    size_->setText(ByteCountFormatter::fileStyle(content_.size));
}

}  // namespace tarnwick
