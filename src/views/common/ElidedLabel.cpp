#include "views/common/ElidedLabel.h"

#include "views/common/ViewText.h"

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
    return QSize(metrics.horizontalAdvance(text_) + 2, ViewText::lineHeight(metrics));
}

QSize ElidedLabel::minimumSizeHint() const {
    const QFontMetrics metrics(font());
    return QSize(std::min(sizeHint().width(), metrics.horizontalAdvance(QStringLiteral("\u2026")) * 4),
                 ViewText::lineHeight(metrics));
}

void ElidedLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) updateGeometry();
    QWidget::changeEvent(event);
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    // Placed as in a line as high as the font; what lies below its descent
    // is drawn in the room lineHeight() leaves.
    const QFontMetrics metrics(font());
    const QRect line = rect().adjusted(0, 0, 0, metrics.height() - ViewText::lineHeight(metrics));
    painter.drawText(line, int(alignment_) | Qt::TextDontClip, shownText());
}

}  // namespace tarnwick
