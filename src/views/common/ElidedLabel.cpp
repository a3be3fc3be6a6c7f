#include "views/common/ElidedLabel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>

namespace tarnwick {

ElidedLabel::ElidedLabel(const QString& text, Qt::TextElideMode mode, QWidget* parent)
    : QWidget(parent), text_(text), mode_(mode) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void ElidedLabel::setText(const QString& text) {
    if (text_ == text) return;
    text_ = text;
    updateGeometry();
    update();
}

void ElidedLabel::setAlignment(Qt::Alignment alignment) {
    alignment_ = alignment;
    update();
}

QString ElidedLabel::shownText() const {
    return QFontMetrics(font()).elidedText(text_, mode_, width());
}

QSize ElidedLabel::sizeHint() const {
    const QFontMetrics metrics(font());
    return QSize(metrics.horizontalAdvance(text_) + 2, metrics.height());
}

QSize ElidedLabel::minimumSizeHint() const {
    const QFontMetrics metrics(font());
    return QSize(std::min(sizeHint().width(), metrics.horizontalAdvance(QStringLiteral("\u2026")) * 4),
                 metrics.height());
}

void ElidedLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) updateGeometry();
    QWidget::changeEvent(event);
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect(), int(alignment_), shownText());
}

}  // namespace tarnwick
