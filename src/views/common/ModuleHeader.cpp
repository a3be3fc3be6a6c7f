#include "views/common/ModuleHeader.h"

#include "design/TaldoTheme.h"
#include "views/common/ViewText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace tarnwick {

ModuleHeader::ModuleHeader(const QString& title, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("moduleHeader"));
    row_ = new QHBoxLayout(this);
    row_->setContentsMargins(20, 20, 20, 20);
    row_->setSpacing(10);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(4);
    title_ = ViewText::label(title, 22, QFont::Bold, TaldoTheme::textPrimary(), this);
    title_->setObjectName(QStringLiteral("moduleTitle"));
    status_ = ViewText::label(QString(), 12, QFont::Normal, TaldoTheme::textSecondary(), this);
    status_->setObjectName(QStringLiteral("moduleStatus"));
    titles->addWidget(title_);
    titles->addWidget(status_);
    row_->addLayout(titles);
    row_->addStretch(1);
}

QString ModuleHeader::title() const {
    return title_->text();
}

void ModuleHeader::setStatusText(const QString& text) {
    status_->setText(text);
}

QString ModuleHeader::statusText() const {
    return status_->text();
}

void ModuleHeader::addControl(QWidget* control) {
    control->setParent(this);
    row_->addWidget(control, 0, Qt::AlignVCenter);
}

}  // namespace tarnwick
