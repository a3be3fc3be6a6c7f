#include "views/map/MapPainting.h"

#include "support/ByteCountFormatter.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tarnwick::MapPainting {

QFont font(double size, QFont::Weight weight) {
    // A font of its own (not sharing the application font's data), so the
    // threads drawing a map never share one.
    QFont result(QGuiApplication::font().families());
    result.setPixelSize(std::max(1, int(std::lround(size))));
    result.setWeight(weight);
    return result;
}

QString byteText(qint64 size) {
    return ByteCountFormatter::fileStyle(std::max<qint64>(size, 0));
}

void drawLine(QPainter& painter, const QRectF& rect, Qt::Alignment alignment, const QString& text,
              const QFont& font, const QColor& colour) {
    if (rect.width() <= 0 || text.isEmpty()) return;
    const QFontMetricsF metrics(font);
    const QString shown = metrics.horizontalAdvance(text) <= rect.width()
                              ? text
                              : metrics.elidedText(text, Qt::ElideRight, rect.width());
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(rect, int(alignment) | Qt::TextSingleLine, shown);
}

double textWidth(const QFont& font, const QString& text) {
    return QFontMetricsF(font).horizontalAdvance(text);
}

double lineHeight(const QFont& font) {
    return QFontMetricsF(font).height();
}

}  // namespace tarnwick::MapPainting
