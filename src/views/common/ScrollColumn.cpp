#include "views/common/ScrollColumn.h"

#include <QVBoxLayout>

namespace tarnwick {

ScrollColumn::ScrollColumn(const QMargins& margins, int spacing, QWidget* parent) : QScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setAutoFillBackground(false);
    host_ = new QWidget(this);
    column_ = new QVBoxLayout(host_);
    column_->setContentsMargins(margins);
    column_->setSpacing(spacing);
    column_->addStretch(1);
    setWidget(host_);
    host_->setAutoFillBackground(false);  // after setWidget(), which turns it on
}

void ScrollColumn::setWidgets(const QList<QWidget*>& widgets) {
    // Everything but the closing stretch goes.
    while (column_->count() > 1) {
        QLayoutItem* item = column_->takeAt(0);
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->setParent(nullptr);  // out of the screen at once
            widget->deleteLater();
        }
        delete item;
    }
    for (int i = 0; i < widgets.size(); ++i) column_->insertWidget(i, widgets[i]);
}

QList<QWidget*> ScrollColumn::widgets() const {
    QList<QWidget*> result;
    for (int i = 0; i < column_->count(); ++i) {
        if (QWidget* widget = column_->itemAt(i)->widget()) result.append(widget);
    }
    return result;
}

}  // namespace tarnwick
