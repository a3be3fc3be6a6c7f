#include "platform/LzvnEncoder.h"

#include "platform/LzfseFormat.h"

#include <algorithm>

namespace tarnwick {

using LzfseFormat::load32;

namespace {

constexpr int kHashBits = 12;
constexpr int kChainDepth = 24;
constexpr size_t kMaxDistance = 65535;
constexpr size_t kMinMatch = 3;

uint32_t hashOf(uint32_t fourBytes) { return (fourBytes * 2654435761u) >> (32 - kHashBits); }

// The longest match a one-byte-to-three-byte opcode can carry along with
// `literals` (0-3) literals; longer matches continue with match opcodes.
size_t firstMatchLimit(size_t literals) { return literals == 0 ? 10 : literals == 1 ? 8 : 6; }

}  // namespace

std::vector<uint8_t> LzvnEncoder::encode(const uint8_t* data, size_t size) {
    LzvnEncoder encoder(data, size);
    encoder.run();
    return std::move(encoder.out_);
}

LzvnEncoder::LzvnEncoder(const uint8_t* data, size_t size)
    : data_(data), size_(size), head_(size_t(1) << kHashBits, -1), chain_(size, -1) {
    out_.reserve(size + size / 8 + 16);
}

LzvnEncoder::Match LzvnEncoder::find(size_t pos) const {
    Match best;
    const size_t limit = size_ - pos;
    auto lengthAt = [&](size_t ref) {
        size_t n = 0;
        while (n < limit && data_[ref + n] == data_[pos + n]) ++n;
        return n;
    };
    // The previous distance is the cheapest to code; try it first.
    if (previousDistance_ != 0 && previousDistance_ <= pos) {
        const size_t n = lengthAt(pos - previousDistance_);
        if (n >= kMinMatch) best = {n, previousDistance_};
    }
    const uint32_t x = load32(data_ + pos);
    int32_t candidate = head_[hashOf(x)];
    for (int depth = 0; candidate >= 0 && depth < kChainDepth; ++depth) {
        const size_t distance = pos - size_t(candidate);
        if (distance > kMaxDistance) break;
        if (load32(data_ + candidate) == x) {
            const size_t n = lengthAt(size_t(candidate));
            if (n > best.length) best = {n, distance};
        }
        candidate = chain_[size_t(candidate)];
    }
    return best;
}

void LzvnEncoder::insert(size_t pos) {
    const uint32_t h = hashOf(load32(data_ + pos));
    chain_[pos] = head_[h];
    head_[h] = int32_t(pos);
}

bool LzvnEncoder::worthIt(const Match& m) const {
    if (m.length >= 4) return true;
    // Three bytes only pay when the match codes in at most two bytes.
    return m.length == kMinMatch && (m.distance == previousDistance_ || m.distance < 1536);
}

void LzvnEncoder::run() {
    size_t literalStart = 0;
    size_t pos = 0;
    while (pos + 4 <= size_) {
        Match m = find(pos);
        insert(pos);
        if (!worthIt(m)) {
            ++pos;
            continue;
        }
        // Defer by one byte while that finds a longer match.
        while (pos + 5 <= size_) {
            const Match next = find(pos + 1);
            // A match at the previous distance codes about a byte shorter.
            const size_t nextWorth = next.length + (next.distance == previousDistance_ ? 1 : 0);
            if (nextWorth <= m.length + (m.distance == previousDistance_ ? 1 : 0)) break;
            insert(pos + 1);
            ++pos;
            m = next;
        }
        emit(literalStart, pos - literalStart, m);
        const size_t end = pos + m.length;
        for (size_t p = pos + 1; p < end && p + 4 <= size_; ++p) insert(p);
        pos = end;
        literalStart = end;
    }
    emitLiteralRun(data_ + literalStart, size_ - literalStart);
    // End-of-stream opcode with its seven bytes of padding.
    out_.push_back(0x06);
    out_.insert(out_.end(), 7, uint8_t(0));
}

void LzvnEncoder::emitLiteralRun(const uint8_t* src, size_t count) {
    while (count > 0) {
        const size_t n = std::min<size_t>(count, 271);
        if (n < 16) {
            out_.push_back(uint8_t(0xe0 | n));
        } else {
            out_.push_back(0xe0);
            out_.push_back(uint8_t(n - 16));
        }
        out_.insert(out_.end(), src, src + n);
        src += n;
        count -= n;
    }
}

void LzvnEncoder::emitMatchTail(size_t length) {
    while (length > 0) {
        const size_t n = std::min<size_t>(length, 271);
        if (n < 16) {
            out_.push_back(uint8_t(0xf0 | n));
        } else {
            out_.push_back(0xf0);
            out_.push_back(uint8_t(n - 16));
        }
        length -= n;
    }
}

void LzvnEncoder::emit(size_t literalStart, size_t literalCount, const Match& m) {
    // Up to three literals ride along with the match opcode; longer runs get
    // literal opcodes of their own.
    size_t carried = literalCount;
    if (literalCount > 3) {
        carried = literalCount >= 16 && literalCount <= 18 ? literalCount - 15 : 0;
        emitLiteralRun(data_ + literalStart, literalCount - carried);
    }
    const uint8_t* carriedBytes = data_ + literalStart + literalCount - carried;
    const size_t d = m.distance;
    size_t length = m.length;

    if (d == previousDistance_ && carried == 0) {
        emitMatchTail(length);
        return;
    }
    const unsigned l = unsigned(carried) << 6;
    if (d == previousDistance_) {
        const size_t first = std::min(length, firstMatchLimit(carried));
        out_.push_back(uint8_t(l | (first - 3) << 3 | 6));
        length -= first;
    } else if (d < 1536 && length <= firstMatchLimit(carried)) {
        out_.push_back(uint8_t(l | (length - 3) << 3 | (d >> 8)));
        out_.push_back(uint8_t(d));
        length = 0;
    } else if (d < 16384) {
        const size_t first = std::min<size_t>(length, 34);
        const unsigned m3 = unsigned(first - 3);
        const unsigned word = unsigned(d << 2) | (m3 & 3);
        out_.push_back(uint8_t(0xa0 | carried << 3 | m3 >> 2));
        out_.push_back(uint8_t(word));
        out_.push_back(uint8_t(word >> 8));
        length -= first;
    } else {
        const size_t first = std::min(length, firstMatchLimit(carried));
        out_.push_back(uint8_t(l | (first - 3) << 3 | 7));
        out_.push_back(uint8_t(d));
        out_.push_back(uint8_t(d >> 8));
        length -= first;
    }
    out_.insert(out_.end(), carriedBytes, carriedBytes + carried);
    previousDistance_ = d;
    emitMatchTail(length);
}

}  // namespace tarnwick
