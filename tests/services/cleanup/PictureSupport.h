#pragma once

// Generated pictures for the similar-image tests.

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
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
