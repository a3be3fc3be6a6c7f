#include "services/cleanup/ImageFingerprint.h"

#include "platform/FileReader.h"
#include "support/FreeThreads.h"

#include <QImageReader>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <memory>
#include <cstdlib>
#include <cstring>

namespace tarnwick {

namespace {

// The JPEG decoder is given this size to aim at, so a large JPEG is decoded
// at a fraction of its size; the last steps to 64 × 64 and 8 × 8 average the
// cells smoothly.
constexpr int kDecodeSide = 64;
// Pictures decoded at once: a large PNG is decoded whole before it is scaled,
// so more at once would mostly cost memory.
constexpr int kMostDecoders = 4;

// The confirmation: lumas kept per side, and the coarser lumas a crop is searched on.
constexpr int kFine = 64;
constexpr int kCoarse = 32;
constexpr int kSearchCells = 16;
// Aligned pictures must correlate at least this closely...
constexpr double kLeastCorrelation = 0.95;
// ...and, brightness and contrast matched, differ in no block of 4 × 4 of
// the 32 × 32 cells by more than this many levels (root mean square), or
// this share of the picture's contrast (its luma's standard deviation)
// where that is more.
constexpr int kBlockCells = 4;
constexpr double kBlockLevels = 8;
constexpr double kBlockContrastShare = 0.35;
// A crop is searched for in steps of these fractions of a side, each step
// round the best box of the one before (the first from 0 to 0.08), so up to
// about a tenth of each side; compared on this many cells a side.
struct CropStep {
    double fraction;
    int cells;
};
constexpr CropStep kCropSteps[] = {{0.04, kSearchCells}, {0.02, kSearchCells}, {0.01, kCoarse}, {0.005, kCoarse}};

// A part of a picture: the fractions of its width and height where it starts and ends.
struct Box {
    double left = 0, top = 0, right = 1, bottom = 1;
};

// A square plane of lumas sampled over a box, as cells by cells averages of
// bilinear samples (so the cells average what they cover).
void sample(const float* plane, int side, const Box& box, int cells, float* out) {
    const double width = (box.right - box.left) * side / cells;
    const double height = (box.bottom - box.top) * side / cells;
    const int across = std::max(1, static_cast<int>(std::ceil(width)));
    const int down = std::max(1, static_cast<int>(std::ceil(height)));
    auto at = [&](double x, double y) {
        const int x0 = std::clamp(static_cast<int>(std::floor(x)), 0, side - 2);
        const int y0 = std::clamp(static_cast<int>(std::floor(y)), 0, side - 2);
        const float fx = static_cast<float>(std::clamp(x - x0, 0.0, 1.0));
        const float fy = static_cast<float>(std::clamp(y - y0, 0.0, 1.0));
        const float* p = plane + y0 * side + x0;
        return (p[0] * (1 - fx) + p[1] * fx) * (1 - fy) + (p[side] * (1 - fx) + p[side + 1] * fx) * fy;
    };
    for (int j = 0; j < cells; ++j) {
        for (int i = 0; i < cells; ++i) {
            float sum = 0;
            for (int v = 0; v < down; ++v) {
                const double y = box.top * side + (j + (v + 0.5) / down) * height - 0.5;
                for (int u = 0; u < across; ++u) sum += at(box.left * side + (i + (u + 0.5) / across) * width - 0.5, y);
            }
            out[j * cells + i] = sum / static_cast<float>(across * down);
        }
    }
}

double correlation(const float* a, const float* b, int count) {
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    for (int k = 0; k < count; ++k) {
        sa += a[k];
        sb += b[k];
        saa += double(a[k]) * a[k];
        sbb += double(b[k]) * b[k];
        sab += double(a[k]) * b[k];
    }
    const double va = saa - sa * sa / count;
    const double vb = sbb - sb * sb / count;
    if (va <= 1e-6 || vb <= 1e-6) return -1;
    return (sab - sa * sb / count) / std::sqrt(va * vb);
}

// The largest block difference of to from the best linear fit of from
// (to ≈ gain × from + offset), over what the block may differ by.
double worstBlock(const float* from, const float* to) {
    constexpr int n = kCoarse * kCoarse;
    double sf = 0, st = 0;
    for (int k = 0; k < n; ++k) {
        sf += from[k];
        st += to[k];
    }
    const double mf = sf / n, mt = st / n;
    double vf = 0, vt = 0, cft = 0;
    for (int k = 0; k < n; ++k) {
        vf += (from[k] - mf) * (from[k] - mf);
        vt += (to[k] - mt) * (to[k] - mt);
        cft += (from[k] - mf) * (to[k] - mt);
    }
    if (vf <= 1e-6) return std::numeric_limits<double>::infinity();
    const double gain = cft / vf;
    const double allowed = std::max(kBlockLevels, kBlockContrastShare * std::sqrt(vt / n));
    double worst = 0;
    for (int by = 0; by < kCoarse; by += kBlockCells) {
        for (int bx = 0; bx < kCoarse; bx += kBlockCells) {
            double squares = 0;
            for (int y = by; y < by + kBlockCells; ++y) {
                for (int x = bx; x < bx + kBlockCells; ++x) {
                    const double rest = to[y * kCoarse + x] - mt - gain * (from[y * kCoarse + x] - mf);
                    squares += rest * rest;
                }
            }
            worst = std::max(worst, std::sqrt(squares / (kBlockCells * kBlockCells)));
        }
    }
    return worst / allowed;
}

// Whether two aligned planes of kCoarse × kCoarse cells show one picture.
bool alike(const float* a, const float* b) {
    return correlation(a, b, kCoarse * kCoarse) >= kLeastCorrelation && worstBlock(a, b) <= 1 && worstBlock(b, a) <= 1;
}

// A square plane of the picture's luma over white.
template <size_t N>
void lumaPlane(const QImage& image, int side, std::array<float, N>& plane) {
    const QImage small = image.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                             .scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                             .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < side; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(small.constScanLine(y));
        for (int x = 0; x < side; ++x) {
            const QRgb p = line[x];
            const int white = 255 - qAlpha(p);  // premultiplied: what shows of the white below
            plane[size_t(y * side + x)] =
                0.299f * float(qRed(p) + white) + 0.587f * float(qGreen(p) + white) + 0.114f * float(qBlue(p) + white);
        }
    }
}

// Encoded data as a decoder reads it, noting whether it asked for more than
// there is. Qt's JPEG plugin decodes a file cut short to the picture's end,
// the missing part grey, and reports no error (only a logged warning): that
// it read on past the end of the data is what tells. A whole JPEG is read to
// its end marker and no further, whatever follows it.
class EncodedData : public QIODevice {
public:
    explicit EncodedData(const QByteArray& data) : data_(data) {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    qint64 size() const override { return data_.size(); }
    bool readPastEnd() const { return readPastEnd_; }

protected:
    qint64 readData(char* out, qint64 maxSize) override {
        const qint64 at = pos();
        if (at >= data_.size()) {
            if (maxSize > 0) readPastEnd_ = true;
            return 0;
        }
        const qint64 count = std::min(maxSize, data_.size() - at);
        std::memcpy(out, data_.constData() + at, size_t(count));
        return count;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray data_;
    bool readPastEnd_ = false;
};

}  // namespace

struct ImageFingerprint::Lumas {
    std::array<float, kFine * kFine> fine{};
    std::array<float, kCoarse * kCoarse> coarse{};  // the fine lumas, 2 × 2 averaged
    std::array<float, kSearchCells * kSearchCells> search{};
};

namespace {

// Whether the part of big in some box, up to about a tenth of each side
// cropped away, shows the picture crop. The box is searched for by
// correlation, in steps round the best box so far, the coarse steps on few
// cells and the fine ones on the cells compared.
bool alikeAsCrop(const ImageFingerprint::Lumas& big, const ImageFingerprint::Lumas& crop) {
    float part[kCoarse * kCoarse];
    Box best;
    double bestCorrelation = -2;
    for (const CropStep& step : kCropSteps) {
        const bool fine = step.cells == kCoarse;
        const float* plane = fine ? big.fine.data() : big.coarse.data();
        const float* target = fine ? crop.coarse.data() : crop.search.data();
        if (fine) bestCorrelation = -2;  // scored afresh on the finer cells
        const Box around = best;
        const double first = step.fraction == kCropSteps[0].fraction ? 0 : -step.fraction;
        const double last = step.fraction == kCropSteps[0].fraction ? 2 * step.fraction : step.fraction;
        for (double dl = first; dl <= last + 1e-9; dl += step.fraction) {
            for (double dt = first; dt <= last + 1e-9; dt += step.fraction) {
                for (double dr = first; dr <= last + 1e-9; dr += step.fraction) {
                    for (double db = first; db <= last + 1e-9; db += step.fraction) {
                        const Box box{std::max(0.0, around.left + dl), std::max(0.0, around.top + dt),
                                      std::min(1.0, around.right - dr), std::min(1.0, around.bottom - db)};
                        sample(plane, fine ? kFine : kCoarse, box, step.cells, part);
                        const double score = correlation(part, target, step.cells * step.cells);
                        if (score > bestCorrelation) {
                            bestCorrelation = score;
                            best = box;
                        }
                    }
                }
            }
        }
        // Far off after the coarse steps: not the same picture, spare the fine ones.
        if (!fine && step.fraction == kCropSteps[1].fraction && bestCorrelation < kLeastCorrelation - 0.1) return false;
    }
    float aligned[kCoarse * kCoarse];
    sample(big.fine.data(), kFine, best, kCoarse, aligned);
    return alike(aligned, crop.coarse.data());
}

}  // namespace

int ImageFingerprint::distance(const ImageFingerprint& other) const {
    return std::popcount(hash ^ other.hash);
}

bool ImageFingerprint::looksAlike(const ImageFingerprint& other) const {
    if (!lumas || !other.lumas) return false;
    // Most copies are whole pictures; then one may be a crop of the other.
    return alike(lumas->coarse.data(), other.lumas->coarse.data()) || alikeAsCrop(*lumas, *other.lumas) ||
           alikeAsCrop(*other.lumas, *lumas);
}

bool ImageFingerprint::isSimilar(const ImageFingerprint& other) const {
    if (flat != other.flat) return false;
    if (flat) {
        return std::abs(qRed(meanColour) - qRed(other.meanColour)) <= kFlatColourDistance &&
               std::abs(qGreen(meanColour) - qGreen(other.meanColour)) <= kFlatColourDistance &&
               std::abs(qBlue(meanColour) - qBlue(other.meanColour)) <= kFlatColourDistance;
    }
    return distance(other) <= kMaxDistance && looksAlike(other);
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
    print.dimensions = image.size();
    constexpr int cellCount = kSide * kSide;
    for (int k = 0; k < cellCount; ++k) {
        // mean ≤ luma, with the mean = sum / 64.
        if (sum <= lumas[k] * cellCount) print.hash |= quint64(1) << k;
    }
    const auto [lowest, highest] = std::minmax_element(std::begin(lumas), std::end(lumas));
    print.flat = *highest - *lowest <= kFlatSpread * 1000LL;
    print.meanColour = qRgb(int(red / cellCount), int(green / cellCount), int(blue / cellCount));
    if (!print.flat) {
        auto made = std::make_shared<Lumas>();
        lumaPlane(image, kFine, made->fine);
        const Box whole;
        sample(made->fine.data(), kFine, whole, kCoarse, made->coarse.data());
        sample(made->coarse.data(), kCoarse, whole, kSearchCells, made->search.data());
        print.lumas = std::move(made);
    }
    return print;
}

std::optional<ImageFingerprint> ImageFingerprint::ofData(const QByteArray& data) {
    if (data.isEmpty()) return std::nullopt;
    EncodedData encoded(data);
    QImageReader reader(&encoded);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    // Only a JPEG is decoded small: it has no transparency, which decoders
    // scaling on their own blend into the colours of the edges.
    const bool jpeg = reader.format() == "jpeg";
    if (jpeg && size.isValid() && (size.width() > kDecodeSide || size.height() > kDecodeSide)) {
        reader.setScaledSize(size.scaled(kDecodeSide, kDecodeSide, Qt::KeepAspectRatioByExpanding));
        reader.setQuality(100);  // the JPEG decoder's smooth downscaling
    }
    QImage image;
    if (!reader.read(&image)) return std::nullopt;
    std::optional<ImageFingerprint> print = ofImage(image);
    if (!print) return print;
    // A JPEG decoded small still has the pixels it stores.
    if (size.isValid()) print->dimensions = size;
    print->damaged = jpeg && encoded.readPastEnd();
    return print;
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

std::vector<bool> ImageFingerprint::similarPairs(const std::vector<ImageFingerprint>& prints,
                                                const std::stop_token& stop) {
    const size_t count = prints.size();
    // The hashes sort out most pairs at once; the rest are looked at closely.
    std::vector<std::pair<size_t, size_t>> closer;
    for (size_t i = 0; i < count; ++i) {
        for (size_t j = i + 1; j < count; ++j) {
            const ImageFingerprint& a = prints[i];
            const ImageFingerprint& b = prints[j];
            if (a.flat == b.flat && (a.flat ? a.isSimilar(b) : a.distance(b) <= kMaxDistance)) closer.emplace_back(i, j);
        }
    }
    std::vector<char> similar(closer.size(), 0);  // a byte each: written from several threads
    FreeThreads::forEach(closer.size(), QThread::idealThreadCount(), [&](size_t index, int) {
        if (stop.stop_requested()) return;
        const auto [i, j] = closer[index];
        similar[index] = prints[i].isSimilar(prints[j]);
    });
    std::vector<bool> pairs(count * count, false);
    for (size_t k = 0; k < closer.size(); ++k) pairs[closer[k].first * count + closer[k].second] = similar[k] != 0;
    return pairs;
}

}  // namespace tarnwick
