#include "views/common/ModuleScreenFrame.h"

#include "design/SymbolIcons.h"
#include "design/TaldoPrimaryButton.h"
#include "design/TaldoTheme.h"
#include "views/common/BusySpinner.h"
#include "views/common/HairlineDivider.h"
#include "views/common/ModuleHeader.h"
#include "views/common/ScrollColumn.h"
#include "views/common/ViewText.h"

#include <QLabel>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

using T = TaldoTheme;

constexpr int kEmptySymbolSize = 36;
constexpr int kEmptyTextWidth = 420;

// A page whose column sits in the middle of the body.
QWidget* centredPage(QWidget* parent, int spacing, QVBoxLayout** column) {
    auto* page = new QWidget(parent);
    auto* outer = new QVBoxLayout(page);
    outer->addStretch(1);
    *column = new QVBoxLayout;
    (*column)->setSpacing(spacing);
    outer->addLayout(*column);
    outer->addStretch(1);
    return page;
}

}  // namespace

ModuleScreenFrame::ModuleScreenFrame(const QString& title, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("moduleScreenFrame"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    header_ = new ModuleHeader(title, this);
    layout->addWidget(header_);
    layout->addWidget(new HairlineDivider(Qt::Horizontal, this));
    body_ = new QStackedWidget(this);
    body_->setObjectName(QStringLiteral("moduleBody"));
    layout->addWidget(body_, 1);

    QVBoxLayout* column = nullptr;
    QWidget* scanning = centredPage(body_, 14, &column);
    scanning->setObjectName(QStringLiteral("moduleScanning"));
    column->addWidget(new BusySpinner(32, T::accentTeal(), scanning), 0, Qt::AlignHCenter);
    progress_ = ViewText::label(QString(), 13, QFont::Normal, T::textSecondary(), scanning);
    progress_->setObjectName(QStringLiteral("moduleProgress"));
    progress_->setAlignment(Qt::AlignHCenter);
    column->addWidget(progress_, 0, Qt::AlignHCenter);
    body_->addWidget(scanning);

    cards_ = new ScrollColumn(QMargins(20, 20, 20, 20), 18, body_);
    cards_->setObjectName(QStringLiteral("moduleContent"));
    cards_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    contentPage_ = cards_;
    body_->addWidget(contentPage_);

    QWidget* empty = centredPage(body_, 12, &column);
    empty->setObjectName(QStringLiteral("moduleEmpty"));
    emptySymbol_ = new QLabel(empty);
    emptySymbol_->setObjectName(QStringLiteral("moduleEmptySymbol"));
    column->addWidget(emptySymbol_, 0, Qt::AlignHCenter);
    emptyText_ = ViewText::label(QString(), 13, QFont::Normal, T::textSecondary(), empty);
    emptyText_->setObjectName(QStringLiteral("moduleEmptyText"));
    emptyText_->setAlignment(Qt::AlignHCenter);
    emptyText_->setWordWrap(true);
    emptyText_->setFixedWidth(kEmptyTextWidth);  // a wrapped label in a centred column needs a width
    column->addWidget(emptyText_, 0, Qt::AlignHCenter);
    emptyButton_ = new TaldoPrimaryButton(QString(), empty);
    emptyButton_->setObjectName(QStringLiteral("moduleEmptyButton"));
    emptyButton_->hide();
    column->addWidget(emptyButton_, 0, Qt::AlignHCenter);
    body_->addWidget(empty);
}

ModuleScreenFrame::Body ModuleScreenFrame::bodyFor(bool scanning, bool hasItems) {
    if (scanning) return Body::scanning;
    return hasItems ? Body::content : Body::empty;
}

void ModuleScreenFrame::setStatusText(const QString& text) {
    header_->setStatusText(text);
}

void ModuleScreenFrame::setProgressLabel(const QString& text) {
    progress_->setText(text);
}

QString ModuleScreenFrame::progressLabel() const {
    return progress_->text();
}

TaldoPrimaryButton* ModuleScreenFrame::setEmptyState(const QString& symbol, const QString& description,
                                                     const QString& buttonText) {
    // No symbol: the sentence stands alone.
    emptySymbol_->setVisible(!symbol.isEmpty());
    if (!symbol.isEmpty()) {
        emptySymbol_->setPixmap(
            SymbolIcons::icon(symbol, T::accentTeal(), kEmptySymbolSize).pixmap(kEmptySymbolSize, kEmptySymbolSize));
    }
    emptyText_->setText(description);
    emptyText_->setFixedHeight(emptyText_->heightForWidth(kEmptyTextWidth));
    emptyButton_->setText(buttonText);
    emptyButton_->setVisible(!buttonText.isEmpty());
    return emptyButton_;
}

void ModuleScreenFrame::setCards(const QList<QWidget*>& cards) {
    if (cards_) cards_->setWidgets(cards);  // else the screen shows content of its own
}

QList<QWidget*> ModuleScreenFrame::cards() const {
    return cards_ ? cards_->widgets() : QList<QWidget*>{};
}

QWidget* ModuleScreenFrame::cardParent() const {
    return cards_ ? cards_->host() : nullptr;
}

void ModuleScreenFrame::setContent(QWidget* content) {
    const int index = body_->indexOf(contentPage_);
    const bool shown = body_->currentIndex() == index;
    body_->removeWidget(contentPage_);
    contentPage_->deleteLater();
    cards_ = nullptr;
    contentPage_ = content;
    body_->insertWidget(index, content);
    if (shown) body_->setCurrentIndex(index);
}

void ModuleScreenFrame::showBody(Body body) {
    body_->setCurrentIndex(int(body));
}

ModuleScreenFrame::Body ModuleScreenFrame::body() const {
    return Body(body_->currentIndex());
}

}  // namespace tarnwick
