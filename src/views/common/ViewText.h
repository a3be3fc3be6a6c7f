#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QString>

class QLabel;
class QWidget;

namespace tarnwick {

// Text of the screens: the system font at a pixel size and weight, in a theme colour.
namespace ViewText {

QFont font(int pixelSize, QFont::Weight weight = QFont::Normal);
// A label with the text in that font and colour.
QLabel* label(const QString& text, int pixelSize, QFont::Weight weight, const QColor& color,
              QWidget* parent = nullptr);
// Sets the colour the widget draws its text in.
void setTextColor(QWidget* widget, const QColor& color);
// The height one line of text takes with room for every glyph below its
// baseline: at small sizes a font's underscore lies below its descent, and
// a line only as high as the font would cut it off.
int lineHeight(const QFontMetrics& metrics);

}  // namespace ViewText

}  // namespace tarnwick
