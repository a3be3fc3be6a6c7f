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

TEST(ImageFingerprint, CopiesOfOnePictureAreSimilarAndOtherPicturesAreNot) {
    ASSERT_TRUE(QImageWriter::supportedImageFormats().contains("webp")) << "the image-formats plugins are installed";
    const QImage original = test::picture(1);
    const ImageFingerprint png = printOf(encoded(original, "PNG"));
    EXPECT_FALSE(png.flat);
    struct Copy {
        const char* what;
        QByteArray data;
    };
    const Copy copies[] = {
        {"JPEG at quality 60", encoded(original, "JPEG", 60)},
        {"WebP", encoded(original, "WEBP", 70)},
        {"half size", encoded(original.scaled(400, 300, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), "JPEG")},
        {"stretched", encoded(original.scaled(1000, 500, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), "PNG")},
    };
    for (const Copy& copy : copies) {
        const ImageFingerprint print = printOf(copy.data);
        EXPECT_TRUE(png.isSimilar(print)) << copy.what << ": " << png.distance(print) << " bits apart";
    }
    for (unsigned seed : {2u, 3u, 4u, 5u}) {
        const ImageFingerprint other = printOf(encoded(test::picture(seed), "PNG"));
        EXPECT_FALSE(png.isSimilar(other)) << "seed " << seed << ": " << png.distance(other) << " bits apart";
    }
}

TEST(ImageFingerprint, FlatPicturesAreComparedByTheirColour) {
    const ImageFingerprint red = printOf(encoded(test::flatPicture(Qt::red), "PNG"));
    const ImageFingerprint blue = printOf(encoded(test::flatPicture(Qt::blue), "PNG"));
    const ImageFingerprint redJpeg = printOf(encoded(test::flatPicture(Qt::red), "JPEG", 50));
    EXPECT_TRUE(red.flat && blue.flat && redJpeg.flat);
    EXPECT_EQ(red.hash, blue.hash) << "the bits alone cannot tell flat pictures apart";
    EXPECT_FALSE(red.isSimilar(blue));
    EXPECT_TRUE(red.isSimilar(redJpeg));
    EXPECT_FALSE(red.isSimilar(printOf(encoded(test::picture(1), "PNG")))) << "flat against structure";
}

TEST(ImageFingerprint, WhatDoesNotDecodeHasNoHash) {
    EXPECT_FALSE(ImageFingerprint::ofData(QByteArray()));
    EXPECT_FALSE(ImageFingerprint::ofData(QByteArray(200000, 'x')));
    EXPECT_FALSE(ImageFingerprint::ofData(QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(5000, '\0')));
    EXPECT_FALSE(ImageFingerprint::ofImage(QImage()));
    // A picture of a single pixel still scales to 8 × 8.
    EXPECT_TRUE(ImageFingerprint::ofImage(test::flatPicture(Qt::white, QSize(1, 1))));
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
