#include "views/health/TileTextButton.h"

#include "design/TaldoTheme.h"
#include "views/common/ViewText.h"

#include <QFontMetrics>
#include <QPainter>

namespace tarnwick {

namespace {

constexpr int kTitleSize = 11;
constexpr int kValueSize = 18;
constexpr int kSubtitleSize = 10;
constexpr int kLineSpacing = 2;

QFont titleFont() {
    return ViewText::font(kTitleSize, QFont::Medium);
}

QFont valueFont(int pixelSize) {
    return ViewText::font(pixelSize, QFont::DemiBold);
}

QFont subtitleFont() {
    return ViewText::font(kSubtitleSize);
}

}  // namespace

TileTextButton::TileTextButton(const QString& title, QWidget* parent) : QAbstractButton(parent), title_(title) {
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

void TileTextButton::setValue(const QString& value) {
    if (value_ == value) return;
    value_ = value;
    update();
}

void TileTextButton::setSubtitle(const QString& subtitle) {
    if (subtitle_ == subtitle) return;
    subtitle_ = subtitle;
    update();
}

int TileTextButton::valuePixelSize() const {
    const int smallest = (kValueSize * 3 + 3) / 4;
    for (int size = kValueSize; size > smallest; --size) {
        if (QFontMetrics(valueFont(size)).horizontalAdvance(value_) <= width()) return size;
    }
    return smallest;
}

QSize TileTextButton::sizeHint() const {
    const int height = QFontMetrics(titleFont()).height() + QFontMetrics(valueFont(kValueSize)).height()
                       + QFontMetrics(subtitleFont()).height() + 2 * kLineSpacing;
    return QSize(120, height);
}

QSize TileTextButton::minimumSizeHint() const {
    return QSize(40, sizeHint().height());
}

void TileTextButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const double pressed = isDown() ? 0.7 : 1.0;
    int y = 0;
    auto line = [&](const QString& text, const QFont& font, const QColor& color) {
        const QFontMetrics metrics(font);
        painter.setFont(font);
        painter.setPen(TaldoTheme::withOpacity(color, color.alphaF() * pressed));
        painter.drawText(QRect(0, y, width(), metrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(text, Qt::ElideRight, width()));
        y += metrics.height() + kLineSpacing;
    };
    line(title_, titleFont(), TaldoTheme::textSecondary());
    // The value keeps the line's full height whatever size it is drawn at.
    const int valueLine = QFontMetrics(valueFont(kValueSize)).height();
    const QFont shrunk = valueFont(valuePixelSize());
    const QFontMetrics metrics(shrunk);
    painter.setFont(shrunk);
    painter.setPen(TaldoTheme::withOpacity(TaldoTheme::textPrimary(), TaldoTheme::textPrimary().alphaF() * pressed));
    painter.drawText(QRect(0, y, width(), valueLine), Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(value_, Qt::ElideRight, width()));
    y += valueLine + kLineSpacing;
    line(subtitle_, subtitleFont(), TaldoTheme::textSecondary());
}

}  // namespace tarnwick
