#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Copy loops shared by the LZ decoders. The fast forms write whole 16-byte
// chunks and may run up to 15 bytes past the requested length, so callers
// use them only when that much room is left in the destination (and source).
namespace tarnwick::LzCopy {

// Bytes a fast copy may touch past its length.
constexpr size_t kSlack = 16;

inline void copyChunks(uint8_t* dst, const uint8_t* src, size_t length) {
    uint8_t* const end = dst + length;
    do {
        std::memcpy(dst, src, 16);
        dst += 16;
        src += 16;
    } while (dst < end);
}

// Copies `length` bytes from `distance` bytes back (the ranges may overlap:
// the copy repeats the last `distance` bytes). Needs kSlack writable bytes
// past dst + length.
inline void copyMatchFast(uint8_t* dst, size_t distance, size_t length) {
    const uint8_t* src = dst - distance;
    if (distance >= 16) {
        copyChunks(dst, src, length);
        return;
    }
    for (size_t i = 0; i < 16; ++i) dst[i] = src[i];
    if (length <= 16) return;
    // The copy is periodic with period `distance`; any multiple of it that is
    // at least 16 is an equally valid distance without overlap per chunk.
    const size_t step = distance * ((16 + distance - 1) / distance);
    copyChunks(dst + 16, dst + 16 - step, length - 16);
}

// Exact copies for the last bytes of a buffer.
inline void copyMatchExact(uint8_t* dst, size_t distance, size_t length) {
    const uint8_t* src = dst - distance;
    if (distance >= length) {
        std::memcpy(dst, src, length);
        return;
    }
    for (size_t i = 0; i < length; ++i) dst[i] = src[i];
}

}  // namespace tarnwick::LzCopy
