#include "views/health/MonitorTile.h"

#include "design/TaldoTheme.h"
#include "views/common/PlainButton.h"
#include "views/common/ViewText.h"
#include "views/health/TileTextButton.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace tarnwick {

MonitorTile::MonitorTile(const QString& title, const QString& symbol, const QColor& tint, bool freeUp,
                         QWidget* parent)
    : TaldoGlassCard(16, tint, false, false, parent) {
    setMinimumHeight(minimumTileHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(10);

    auto* top = new QHBoxLayout;
    top->setContentsMargins(0, 0, 0, 0);
    symbolButton_ = new PlainButton(QString(), this);
    symbolButton_->setObjectName(QStringLiteral("tileSymbol"));
    symbolButton_->setSymbol(symbol, 14);
    symbolButton_->setTextColor(tint);
    symbolButton_->setFill(TaldoTheme::withOpacity(tint, 0.16));
    symbolButton_->setPadding(QMargins(7, 7, 7, 7));
    symbolButton_->setFixedSize(28, 28);
    connect(symbolButton_, &QAbstractButton::clicked, this, &MonitorTile::toggleRequested);
    top->addWidget(symbolButton_);
    top->addStretch(1);
    if (freeUp) {
        freeUpButton_ = new PlainButton(QStringLiteral("Free Up"), this);
        freeUpButton_->setObjectName(QStringLiteral("tileFreeUp"));
        freeUpButton_->setFont(ViewText::font(9, QFont::Bold));
        freeUpButton_->setTextColor(tint);
        freeUpButton_->setFill(TaldoTheme::withOpacity(tint, 0.14));
        freeUpButton_->setPadding(QMargins(7, 3, 7, 3));
        connect(freeUpButton_, &QAbstractButton::clicked, this, &MonitorTile::freeUpRequested);
        top->addWidget(freeUpButton_);
    }
    layout->addLayout(top);

    textButton_ = new TileTextButton(title, this);
    textButton_->setObjectName(QStringLiteral("tileTexts"));
    connect(textButton_, &QAbstractButton::clicked, this, &MonitorTile::toggleRequested);
    layout->addWidget(textButton_);
    layout->addStretch(1);
}

void MonitorTile::setValue(const QString& value) {
    textButton_->setValue(value);
}

void MonitorTile::setSubtitle(const QString& subtitle) {
    textButton_->setSubtitle(subtitle);
}

}  // namespace tarnwick
