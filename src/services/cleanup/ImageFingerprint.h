#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <stop_token>
#include <vector>

namespace tarnwick {

// What tells near-duplicate pictures apart from different ones.
//
// First the 64-bit average hash: the picture is scaled down to 8 × 8 cells;
// each cell's luma (0.299 red + 0.587 green + 0.114 blue) is compared with
// the mean of all 64, and bit k (k = 8 × row + column, bit 0 the lowest) is
// set when the cell is at least as bright as the mean. Re-encoding or
// resizing a picture changes few bits, so two pictures whose hashes differ in
// more than 8 bits are not similar.
//
// The hash alone takes many plainly different pictures for similar (the
// icons of one theme above all, which share their outline), so a pair it
// passes is confirmed by the pictures themselves: their lumas over white on
// 64 × 64 cells. One may be a crop of the other, by up to about a tenth of
// each side, which is searched for. Aligned, the two must correlate closely
// and, once brightness and contrast are matched, no block of 1/64 of the
// picture may differ by more than a few levels (or a fraction of the
// picture's contrast, where that is more): a resized, re-encoded, slightly
// cropped or colour-shifted copy passes, while another picture of the same
// outline differs where its emblem or glyph differs.
//
// A picture of one flat colour has no structure for the bits to describe:
// every cell equals the mean, so every bit would be set, whatever the colour.
// Flat pictures are therefore compared by their mean colour, and are never
// similar to a picture with structure.
struct ImageFingerprint {
    static constexpr int kSide = 8;
    static constexpr int kMaxDistance = 8;
    // Cells whose lumas lie within this many levels (of 255) make a flat picture.
    static constexpr int kFlatSpread = 2;
    // Flat pictures are similar when no colour channel of their means differs by more.
    static constexpr int kFlatColourDistance = 8;

    // The lumas the confirmation compares, shared by the copies of a fingerprint.
    struct Lumas;

    quint64 hash = 0;
    bool flat = false;
    QRgb meanColour = 0;  // the mean red, green and blue of the 64 cells
    std::shared_ptr<const Lumas> lumas;
    QSize dimensions;  // the picture's width and height as stored, before any scaling
    // The data ended before the picture did (a JPEG cut short decodes to its
    // end, the rest filled in): what was decoded is not the whole picture.
    bool damaged = false;

    qint64 pixels() const { return qint64(dimensions.width()) * dimensions.height(); }

    // Both flat and of about one colour, or both with structure, their hashes
    // at most kMaxDistance bits apart and the pictures alike (looksAlike).
    bool isSimilar(const ImageFingerprint& other) const;
    // The number of bits in which the two hashes differ.
    int distance(const ImageFingerprint& other) const;
    // The confirmation alone: whether one picture is the other, resized,
    // re-encoded, cropped a little or with its colours shifted.
    bool looksAlike(const ImageFingerprint& other) const;

    // Of a decoded picture; nothing for a null picture or one that cannot be scaled.
    static std::optional<ImageFingerprint> ofImage(const QImage& image);
    // Of an encoded picture in any format the image plugins read (JPEG, PNG,
    // WebP...); nothing when it does not decode (a PNG cut short does not).
    static std::optional<ImageFingerprint> ofData(const QByteArray& data);
    // Of the regular file at path, read once without following a link;
    // nothing when it cannot be read, is larger than maxBytes or is no picture.
    static std::optional<ImageFingerprint> ofFile(const QString& path, qint64 maxBytes);
    // Of many files, decoded at once on free threads of the global thread
    // pool and on the calling thread (which never waits for a busy pool); one
    // result per path, in order. A stop request leaves the files not yet
    // begun without a result.
    static std::vector<std::optional<ImageFingerprint>> ofFiles(const QStringList& paths, qint64 maxBytes,
                                                                 const std::stop_token& stop = {});
    // Which pairs of the fingerprints are similar, all at once on the free
    // threads: entry i × size + j tells for i < j. A stop request leaves the
    // pairs not yet begun unsimilar.
    static std::vector<bool> similarPairs(const std::vector<ImageFingerprint>& prints,
                                          const std::stop_token& stop = {});
};

}  // namespace tarnwick
