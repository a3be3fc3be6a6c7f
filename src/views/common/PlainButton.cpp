#include "views/common/PlainButton.h"

#include "design/SymbolIcons.h"
#include "design/TaldoEffects.h"
#include "design/TaldoShapes.h"
#include "design/TaldoTheme.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>

namespace tarnwick {

namespace {

constexpr int kSymbolSpacing = 5;

}  // namespace

PlainButton::PlainButton(const QString& text, QWidget* parent)
    : QAbstractButton(parent), textColor_(TaldoTheme::textPrimary()) {
    setText(text);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void PlainButton::setSymbol(const QString& symbolName, int symbolSize) {
    symbol_ = symbolName;
    symbolSize_ = symbolName.isEmpty() ? 0 : symbolSize;
    updateGeometry();
    update();
}

void PlainButton::setKeyboardFocusable(bool focusable) {
    setFocusPolicy(focusable ? Qt::TabFocus : Qt::NoFocus);
}

void PlainButton::setTextColor(const QColor& color) {
    if (textColor_ == color) return;
    textColor_ = color;
    update();
}

void PlainButton::setFill(const QColor& fill) {
    if (fill_ == fill) return;
    fill_ = fill;
    update();
}

void PlainButton::setPadding(const QMargins& padding) {
    padding_ = padding;
    updateGeometry();
    update();
}

QSize PlainButton::sizeHint() const {
    const QFontMetrics metrics(font());
    // A little slack: eliding measures glyph bounds, which can reach past the advance.
    int width = text().isEmpty() ? 0 : metrics.horizontalAdvance(text()) + 2;
    if (symbolSize_ > 0) width += symbolSize_ + (text().isEmpty() ? 0 : kSymbolSpacing);
    const int height = std::max(text().isEmpty() ? 0 : metrics.height(), symbolSize_);
    return QSize(width + padding_.left() + padding_.right(), height + padding_.top() + padding_.bottom());
}

QSize PlainButton::minimumSizeHint() const {
    return sizeHint();
}

void PlainButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (fill_.alpha() > 0) painter.fillPath(TaldoShapes::capsule(QRectF(rect())), fill_);
    QColor color = textColor_;
    if (!isEnabled()) color = TaldoTheme::withOpacity(color, color.alphaF() * 0.45);
    else if (isDown()) color = TaldoTheme::withOpacity(color, color.alphaF() * 0.6);
    else if (hovering_) color = color.lighter(118);

    const QRect content = rect().marginsRemoved(padding_);
    int x = content.left();
    if (symbolSize_ > 0) {
        const QRect iconRect(x, content.center().y() - symbolSize_ / 2 + (symbolSize_ % 2 == 0 ? 1 : 0), symbolSize_,
                             symbolSize_);
        SymbolIcons::icon(symbol_, color, symbolSize_).paint(&painter, iconRect);
        x += symbolSize_ + kSymbolSpacing;
    }
    if (hasFocus()) {
        const QRectF ring = QRectF(rect()).adjusted(1, 1, -1, -1);
        TaldoEffects::drawFocusRing(painter, TaldoShapes::capsule(ring));
    }
    if (!text().isEmpty()) {
        painter.setPen(color);
        painter.setFont(font());
        const QRect textRect(x, content.top(), content.right() - x + 1, content.height());
        painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                         QFontMetrics(font()).elidedText(text(), Qt::ElideRight, textRect.width()));
    }
}

void PlainButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) updateGeometry();
    QAbstractButton::changeEvent(event);
}

void PlainButton::enterEvent(QEnterEvent* event) {
    hovering_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void PlainButton::leaveEvent(QEvent* event) {
    hovering_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

}  // namespace tarnwick
