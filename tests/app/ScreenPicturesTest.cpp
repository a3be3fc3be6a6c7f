#include "app/ScreenPictures.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QSet>
#include <QTemporaryDir>

using namespace tarnwick;

namespace {

// How many different colours a grid of samples over the rectangle finds.
int distinctColours(const QImage& image, const QRect& area, int step = 6) {
    QSet<QRgb> colours;
    for (int y = area.top(); y <= area.bottom(); y += step) {
        for (int x = area.left(); x <= area.right(); x += step) colours.insert(image.pixel(x, y));
    }
    return int(colours.size());
}

}  // namespace

TEST(ScreenPictures, RendersEveryScreen) {
    QTemporaryDir output;
    QString error;
    const QStringList written = ScreenPictures::render(output.path() + "/screens", &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    ASSERT_EQ(written.size(), ScreenPictures::fileNames().size());
    for (const QString& path : written) {
        SCOPED_TRACE(path.toStdString());
        const QImage image(path);
        ASSERT_FALSE(image.isNull());
        EXPECT_GT(QFileInfo(path).size(), 20'000);
        if (path.endsWith("menu-bar-panel.png")) {
            // The tray panel alone: its own width, and tiles rather than one flat colour.
            EXPECT_EQ(image.width(), 344);
            EXPECT_GT(distinctColours(image, image.rect().adjusted(10, 10, -10, -10)), 40);
            continue;
        }
        EXPECT_GE(image.width(), 1100);
        EXPECT_GE(image.height(), 720);
        // The detail area (right of the section rail) holds a real screen, not one flat colour.
        EXPECT_GT(distinctColours(image, QRect(220, 40, image.width() - 240, image.height() - 60)), 40);
    }
}
