#include "views/common/FindingCard.h"

#include "design/SymbolIcons.h"
#include "design/TaldoTheme.h"
#include "views/common/ViewText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

using T = TaldoTheme;

constexpr int kSymbolSize = 14;

}  // namespace

FindingCard::FindingCard(const QString& symbol, const QString& title, const QString& description, QWidget* parent)
    : FilledPanel(T::panel(), 14, parent) {
    setObjectName(QStringLiteral("findingCard"));
    setBorder(T::panelBorder());
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(14, 14, 14, 14);
    layout_->setSpacing(10);

    auto* head = new QHBoxLayout;
    head->setSpacing(6);
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("cardSymbol"));
    icon->setPixmap(SymbolIcons::icon(symbol, T::textPrimary(), kSymbolSize).pixmap(kSymbolSize, kSymbolSize));
    head->addWidget(icon);
    title_ = ViewText::label(title, 14, QFont::DemiBold, T::textPrimary(), this);
    title_->setObjectName(QStringLiteral("cardTitle"));
    head->addWidget(title_);
    head->addStretch(1);
    total_ = ViewText::label(QString(), 12, QFont::DemiBold, T::accent(), this);
    total_->setObjectName(QStringLiteral("cardTotal"));
    head->addWidget(total_);
    layout_->addLayout(head);

    auto* blurb = ViewText::label(description, 11, QFont::Normal, T::textSecondary(), this);
    blurb->setObjectName(QStringLiteral("cardDescription"));
    blurb->setWordWrap(true);
    blurb->setHidden(description.isEmpty());  // a card of rows only has no description line
    layout_->addWidget(blurb);
    firstRow_ = layout_->count();
}

QString FindingCard::title() const {
    return title_->text();
}

void FindingCard::setTotalText(const QString& text) {
    total_->setText(text);
}

QString FindingCard::totalText() const {
    return total_->text();
}

void FindingCard::addRow(QWidget* row) {
    row->setParent(this);
    layout_->addWidget(row);
}

QList<QWidget*> FindingCard::rows() const {
    QList<QWidget*> result;
    for (int i = firstRow_; i < layout_->count(); ++i) {
        if (QWidget* widget = layout_->itemAt(i)->widget()) result.append(widget);
    }
    return result;
}

}  // namespace tarnwick
