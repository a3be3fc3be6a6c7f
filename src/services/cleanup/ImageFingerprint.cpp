#include "services/cleanup/ImageFingerprint.h"

#include "platform/FileReader.h"
#include "support/FreeThreads.h"

#include <QBuffer>
#include <QImageReader>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdlib>

namespace tarnwick {

namespace {

// Decoders are given this size to aim at, so a large JPEG is decoded at a
// fraction of its size; the last step to 8 × 8 averages the cells smoothly.
constexpr int kDecodeSide = 64;
// Pictures decoded at once: a large PNG is decoded whole before it is scaled,
// so more at once would mostly cost memory.
constexpr int kMostDecoders = 4;

}  // namespace

int ImageFingerprint::distance(const ImageFingerprint& other) const {
    return std::popcount(hash ^ other.hash);
}

bool ImageFingerprint::isSimilar(const ImageFingerprint& other) const {
    if (flat != other.flat) return false;
    if (flat) {
        return std::abs(qRed(meanColour) - qRed(other.meanColour)) <= kFlatColourDistance &&
               std::abs(qGreen(meanColour) - qGreen(other.meanColour)) <= kFlatColourDistance &&
               std::abs(qBlue(meanColour) - qBlue(other.meanColour)) <= kFlatColourDistance;
    }
    return distance(other) <= kMaxDistance;
}

std::optional<ImageFingerprint> ImageFingerprint::ofImage(const QImage& image) {
    if (image.isNull()) return std::nullopt;
    const QImage cells = image.scaled(kSide, kSide, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                             .convertToFormat(QImage::Format_ARGB32);
    if (cells.isNull() || cells.width() != kSide || cells.height() != kSide) return std::nullopt;

    // Lumas in thousandths of a level, so the mean is compared exactly.
    qint64 lumas[kSide * kSide];
    qint64 sum = 0;
    qint64 red = 0, green = 0, blue = 0;
    for (int y = 0; y < kSide; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(cells.constScanLine(y));
        for (int x = 0; x < kSide; ++x) {
            const QRgb pixel = line[x];
            const qint64 luma = 299LL * qRed(pixel) + 587LL * qGreen(pixel) + 114LL * qBlue(pixel);
            lumas[y * kSide + x] = luma;
            sum += luma;
            red += qRed(pixel);
            green += qGreen(pixel);
            blue += qBlue(pixel);
        }
    }
    ImageFingerprint print;
    constexpr int cellCount = kSide * kSide;
    for (int k = 0; k < cellCount; ++k) {
        // mean ≤ luma, with the mean = sum / 64.
        if (sum <= lumas[k] * cellCount) print.hash |= quint64(1) << k;
    }
    const auto [lowest, highest] = std::minmax_element(std::begin(lumas), std::end(lumas));
    print.flat = *highest - *lowest <= kFlatSpread * 1000LL;
    print.meanColour = qRgb(int(red / cellCount), int(green / cellCount), int(blue / cellCount));
    return print;
}

std::optional<ImageFingerprint> ImageFingerprint::ofData(const QByteArray& data) {
    if (data.isEmpty()) return std::nullopt;
    QBuffer buffer;
    buffer.setData(data);
    if (!buffer.open(QIODevice::ReadOnly)) return std::nullopt;
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > kDecodeSide || size.height() > kDecodeSide)) {
        reader.setScaledSize(size.scaled(kDecodeSide, kDecodeSide, Qt::KeepAspectRatioByExpanding));
        reader.setQuality(100);  // the JPEG decoder's smooth downscaling
    }
    QImage image;
    if (!reader.read(&image)) return std::nullopt;
    return ofImage(image);
}

std::optional<ImageFingerprint> ImageFingerprint::ofFile(const QString& path, qint64 maxBytes) {
    std::optional<FileReader> reader = FileReader::open(path);
    if (!reader || reader->size() > maxBytes) return std::nullopt;
    const QByteArray data = reader->read(maxBytes + 1);
    if (data.size() > maxBytes) return std::nullopt;
    return ofData(data);
}

std::vector<std::optional<ImageFingerprint>> ImageFingerprint::ofFiles(const QStringList& paths, qint64 maxBytes,
                                                                       const std::stop_token& stop) {
    std::vector<std::optional<ImageFingerprint>> results(static_cast<size_t>(paths.size()));
    FreeThreads::forEach(results.size(), std::min(QThread::idealThreadCount(), kMostDecoders), [&](size_t index, int) {
        if (!stop.stop_requested()) results[index] = ofFile(paths[static_cast<qsizetype>(index)], maxBytes);
    });
    return results;
}

}  // namespace tarnwick
