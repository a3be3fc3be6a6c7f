#include "views/common/PathLineLabel.h"

#include <QFontMetrics>
#include <QPainter>

namespace tarnwick {

PathLineLabel::PathLineLabel(int maximumWidth, int lineCount, QWidget* parent)
    : QWidget(parent), lineCount_(std::max(1, lineCount)) {
    setMaximumWidth(maximumWidth);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void PathLineLabel::setText(const QString& text) {
    if (text_ == text) return;
    text_ = text;
    updateGeometry();
    update();
}

QString PathLineLabel::shownText(int width) const {
    const QFontMetrics metrics(font());
    // A little less than the full lines: breaks between characters rarely fill a line exactly.
    const int room = std::max(0, lineCount_ * width - metrics.averageCharWidth() * 2 * lineCount_);
    return metrics.horizontalAdvance(text_) <= room ? text_ : metrics.elidedText(text_, Qt::ElideMiddle, room);
}

QSize PathLineLabel::sizeHint() const {
    // Always room for every line, so the screen does not jump as paths change.
    const QFontMetrics metrics(font());
    return QSize(maximumWidth(), lineCount_ * metrics.lineSpacing());
}

void PathLineLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect(), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWrapAnywhere, shownText(width()));
}

}  // namespace tarnwick
