#include "views/common/ViewText.h"

#include <QLabel>
#include <QPalette>

#include <algorithm>

namespace tarnwick::ViewText {

QFont font(int pixelSize, QFont::Weight weight) {
    QFont result;
    result.setPixelSize(pixelSize);
    result.setWeight(weight);
    return result;
}

QLabel* label(const QString& text, int pixelSize, QFont::Weight weight, const QColor& color, QWidget* parent) {
    auto* result = new QLabel(text, parent);
    result->setFont(font(pixelSize, weight));
    setTextColor(result, color);
    return result;
}

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    palette.setColor(QPalette::ButtonText, color);
    widget->setPalette(palette);
}

int lineHeight(const QFontMetrics& metrics) {
    return std::max(metrics.height(), metrics.ascent() + metrics.tightBoundingRect(QStringLiteral("_")).bottom() + 1);
}

}  // namespace tarnwick::ViewText
