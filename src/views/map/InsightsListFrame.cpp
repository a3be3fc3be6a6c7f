#include "views/map/InsightsListFrame.h"

#include "design/TaldoTheme.h"
#include "views/common/HairlineDivider.h"
#include "views/common/ViewText.h"

#include <QLabel>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace tarnwick {

using T = TaldoTheme;

InsightsListFrame::InsightsListFrame(const QString& title, const QString& subtitle, const QString& emptyText,
                                     int emptyPixelSize, QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* header = new QVBoxLayout;
    header->setContentsMargins(20, 16, 20, 10);
    header->setSpacing(4);
    title_ = ViewText::label(title, 18, QFont::DemiBold, T::textPrimary(), this);
    title_->setObjectName(QStringLiteral("listTitle"));
    subtitle_ = ViewText::label(subtitle, 12, QFont::Normal, T::textSecondary(), this);
    subtitle_->setObjectName(QStringLiteral("listSubtitle"));
    subtitle_->setWordWrap(true);
    header->addWidget(title_);
    header->addWidget(subtitle_);
    layout->addLayout(header);
    layout->addWidget(new HairlineDivider(Qt::Horizontal, this));

    body_ = new QStackedWidget(this);
    empty_ = ViewText::label(emptyText, emptyPixelSize, QFont::Normal, T::textSecondary(), body_);
    empty_->setObjectName(QStringLiteral("listEmpty"));
    empty_->setAlignment(Qt::AlignCenter);
    empty_->setWordWrap(true);
    body_->addWidget(empty_);

    scroll_ = new QScrollArea(body_);
    scroll_->setObjectName(QStringLiteral("listScroll"));
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setFocusPolicy(Qt::NoFocus);
    scroll_->viewport()->setAutoFillBackground(false);
    itemsHost_ = new QWidget(scroll_);
    items_ = new QVBoxLayout(itemsHost_);
    items_->setContentsMargins(0, 0, 0, 0);
    items_->setSpacing(0);
    scroll_->setWidget(itemsHost_);
    itemsHost_->setAutoFillBackground(false);  // after setWidget(), which turns it on
    body_->addWidget(scroll_);
    layout->addWidget(body_, 1);
    showEmptyText(true);
}

QString InsightsListFrame::title() const {
    return title_->text();
}

QString InsightsListFrame::subtitle() const {
    return subtitle_->text();
}

QString InsightsListFrame::emptyText() const {
    return empty_->text();
}

bool InsightsListFrame::isShowingEmptyText() const {
    return body_->currentWidget() == empty_;
}

void InsightsListFrame::clearItems() {
    while (QLayoutItem* item = items_->takeAt(0)) {
        // Later: a new scan may arrive while a row's context menu is open.
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
}

void InsightsListFrame::showEmptyText(bool empty) {
    body_->setCurrentWidget(empty ? static_cast<QWidget*>(empty_) : scroll_);
}

}  // namespace tarnwick
