#include "design/DesignGallery.h"

#include <QSet>
#include <gtest/gtest.h>

using namespace tarnwick;

TEST(DesignGallery, RendersEveryStyleOnTheSheet) {
    const QImage image = DesignGallery::render().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(image.size(), DesignGallery::size());
    QSet<QRgb> colours;
    int amber = 0, teal = 0, red = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = QColor::fromRgb(image.pixel(x, y));
            colours.insert(c.rgb());
            amber += c.red() > 220 && c.green() > 180 && c.blue() < 110;
            teal += c.red() < 110 && c.green() > 200 && c.blue() > 140;
            red += c.red() > 200 && c.green() < 110 && c.blue() < 120;
        }
    }
    EXPECT_GT(colours.size(), 2000);
    // Counts a little below what the sheet shows: the swatches alone stay well under them, so
    // buttons that fail to draw bring a count below its mark.
    EXPECT_GT(amber, 20000); // amber swatches, primary and amber glow buttons
    EXPECT_GT(teal, 10000);  // teal swatches, teal glow buttons, symbols
    EXPECT_GT(red, 12000);   // danger swatch, buttons and symbols
    // Nothing left blank: every band of the sheet shows something besides its backdrop.
    for (int top = 0; top + 120 <= image.height(); top += 120) {
        QSet<QRgb> band;
        for (int y = top; y < top + 120; ++y)
            for (int x = 0; x < image.width(); x += 2)
                band.insert(image.pixel(x, y));
        EXPECT_GT(band.size(), 40) << "band at " << top;
    }
}
