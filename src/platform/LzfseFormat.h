#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Constants and small helpers shared by the LZFSE stream reader and writer.
//
// A stream is a sequence of blocks, each opening with a four-byte magic, and
// is closed by the end-of-stream block. Compressed blocks code their literals
// and their (L, M, D) triplets -- L literals, then M bytes copied from D bytes
// back -- with finite state entropy (FSE) tables carried in the block header.
namespace tarnwick::LzfseFormat {

// Every multi-byte field of the format is little-endian; loads and stores
// below rely on the host being so too.
static_assert(std::endian::native == std::endian::little);

constexpr uint32_t magicValue(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}

constexpr uint32_t kEndOfStreamMagic = magicValue('b', 'v', 'x', '$');
constexpr uint32_t kRawMagic = magicValue('b', 'v', 'x', '-');
constexpr uint32_t kPlainTablesMagic = magicValue('b', 'v', 'x', '1');
constexpr uint32_t kPackedTablesMagic = magicValue('b', 'v', 'x', '2');
constexpr uint32_t kLzvnMagic = magicValue('b', 'v', 'x', 'n');

// Symbol and state counts of the four FSE alphabets.
constexpr int kLiteralSymbols = 256;
constexpr int kLSymbols = 20;
constexpr int kMSymbols = 20;
constexpr int kDSymbols = 64;
constexpr int kLiteralStates = 1024;
constexpr int kLStates = 64;
constexpr int kMStates = 64;
constexpr int kDStates = 256;
constexpr int kFrequencyCount = kLSymbols + kMSymbols + kDSymbols + kLiteralSymbols;

// Largest values a single triplet can carry.
constexpr uint32_t kMaxLValue = 315;
constexpr uint32_t kMaxMValue = 2359;
constexpr uint32_t kMaxDValue = 262139;

// Block limits every writer keeps to (readers size their buffers by them).
constexpr uint32_t kMatchesPerBlock = 10000;
constexpr uint32_t kLiteralsPerBlock = 4 * kMatchesPerBlock;

// Stream-level choices of the writer.
constexpr size_t kRawThreshold = 8;      // below: one raw block
constexpr size_t kLzvnThreshold = 4096;  // below: one LZVN block (raw when not smaller)

// Extra bits and base value of every L, M and D symbol.
constexpr uint8_t kLExtraBits[kLSymbols] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 5, 8};
constexpr int32_t kLBaseValue[kLSymbols] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 20, 28, 60};
constexpr uint8_t kMExtraBits[kMSymbols] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 5, 8, 11};
constexpr int32_t kMBaseValue[kMSymbols] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 24, 56, 312};
constexpr uint8_t kDExtraBits[kDSymbols] = {
    0,  0,  0,  0,  1,  1,  1,  1,  2,  2,  2,  2,  3,  3,  3,  3,  4,  4,  4,  4,  5,  5,
    5,  5,  6,  6,  6,  6,  7,  7,  7,  7,  8,  8,  8,  8,  9,  9,  9,  9,  10, 10, 10, 10,
    11, 11, 11, 11, 12, 12, 12, 12, 13, 13, 13, 13, 14, 14, 14, 14, 15, 15, 15, 15};
constexpr int32_t kDBaseValue[kDSymbols] = {
    0,      1,      2,      3,     4,     6,     8,     10,    12,    16,    20,     24,     28,
    36,     44,     52,     60,    76,    92,    108,   124,   156,   188,   220,   252,    316,
    380,    444,    508,    636,   764,   892,   1020,  1276,  1532,  1788,  2044,  2556,   3068,
    3580,   4092,   5116,   6140,  7164,  8188,  10236, 12284, 14332, 16380, 20476, 24572, 28668,
    32764,  40956,  49148,  57340, 65532, 81916, 98300, 114684, 131068, 163836, 196604, 229372};

inline uint32_t load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline uint64_t load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

inline void store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

inline void store64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }

}  // namespace tarnwick::LzfseFormat
