#include "views/common/ModuleScreenFrame.h"

#include "design/SymbolIcons.h"
#include "design/TaldoPrimaryButton.h"
#include "design/TaldoTheme.h"
#include "views/common/BusySpinner.h"
#include "views/common/HairlineDivider.h"
#include "views/common/ModuleHeader.h"
#include "views/common/ViewText.h"

#include <QLabel>
#include <QScrollArea>
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

    auto* scroll = new QScrollArea(body_);
    scroll->setObjectName(QStringLiteral("moduleContent"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll->viewport()->setAutoFillBackground(false);
    cardsHost_ = new QWidget(scroll);
    cardsLayout_ = new QVBoxLayout(cardsHost_);
    cardsLayout_->setContentsMargins(20, 20, 20, 20);
    cardsLayout_->setSpacing(18);
    cardsLayout_->addStretch(1);
    scroll->setWidget(cardsHost_);
    cardsHost_->setAutoFillBackground(false);  // after setWidget(), which turns it on
    contentPage_ = scroll;
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
    emptySymbol_->setPixmap(
        SymbolIcons::icon(symbol, T::accentTeal(), kEmptySymbolSize).pixmap(kEmptySymbolSize, kEmptySymbolSize));
    emptyText_->setText(description);
    emptyText_->setFixedHeight(emptyText_->heightForWidth(kEmptyTextWidth));
    emptyButton_->setText(buttonText);
    emptyButton_->setVisible(!buttonText.isEmpty());
    return emptyButton_;
}

void ModuleScreenFrame::setCards(const QList<QWidget*>& cards) {
    if (!cardsLayout_) return;  // the screen shows content of its own
    // Everything but the closing stretch goes.
    while (cardsLayout_->count() > 1) {
        QLayoutItem* item = cardsLayout_->takeAt(0);
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->deleteLater();  // a click inside it may still be running
        }
        delete item;
    }
    for (int i = 0; i < cards.size(); ++i) cardsLayout_->insertWidget(i, cards[i]);
}

QList<QWidget*> ModuleScreenFrame::cards() const {
    QList<QWidget*> result;
    for (int i = 0; cardsLayout_ && i < cardsLayout_->count(); ++i) {
        if (QWidget* widget = cardsLayout_->itemAt(i)->widget()) result.append(widget);
    }
    return result;
}

void ModuleScreenFrame::setContent(QWidget* content) {
    const int index = body_->indexOf(contentPage_);
    const bool shown = body_->currentIndex() == index;
    body_->removeWidget(contentPage_);
    contentPage_->deleteLater();
    cardsHost_ = nullptr;
    cardsLayout_ = nullptr;
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
