#include "platform/LzfseEncoder.h"

#include "platform/LzfseBlockWriter.h"
#include "platform/LzfseFormat.h"

#include <algorithm>
#include <bit>

namespace tarnwick {

using namespace LzfseFormat;

namespace {

constexpr int kHashBits = 14;
constexpr uint32_t kMinMatch = 4;
constexpr uint32_t kGoodMatch = 40;  // long enough to take without looking further
constexpr int32_t kEmpty = -(1 << 30);
// Inputs are matched in independent pieces of at most this size, so that
// positions fit 32 bits.
constexpr size_t kPieceBytes = size_t(1) << 30;
// Bytes at the end of a piece that are never a match start.
constexpr uint32_t kTailBytes = 8;

uint32_t hashOf(uint32_t fourBytes) { return (fourBytes * 2654435761u) >> (32 - kHashBits); }

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

void LzfseEncoder::encode(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
    LzfseBlockWriter writer(out, plainTables_);
    table_.resize(size_t(1) << kHashBits);
    for (size_t offset = 0; offset < size; offset += kPieceBytes)
        parse(data + offset, uint32_t(std::min(kPieceBytes, size - offset)), writer);
    writer.finish();
}

void LzfseEncoder::parse(const uint8_t* src, uint32_t size, LzfseBlockWriter& writer) {
    src_ = src;
    size_ = size;
    lastDistance_ = 0;
    for (Bucket& b : table_) {
        std::fill(std::begin(b.pos), std::end(b.pos), kEmpty);
        std::fill(std::begin(b.value), std::end(b.value), 0u);
    }

    uint32_t literalStart = 0;
    if (size > kTailBytes) {
        const uint32_t limit = size - kTailBytes;
        uint32_t pos = 0;
        while (pos < limit) {
            Match m = find(pos);
            if (m.length == 0) {
                ++pos;
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
            const uint32_t end = m.pos + m.length;
            for (uint32_t p = inserted + 1; p < end && p < limit; ++p) insert(p);
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
    for (int k = kBucketWidth - 1; k > 0; --k) {
        b.pos[k] = b.pos[k - 1];
        b.value[k] = b.value[k - 1];
    }
    b.pos[0] = int32_t(pos);
    b.value[0] = x;
    return best;
}

void LzfseEncoder::insert(uint32_t pos) {
    const uint32_t x = load32(src_ + pos);
    Bucket& b = table_[hashOf(x)];
    for (int k = kBucketWidth - 1; k > 0; --k) {
        b.pos[k] = b.pos[k - 1];
        b.value[k] = b.value[k - 1];
    }
    b.pos[0] = int32_t(pos);
    b.value[0] = x;
}

void LzfseEncoder::extendBackwards(Match& m, uint32_t floor) const {
    while (m.pos > floor && m.ref > 0 && src_[m.pos - 1] == src_[m.ref - 1]) {
        --m.pos;
        --m.ref;
        ++m.length;
    }
}

}  // namespace tarnwick
