#pragma once

#include "platform/LzfseFormat.h"

#include <cstdint>

namespace tarnwick {

// Reads an FSE bit stream backwards: the writer's last bits come out first.
// Every read stays inside [lowest, end); a stream that would need bytes below
// `lowest` makes init() or refill() fail instead.
class FseInStream {
public:
    // `end` is one past the stream's last byte; `finalBits` (-7..0) tells how
    // many high bits of that last byte are unused padding (0: none). Bytes
    // below the stream, down to `lowest`, may be loaded but are never decoded
    // from a well-formed stream.
    bool init(const uint8_t* lowest, const uint8_t* end, int finalBits) {
        lowest_ = lowest;
        if (finalBits < -7 || finalBits > 0) return false;
        if (finalBits != 0) {
            if (end - lowest < 8) return false;
            pos_ = end - 8;
            accum_ = LzfseFormat::load64(pos_);
            count_ = 64 + finalBits;
        } else {
            if (end - lowest < 7) return false;
            pos_ = end - 7;
            if (end - lowest >= 8) {
                accum_ = LzfseFormat::load64(pos_ - 1) >> 8;
            } else {  // exactly seven bytes: load them one by one
                accum_ = 0;
                for (int i = 6; i >= 0; --i) accum_ = (accum_ << 8) | pos_[i];
            }
            count_ = 56;
        }
        // The padding bits above the stream must be zero.
        return (accum_ >> count_) == 0;
    }

    // Tops the accumulator up to at least 56 bits.
    bool refill() {
        const int bits = (63 - count_) & ~7;
        if (bits == 0) return true;
        if (pos_ - lowest_ < (bits >> 3)) return false;
        const uint8_t* next = pos_ - (bits >> 3);
        pos_ = next;
        const uint64_t incoming = LzfseFormat::load64(next);
        accum_ = (accum_ << bits) | (incoming & ((uint64_t(1) << bits) - 1));
        count_ += bits;
        return true;
    }

    // Takes the next n bits (n <= bits available; callers refill first and
    // never ask for more than 56 bits between refills).
    uint64_t pull(int n) {
        count_ -= n;
        const uint64_t result = accum_ >> count_;
        accum_ &= (uint64_t(1) << count_) - 1;
        return result;
    }

    int available() const { return count_; }

private:
    const uint8_t* lowest_ = nullptr;
    const uint8_t* pos_ = nullptr;
    uint64_t accum_ = 0;
    int count_ = 0;
};

}  // namespace tarnwick
