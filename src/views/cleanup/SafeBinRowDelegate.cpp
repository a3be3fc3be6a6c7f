#include "views/cleanup/SafeBinRowDelegate.h"

#include "design/TaldoButtonStyle.h"
#include "design/TaldoShapes.h"
#include "design/TaldoTheme.h"
#include "support/ByteCountFormatter.h"
#include "support/PathRules.h"
#include "support/RelativeDateFormatter.h"
#include "views/cleanup/SafeBinListModel.h"
#include "views/common/ViewText.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tarnwick {

namespace {

using T = TaldoTheme;
using Button = SafeBinRowDelegate::Button;

constexpr int kSideMargin = 12;  // between the list's edges and the panels
constexpr int kRowGap = 4;       // between two panels
constexpr double kPanelRadius = 8;
constexpr int kPaddingX = 12;
constexpr int kPaddingY = 8;
constexpr int kSpacing = 10;  // between the texts, the size and the buttons
constexpr int kLineSpacing = 3;

QFont nameFont() {
    return ViewText::font(13, QFont::DemiBold);
}
QFont pathFont() {
    return ViewText::font(11);
}
QFont timeFont() {
    return ViewText::font(10);
}
QFont sizeFont() {
    return ViewText::font(13);
}

TaldoButtonParameters parametersFor(Button button, bool pressed, bool enabled) {
    return button == Button::restore ? TaldoButtonStyle::ghost(pressed, enabled)
                                     : TaldoButtonStyle::danger(pressed, enabled);
}

QString textOf(Button button) {
    return button == Button::restore ? SafeBinRowDelegate::restoreText() : SafeBinRowDelegate::deleteText();
}

QSize buttonSize(Button button, const QFont& base) {
    const QSizeF size = TaldoButtonStyle::sizeFor(parametersFor(button, false, true), base, textOf(button), false);
    return {int(std::ceil(size.width())), int(std::ceil(size.height()))};
}

// A line of text is as tall as the font's height, rounded up.
int lineHeight(const QFont& font) {
    return int(std::ceil(QFontMetricsF(font).height()));
}

int textsHeight() {
    return lineHeight(nameFont()) + kLineSpacing + lineHeight(pathFont()) + kLineSpacing + lineHeight(timeFont());
}

QRect panelRect(const QRect& rowRect) {
    return rowRect.adjusted(kSideMargin, kRowGap / 2, -kSideMargin, -(kRowGap - kRowGap / 2));
}

QRect contentRect(const QRect& rowRect) {
    return panelRect(rowRect).adjusted(kPaddingX, kPaddingY, -kPaddingX, -kPaddingY);
}

}  // namespace

SafeBinRowDelegate::SafeBinRowDelegate(LookOf lookOf, QObject* parent)
    : QAbstractItemDelegate(parent), lookOf_(std::move(lookOf)) {}

int SafeBinRowDelegate::rowHeight(const QFont& base) {
    const int buttons =
        std::max(buttonSize(Button::restore, base).height(), buttonSize(Button::destroy, base).height());
    return std::max(textsHeight(), buttons) + 2 * kPaddingY + kRowGap;
}

QRect SafeBinRowDelegate::buttonRect(const QRect& rowRect, Button button, const QFont& base) {
    if (button == Button::none) return {};
    const QRect content = contentRect(rowRect);
    const QSize destroySize = buttonSize(Button::destroy, base);
    QRect rect(QPoint(content.right() - destroySize.width() + 1, 0), destroySize);
    if (button == Button::restore) {
        const QSize restoreSize = buttonSize(Button::restore, base);
        rect = QRect(QPoint(rect.left() - kSpacing - restoreSize.width(), 0), restoreSize);
    }
    rect.moveTop(content.top() + (content.height() - rect.height()) / 2);
    return rect;
}

QSize SafeBinRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    // As wide as the list makes it; the width asked for is only a floor.
    return {1, rowHeight(option.font)};
}

void SafeBinRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const auto* model = qobject_cast<const SafeBinListModel*>(index.model());
    if (!model || index.row() >= model->rowCount()) return;
    const SafeBinEntry& entry = model->entry(index.row());
    const QFont& base = option.font;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::TextAntialiasing);
    painter->fillPath(TaldoShapes::roundedRect(QRectF(panelRect(option.rect)), kPanelRadius), T::panel());

    const QRect content = contentRect(option.rect);
    const QRect restore = buttonRect(option.rect, Button::restore, base);
    const QRect destroy = buttonRect(option.rect, Button::destroy, base);

    const QString size = ByteCountFormatter::fileStyle(entry.size);
    const QFont sizeFace = sizeFont();
    const int sizeWidth = QFontMetrics(sizeFace).horizontalAdvance(size);
    const QRect sizeRect(restore.left() - kSpacing - sizeWidth, content.top(), sizeWidth, content.height());
    painter->setFont(sizeFace);
    painter->setPen(T::accent());
    painter->drawText(sizeRect, Qt::AlignRight | Qt::AlignVCenter, size);

    // The texts, top to bottom, centred as a block.
    const int width = std::max(0, sizeRect.left() - kSpacing - content.left());
    int y = content.top() + std::max(0, (content.height() - textsHeight()) / 2);
    auto line = [&](const QString& text, const QFont& font, const QColor& color, Qt::TextElideMode mode) {
        const QFontMetrics metrics(font);
        painter->setFont(font);
        painter->setPen(color);
        const int height = lineHeight(font);
        painter->drawText(QRect(content.left(), y, width, height), Qt::AlignLeft | Qt::AlignVCenter,
                          metrics.elidedText(text, mode, width));
        y += height + kLineSpacing;
    };
    line(entry.displayName, nameFont(), T::textPrimary(), Qt::ElideRight);
    line(PathRules::abbreviatingWithTilde(entry.originalPath), pathFont(), T::textSecondary(), Qt::ElideMiddle);
    line(RelativeDateFormatter::shortPhrase(entry.removedAt), timeFont(), T::textSecondary(), Qt::ElideRight);

    paintButton(*painter, restore, Button::restore, lookOf_(index, Button::restore), base);
    paintButton(*painter, destroy, Button::destroy, lookOf_(index, Button::destroy), base);
    painter->restore();
}

void SafeBinRowDelegate::paintButton(QPainter& painter, const QRect& rect, Button button, const ButtonLook& look,
                                     const QFont& base) const {
    const TaldoButtonParameters p = parametersFor(button, look.pressed, look.enabled);
    TaldoButtonStyle::paintBody(painter, QRectF(rect), p, textOf(button), QIcon(), base);
    if (look.hovered && look.enabled && !look.pressed) {
        painter.fillPath(TaldoButtonStyle::shape(p, QRectF(rect)), T::withOpacity(Qt::white, 0.08));
    }
    if (look.focused) {
        // The keyboard's choice: a teal ring just outside the button.
        painter.strokePath(TaldoButtonStyle::shape(p, QRectF(rect).adjusted(-2.5, -2.5, 2.5, 2.5)),
                           QPen(T::withOpacity(T::accentTeal(), 0.8), 2.0));
    }
}

}  // namespace tarnwick
