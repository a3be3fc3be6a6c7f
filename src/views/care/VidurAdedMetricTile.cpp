#include "views/care/VidurAdedMetricTile.h"

#include "design/TaldoTheme.h"
#include "views/common/ViewText.h"

#include <QLabel>
#include <QVBoxLayout>

namespace tarnwick {

VidurAdedMetricTile::VidurAdedMetricTile(const QString& title, AppSection section, const QColor& tint,
                                         QWidget* parent)
    : GlassTileButton(16, tint, parent), section_(section), tint_(tint) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(8);
    title_ = ViewText::label(title, 11, QFont::DemiBold, TaldoTheme::textSecondary(), this);
    title_->setObjectName(QStringLiteral("metricTitle"));
    value_ = ViewText::label(QString(), 24, QFont::Bold, TaldoTheme::textPrimary(), this);
    value_->setObjectName(QStringLiteral("metricValue"));
    subtitle_ = ViewText::label(QString(), 11, QFont::Medium, tint, this);
    subtitle_->setObjectName(QStringLiteral("metricSubtitle"));
    column->addWidget(title_);
    column->addWidget(value_);
    column->addWidget(subtitle_);
}

void VidurAdedMetricTile::setValue(const QString& value) {
    value_->setText(value);
}

void VidurAdedMetricTile::setSubtitle(const QString& subtitle) {
    subtitle_->setText(subtitle);
}

QString VidurAdedMetricTile::title() const {
    return title_->text();
}

QString VidurAdedMetricTile::value() const {
    return value_->text();
}

QString VidurAdedMetricTile::subtitle() const {
    return subtitle_->text();
}

}  // namespace tarnwick
