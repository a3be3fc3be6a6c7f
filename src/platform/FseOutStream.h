#pragma once

#include "platform/LzfseFormat.h"

#include <cstddef>
#include <cstdint>

namespace tarnwick {

// Writes an FSE bit stream forwards, to be read back by FseInStream from its
// end. The caller guarantees 8 writable bytes past every flush position.
class FseOutStream {
public:
    explicit FseOutStream(uint8_t* out) : start_(out), pos_(out) {}

    // Appends the n low bits of `bits` (the rest of `bits` must be zero). At
    // most 56 bits may be pushed between flushes.
    void push(int n, uint64_t bits) {
        accum_ |= bits << count_;
        count_ += n;
    }

    // Writes out the whole bytes collected so far.
    void flush() {
        LzfseFormat::store64(pos_, accum_);
        const int bytes = count_ >> 3;
        pos_ += bytes;
        accum_ = bytes == 8 ? 0 : accum_ >> (bytes * 8);
        count_ &= 7;
    }

    // Writes the last, partial byte. Returns how many high bits of the
    // stream's last byte are padding, as the negative count the block header
    // records (-7..0).
    int finish() {
        flush();
        int finalBits = 0;
        if (count_ > 0) {
            *pos_++ = uint8_t(accum_);
            finalBits = count_ - 8;
        }
        accum_ = 0;
        count_ = 0;
        return finalBits;
    }

    size_t size() const { return size_t(pos_ - start_); }

private:
    uint8_t* start_;
    uint8_t* pos_;
    uint64_t accum_ = 0;
    int count_ = 0;
};

}  // namespace tarnwick
