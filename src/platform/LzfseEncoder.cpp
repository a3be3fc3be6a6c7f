#include "platform/LzfseEncoder.h"

#include "platform/LzfseBlockWriter.h"
#include "platform/LzfseFormat.h"

#include <algorithm>
#include <bit>

namespace tarnwick {

using namespace LzfseFormat;

namespace {

constexpr int kMaxHashBits = 14;
constexpr uint32_t kMinMatch = 4;
constexpr uint32_t kGoodMatch = 40;  // long enough to take without looking further
constexpr int32_t kEmpty = -(1 << 30);
// Inputs are matched in independent pieces of at most this size, so that
// positions fit 32 bits.
constexpr size_t kPieceBytes = size_t(1) << 30;
// Bytes at the end of a piece that are never a match start.
constexpr uint32_t kTailBytes = 8;

// Length of the common prefix of a and b, not reading at or past `end`.
uint32_t commonLength(const uint8_t* a, const uint8_t* b, const uint8_t* end) {
    const uint8_t* const start = a;
    while (end - a >= 8) {
        const uint64_t x = load64(a) ^ load64(b);
        if (x != 0) return uint32_t(a - start) + uint32_t(std::countr_zero(x) >> 3);
        a += 8;
        b += 8;
    }
    while (a < end && *a == *b) {
        ++a;
        ++b;
    }
    return uint32_t(a - start);
}

}  // namespace

void LzfseEncoder::pushFront(Bucket& b, uint32_t pos, uint32_t value) {
    static_assert(kBucketWidth == 4);
    const Bucket old = b;
    b = Bucket{{int32_t(pos), old.pos[0], old.pos[1], old.pos[2]}, {value, old.value[0], old.value[1], old.value[2]}};
}

void LzfseEncoder::encode(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
    LzfseBlockWriter writer(out, plainTables_);
    // A smaller table for smaller inputs: it is cleared for every piece.
    hashBits_ = std::clamp(int(std::bit_width(size)) - 2, 8, kMaxHashBits);
    for (size_t offset = 0; offset < size; offset += kPieceBytes)
        parse(data + offset, uint32_t(std::min(kPieceBytes, size - offset)), writer);
    writer.finish();
}

void LzfseEncoder::parse(const uint8_t* src, uint32_t size, LzfseBlockWriter& writer) {
    src_ = src;
    size_ = size;
    lastDistance_ = 0;
    table_.assign(size_t(1) << hashBits_, Bucket{{kEmpty, kEmpty, kEmpty, kEmpty}, {0, 0, 0, 0}});

    uint32_t literalStart = 0;
    if (size > kTailBytes) {
        const uint32_t limit = size - kTailBytes;
        uint32_t pos = 0;
        while (pos < limit) {
            Match m = find(pos);
            if (m.length == 0) {
                // Stride faster through long stretches without matches, but
                // not so fast that a distant repeat goes unnoticed.
                pos += 1 + std::min<uint32_t>((pos - literalStart) >> 7, 31);
                continue;
            }
            extendBackwards(m, literalStart);
            // Defer the match while the next position starts a longer one.
            uint32_t inserted = pos;
            while (m.length < kGoodMatch && pos + 1 < limit) {
                Match next = find(pos + 1);
                inserted = pos + 1;
                if (next.length == 0) break;
                extendBackwards(next, literalStart);
                if (next.length <= m.length) break;
                m = next;
                ++pos;
            }
            writer.add(src + literalStart, m.pos - literalStart, m.length, m.pos - m.ref);
            lastDistance_ = m.pos - m.ref;
            // Remember the positions inside the match; of a long one only
            // its first and last few.
            const uint32_t end = m.pos + m.length;
            const uint32_t stop = std::min(end, limit);
            if (stop - inserted > 24) {
                for (uint32_t p = inserted + 1; p < inserted + 9; ++p) insert(p);
                for (uint32_t p = stop - 8; p < stop; ++p) insert(p);
            } else {
                for (uint32_t p = inserted + 1; p < stop; ++p) insert(p);
            }
            pos = end;
            literalStart = end;
        }
    }
    writer.add(src + literalStart, size - literalStart, 0, 0);
}

LzfseEncoder::Match LzfseEncoder::find(uint32_t pos) {
    const uint32_t x = load32(src_ + pos);
    Bucket& b = table_[hashOf(x)];
    const uint8_t* const end = src_ + size_;
    Match best;
    // The distance just used codes cheapest; prefer it on a tie.
    if (lastDistance_ != 0 && lastDistance_ <= pos && load32(src_ + pos - lastDistance_) == x) {
        best = {pos, pos - lastDistance_,
                kMinMatch + commonLength(src_ + pos + kMinMatch, src_ + pos - lastDistance_ + kMinMatch, end)};
    }
    for (int k = 0; k < kBucketWidth; ++k) {
        const int32_t distance = int32_t(pos) - b.pos[k];
        if (b.value[k] != x || distance <= 0 || uint32_t(distance) > kMaxDValue) continue;
        const uint32_t ref = uint32_t(b.pos[k]);
        const uint32_t length = kMinMatch + commonLength(src_ + pos + kMinMatch, src_ + ref + kMinMatch, end);
        if (length > best.length) best = {pos, ref, length};
    }
    pushFront(b, pos, x);
    return best;
}

void LzfseEncoder::insert(uint32_t pos) {
    const uint32_t x = load32(src_ + pos);
    pushFront(table_[hashOf(x)], pos, x);
}

void LzfseEncoder::extendBackwards(Match& m, uint32_t floor) const {
    while (m.pos > floor && m.ref > 0 && src_[m.pos - 1] == src_[m.ref - 1]) {
        --m.pos;
        --m.ref;
        ++m.length;
    }
}

}  // namespace tarnwick
