#include "views/common/ClampedText.h"

#include "views/common/ViewText.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>

namespace tarnwick {

namespace {

// The width a row asks for before the layout gives it less.
constexpr int kPreferredWidth = 480;

}  // namespace

ClampedText::ClampedText(int maximumLines, QWidget* parent)
    : QWidget(parent), maximumLines_(std::max(1, maximumLines)) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void ClampedText::setText(const QString& text) {
    if (text_ == text) return;
    text_ = text;
    updateGeometry();
    update();
}

QStringList ClampedText::shownLines(int width) const {
    if (text_.isEmpty() || width <= 0) return {};
    QTextLayout layout(text_, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    while (lines.size() < maximumLines_) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(width);
        const int start = line.textStart();
        if (lines.size() == maximumLines_ - 1) {
            // The last line takes the rest, cut to fit.
            lines.append(QFontMetrics(font()).elidedText(text_.mid(start), Qt::ElideRight, width));
            break;
        }
        lines.append(text_.mid(start, line.textLength()).trimmed());
    }
    layout.endLayout();
    return lines;
}

int ClampedText::heightForWidth(int width) const {
    const QFontMetrics metrics(font());
    // The last line has room for what lies below the font's descent.
    const int lines = int(std::max<qsizetype>(1, shownLines(width).size()));
    return (lines - 1) * metrics.lineSpacing() + std::max(metrics.lineSpacing(), ViewText::lineHeight(metrics));
}

QSize ClampedText::sizeHint() const {
    const int width = std::min(kPreferredWidth, QFontMetrics(font()).horizontalAdvance(text_) + 2);
    return QSize(width, heightForWidth(std::max(1, width)));
}

QSize ClampedText::minimumSizeHint() const {
    const QFontMetrics metrics(font());
    return QSize(metrics.averageCharWidth() * 4, std::max(metrics.lineSpacing(), ViewText::lineHeight(metrics)));
}

void ClampedText::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) updateGeometry();
    QWidget::changeEvent(event);
}

void ClampedText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    const QFontMetrics metrics(font());
    // Drawn at the baseline, so nothing below it (an underscore) is clipped.
    int baseline = metrics.ascent();
    for (const QString& line : shownLines(width())) {
        painter.drawText(QPoint(0, baseline), line);
        baseline += metrics.lineSpacing();
    }
}

}  // namespace tarnwick
