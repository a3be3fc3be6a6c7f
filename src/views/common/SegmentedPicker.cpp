#include "views/common/SegmentedPicker.h"

#include "design/TaldoShapes.h"
#include "design/TaldoTheme.h"
#include "views/common/ViewText.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

namespace tarnwick {

namespace {

using T = TaldoTheme;

constexpr int kHeight = 26;
constexpr int kInset = 2;
constexpr int kSegmentPadding = 14;

}  // namespace

SegmentedPicker::SegmentedPicker(const QStringList& labels, QWidget* parent) : QWidget(parent), labels_(labels) {
    setFont(ViewText::font(12, QFont::DemiBold));
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void SegmentedPicker::setCurrentIndex(int index) {
    if (index < -1 || index >= labels_.size()) index = -1;
    if (current_ == index) return;
    current_ = index;
    update();
}

QRect SegmentedPicker::segmentRect(int index) const {
    if (labels_.isEmpty() || index < 0 || index >= labels_.size()) return {};
    const double width = double(this->width() - 2 * kInset) / labels_.size();
    const int left = kInset + int(std::lround(index * width));
    const int right = kInset + int(std::lround((index + 1) * width));
    return QRect(left, kInset, right - left, height() - 2 * kInset);
}

void SegmentedPicker::activate(int index) {
    if (index < 0 || index >= labels_.size()) return;
    setCurrentIndex(index);
    emit activated(index);
}

QSize SegmentedPicker::sizeHint() const {
    const QFontMetrics metrics(font());
    int widest = 0;
    for (const QString& label : labels_) widest = std::max(widest, metrics.horizontalAdvance(label));
    return QSize(int(labels_.size()) * (widest + 2 * kSegmentPadding) + 2 * kInset, kHeight);
}

QSize SegmentedPicker::minimumSizeHint() const {
    return sizeHint();
}

void SegmentedPicker::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const QPainterPath trackShape = TaldoShapes::roundedRect(track, 8);
    painter.fillPath(trackShape, T::panelSolid());
    painter.setPen(QPen(T::panelBorder(), 1));
    painter.drawPath(trackShape);
    painter.setFont(font());
    for (int i = 0; i < labels_.size(); ++i) {
        const QRect segment = segmentRect(i);
        const bool chosen = i == current_;
        if (chosen) {
            const QPainterPath shape = TaldoShapes::roundedRect(QRectF(segment), 6);
            painter.fillPath(shape, T::withOpacity(T::accent(), 0.22));
        } else if (i > 0 && i - 1 != current_) {
            painter.setPen(QPen(T::panelBorder(), 1));
            painter.drawLine(QPointF(segment.left(), segment.top() + 5), QPointF(segment.left(), segment.bottom() - 4));
        }
        painter.setPen(chosen ? T::accent() : T::textSecondary());
        painter.drawText(segment, Qt::AlignCenter,
                         QFontMetrics(font()).elidedText(labels_[i], Qt::ElideRight, segment.width() - 8));
    }
}

void SegmentedPicker::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    for (int i = 0; i < labels_.size(); ++i) {
        if (segmentRect(i).contains(event->position().toPoint())) {
            activate(i);
            return;
        }
    }
}

}  // namespace tarnwick
