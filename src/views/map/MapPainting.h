#pragma once

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>
#include <QtGlobal>

class QPainter;

namespace tarnwick {

// Small drawing helpers shared by the map renderings.
namespace MapPainting {

// The system font at the given size in points (device-independent pixels);
// a new font each time, safe to use on the calling thread only.
QFont font(double size, QFont::Weight weight = QFont::Normal);

// A node's size as shown on the map: a byte count in file style, negative
// sizes shown as 0.
QString byteText(qint64 size);

// Draws one line of text in rect, elided at the right when it does not fit.
void drawLine(QPainter& painter, const QRectF& rect, Qt::Alignment alignment, const QString& text,
              const QFont& font, const QColor& colour);

// The width and line height of one line of text.
double textWidth(const QFont& font, const QString& text);
double lineHeight(const QFont& font);

}  // namespace MapPainting

}  // namespace tarnwick
