#include "views/health/RecommendationCard.h"

#include "design/SymbolIcons.h"
#include "design/TaldoTheme.h"
#include "views/common/ViewText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

using T = TaldoTheme;

QLabel* symbolLabel(const QString& symbol, int size, const QColor& tint, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setPixmap(SymbolIcons::icon(symbol, tint, size).pixmap(size, size));
    label->setFixedSize(size, size);
    return label;
}

}  // namespace

RecommendationCard::RecommendationCard(QWidget* parent) : TaldoGlassCard(14, T::accent(), false, false, parent) {
    setCursor(Qt::PointingHandCursor);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 12, 12, 12);
    row->setSpacing(10);
    row->addWidget(symbolLabel(QStringLiteral("sparkles"), 14, T::accent(), this));
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    title_ = ViewText::label(QString(), 12, QFont::DemiBold, T::textPrimary(), this);
    title_->setObjectName(QStringLiteral("recommendationTitle"));
    detail_ = ViewText::label(QString(), 11, QFont::Normal, T::textSecondary(), this);
    detail_->setObjectName(QStringLiteral("recommendationDetail"));
    detail_->setWordWrap(true);
    // At most two lines.
    detail_->setMaximumHeight(2 * detail_->fontMetrics().lineSpacing());
    texts->addWidget(title_);
    texts->addWidget(detail_);
    row->addLayout(texts, 1);
    row->addWidget(symbolLabel(QStringLiteral("chevron.right"), 10, T::textSecondary(), this));
    for (QLabel* label : findChildren<QLabel*>()) label->setAttribute(Qt::WA_TransparentForMouseEvents);
}

void RecommendationCard::setTexts(const QString& title, const QString& detail) {
    title_->setText(title);
    detail_->setText(detail);
}

QString RecommendationCard::title() const {
    return title_->text();
}

QString RecommendationCard::detail() const {
    return detail_->text();
}

void RecommendationCard::click() {
    emit clicked();
}

void RecommendationCard::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void RecommendationCard::mouseReleaseEvent(QMouseEvent* event) {
    const bool inside = rect().contains(event->position().toPoint());
    if (pressed_ && event->button() == Qt::LeftButton && inside) emit clicked();
    pressed_ = false;
    event->accept();
}

}  // namespace tarnwick
