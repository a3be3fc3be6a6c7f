#pragma once

// Generated pictures for the similar-image tests.

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPolygonF>
#include <QString>

#include <random>

namespace tarnwick::test {

// A made-up photo: a background, a few shapes placed by the seed, and fine
// noise so that encoders cannot shrink it much. One seed, one picture.
inline QImage picture(unsigned seed, QSize size = QSize(800, 600)) {
    std::mt19937 random(seed);
    auto colour = [&] { return QColor(int(random() % 256), int(random() % 256), int(random() % 256)); };
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour());
    {
        QPainter painter(&image);
        painter.setPen(Qt::NoPen);
        for (int i = 0; i < 7; ++i) {
            painter.setBrush(colour());
            const int w = size.width() / 6 + int(random() % unsigned(size.width() / 2));
            const int h = size.height() / 6 + int(random() % unsigned(size.height() / 2));
            const QRect shape(int(random() % unsigned(size.width())) - w / 3, int(random() % unsigned(size.height())) - h / 3,
                              w, h);
            if (i % 2 == 0) {
                painter.drawEllipse(shape);
            } else {
                painter.drawRect(shape);
            }
        }
    }
    std::mt19937 grain(seed * 7919u + 1u);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int shift = int(grain() % 25) - 12;
            const QRgb p = line[x];
            line[x] = qRgb(qBound(0, qRed(p) + shift, 255), qBound(0, qGreen(p) + shift, 255),
                           qBound(0, qBlue(p) + shift, 255));
        }
    }
    return image;
}

// An icon of a theme: a folder of one shape and colour on a transparent
// ground, with an emblem told by its kind (0 to 4) in the middle. Icons of
// different kinds share everything but the emblem.
inline QImage folderIcon(int kind, int side = 512) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(side / 512.0, side / 512.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x35, 0x84, 0xe4));
    painter.drawRoundedRect(QRectF(24, 40, 200, 80), 20, 20);  // the tab
    QLinearGradient body(0, 80, 512, 480);
    body.setColorAt(0, QColor(0x99, 0xc1, 0xf1));
    body.setColorAt(1, QColor(0xb8, 0xdc, 0xe8));
    painter.setBrush(body);
    painter.drawRoundedRect(QRectF(24, 80, 464, 380), 24, 24);
    QPen pen(QColor(0x35, 0x84, 0xe4), 22, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    switch (kind) {
    case 0:  // a document
        painter.drawPolygon(QPolygonF({{196, 190}, {286, 190}, {316, 220}, {316, 380}, {196, 380}}));
        break;
    case 1:  // the same document, its sides dashed
        painter.drawPolyline(QPolygonF({{196, 190}, {286, 190}, {316, 220}, {316, 380}}));
        pen.setStyle(Qt::DotLine);
        painter.setPen(pen);
        painter.drawPolyline(QPolygonF({{316, 380}, {196, 380}, {196, 190}}));
        break;
    case 2:  // a note
        painter.drawEllipse(QPointF(210, 350), 30, 30);
        painter.drawEllipse(QPointF(300, 350), 30, 30);
        painter.drawPolyline(QPolygonF({{240, 350}, {240, 200}, {330, 200}, {330, 350}}));
        break;
    case 3:  // a magnifier
        painter.drawEllipse(QPointF(240, 270), 60, 60);
        painter.drawLine(QPointF(285, 315), QPointF(340, 370));
        break;
    default:  // a star
        painter.drawPolygon(QPolygonF({{256, 190}, {280, 250}, {340, 255}, {293, 295}, {310, 360}, {256, 325},
                                       {202, 360}, {219, 295}, {172, 255}, {232, 250}}));
        break;
    }
    return image;
}

// One colour all over.
inline QImage flatPicture(const QColor& colour, QSize size = QSize(400, 400)) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// Saves the picture in the format ("PNG", "JPEG", "WEBP"); quality -1 is the
// writer's default (for PNG, 100 means no compression). Returns the path.
inline QString savePicture(const QImage& image, const QString& path, const char* format, int quality = -1) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    image.save(path, format, quality);
    return path;
}

}  // namespace tarnwick::test
