#include "services/cleanup/ImageFingerprint.h"

#include "FileTreeSupport.h"
#include "PictureSupport.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QImageWriter>
#include <gtest/gtest.h>

namespace tarnwick {
namespace {

QByteArray encoded(const QImage& image, const char* format, int quality = -1) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return data;
}

ImageFingerprint printOf(const QByteArray& data) {
    const std::optional<ImageFingerprint> print = ImageFingerprint::ofData(data);
    EXPECT_TRUE(print);
    return print.value_or(ImageFingerprint{});
}

// A copy with its colours shifted: warmer and a little brighter.
QImage colourShifted(const QImage& original) {
    QImage shifted = original.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < shifted.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(shifted.scanLine(y));
        for (int x = 0; x < shifted.width(); ++x) {
            const QRgb p = line[x];
            line[x] = qRgba(qBound(0, int(qRed(p) * 1.12) + 8, 255), qBound(0, qGreen(p) + 8, 255),
                            qBound(0, int(qBlue(p) * 0.85) + 8, 255), qAlpha(p));
        }
    }
    return shifted;
}

// A copy with the given share of each side cut away.
QImage cropped(const QImage& original, double left, double top, double right, double bottom) {
    const int w = original.width(), h = original.height();
    return original.copy(int(w * left), int(h * top), int(w * (1 - left - right)), int(h * (1 - top - bottom)));
}

struct Copy {
    const char* what;
    QByteArray data;
};

TEST(ImageFingerprint, CopiesOfOnePictureAreSimilarAndOtherPicturesAreNot) {
    ASSERT_TRUE(QImageWriter::supportedImageFormats().contains("webp")) << "the image-formats plugins are installed";
    for (unsigned seed : {1u, 6u}) {
        const QImage original = test::picture(seed);
        const ImageFingerprint png = printOf(encoded(original, "PNG"));
        EXPECT_FALSE(png.flat);
        const Copy copies[] = {
            {"JPEG at quality 60", encoded(original, "JPEG", 60)},
            {"WebP", encoded(original, "WEBP", 70)},
            {"half size", encoded(original.scaled(400, 300, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), "JPEG")},
            {"stretched", encoded(original.scaled(1000, 500, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), "PNG")},
            {"4 % cut from each side", encoded(cropped(original, 0.04, 0.04, 0.04, 0.04), "JPEG", 90)},
            {"cut on two sides", encoded(cropped(original, 0.07, 0, 0, 0.05), "PNG")},
            {"colour-shifted", encoded(colourShifted(original), "JPEG", 92)},
        };
        for (const Copy& copy : copies) {
            const ImageFingerprint print = printOf(copy.data);
            EXPECT_TRUE(png.isSimilar(print)) << seed << ", " << copy.what << ": " << png.distance(print) << " bits apart";
            EXPECT_TRUE(print.isSimilar(png)) << seed << ", " << copy.what << " the other way";
        }
        for (unsigned other : {2u, 3u, 4u, 5u}) {
            const ImageFingerprint different = printOf(encoded(test::picture(other), "PNG"));
            EXPECT_FALSE(png.isSimilar(different)) << seed << " and " << other;
        }
    }
}

TEST(ImageFingerprint, LookAlikeIconsAreNotSimilarButCopiesOfOneAre) {
    std::vector<ImageFingerprint> icons;
    for (int kind = 0; kind < 5; ++kind) icons.push_back(printOf(encoded(test::folderIcon(kind), "PNG")));
    int passedTheHash = 0;
    for (size_t a = 0; a < icons.size(); ++a) {
        for (size_t b = a + 1; b < icons.size(); ++b) {
            passedTheHash += icons[a].distance(icons[b]) <= ImageFingerprint::kMaxDistance;
            EXPECT_FALSE(icons[a].isSimilar(icons[b])) << "emblems " << a << " and " << b;
        }
    }
    EXPECT_GE(passedTheHash, 8) << "the average hash alone takes them for one picture";

    // A see-through icon and its copies, whichever way they are decoded.
    const QImage icon = test::folderIcon(1);
    const Copy copies[] = {
        {"WebP", encoded(icon, "WEBP", 60)},
        {"smaller", encoded(icon.scaled(300, 300, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), "PNG")},
        {"cut", encoded(cropped(icon, 0.04, 0.04, 0.04, 0.04), "PNG")},
        {"colour-shifted", encoded(colourShifted(icon), "PNG")},
    };
    for (const Copy& copy : copies) {
        EXPECT_TRUE(icons[1].isSimilar(printOf(copy.data))) << copy.what;
    }
    const auto image = ImageFingerprint::ofImage(icon);
    ASSERT_TRUE(image);
    EXPECT_TRUE(icons[1].isSimilar(*image)) << "decoded from its file or drawn";
}

// Flat pictures have no structure to hash: their colour tells them apart.
// What does not decode has no hash at all.
TEST(ImageFingerprint, FlatPicturesAreComparedByTheirColourAndNonPicturesHaveNoHash) {
    const ImageFingerprint red = printOf(encoded(test::flatPicture(Qt::red), "PNG"));
    const ImageFingerprint blue = printOf(encoded(test::flatPicture(Qt::blue), "PNG"));
    const ImageFingerprint redJpeg = printOf(encoded(test::flatPicture(Qt::red), "JPEG", 50));
    EXPECT_TRUE(red.flat && blue.flat && redJpeg.flat);
    EXPECT_EQ(red.hash, blue.hash) << "the bits alone cannot tell flat pictures apart";
    EXPECT_FALSE(red.isSimilar(blue));
    EXPECT_TRUE(red.isSimilar(redJpeg));
    EXPECT_FALSE(red.isSimilar(printOf(encoded(test::picture(1), "PNG")))) << "flat against structure";

    for (const QByteArray& data : {QByteArray(), QByteArray(200000, 'x'), QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(5000, '\0')}) {
        EXPECT_FALSE(ImageFingerprint::ofData(data)) << data.size();
    }
    EXPECT_FALSE(ImageFingerprint::ofImage(QImage()));
    EXPECT_TRUE(ImageFingerprint::ofImage(test::flatPicture(Qt::white, QSize(1, 1)))) << "one pixel still scales to 8 x 8";
}

// A JPEG cut short still decodes, and is known for damaged; a whole one is
// not, whatever follows its end (a video appended to a photo, padding), in
// any of its encodings. A PNG cut short does not decode.
TEST(ImageFingerprint, APictureCutShortIsDamaged) {
    const QImage photo = test::picture(5, QSize(640, 480));
    for (const bool progressive : {false, true}) {
        SCOPED_TRACE(progressive);
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setProgressiveScanWrite(progressive);
        ASSERT_TRUE(writer.write(photo));
        EXPECT_FALSE(printOf(jpeg).damaged);
        EXPECT_FALSE(printOf(jpeg + QByteArray(5000, 'v')).damaged);
        const ImageFingerprint cut = printOf(jpeg.left(jpeg.size() * 97 / 100));
        EXPECT_TRUE(cut.damaged);
        EXPECT_EQ(cut.dimensions, QSize(640, 480));
    }
    const QByteArray png = encoded(photo, "PNG");
    EXPECT_FALSE(printOf(png).damaged);
    EXPECT_FALSE(ImageFingerprint::ofData(png.left(png.size() * 97 / 100)));
}

TEST(ImageFingerprint, FilesAreHashedInOrderAndOnlyRegularFilesWithinTheLimit) {
    test::FakeEnvironment env;
    QStringList paths;
    for (unsigned seed = 1; seed <= 12; ++seed) {
        paths.append(test::savePicture(test::picture(seed, QSize(320, 240)),
                                       env.home() + QStringLiteral("/p%1.png").arg(seed), "PNG"));
    }
    const QString link = env.home() + QStringLiteral("/link.png");
    test::makeLink(paths[0], link);
    paths.append(link);
    paths.append(test::writeFile(env.home() + QStringLiteral("/bad.png"), QByteArray(3000, 'x')));
    paths.append(env.home() + QStringLiteral("/missing.png"));

    const auto prints = ImageFingerprint::ofFiles(paths, 12000000);
    ASSERT_EQ(prints.size(), size_t(paths.size()));
    for (int i = 0; i < 12; ++i) {
        ASSERT_TRUE(prints[size_t(i)]) << i;
        EXPECT_EQ(prints[size_t(i)]->hash, ImageFingerprint::ofFile(paths[i], 12000000)->hash) << "in order";
    }
    EXPECT_FALSE(prints[12]) << "a link is not followed";
    EXPECT_FALSE(prints[13]);
    EXPECT_FALSE(prints[14]);
    EXPECT_FALSE(ImageFingerprint::ofFile(paths[0], 1000)) << "larger than the limit";
}

}  // namespace
}  // namespace tarnwick
