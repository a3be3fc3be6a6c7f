#include "platform/LzfseBlockHeader.h"

namespace tarnwick {

using namespace LzfseFormat;

namespace {

uint64_t field(uint64_t packed, int offset, int bits) { return (packed >> offset) & ((uint64_t(1) << bits) - 1); }

uint16_t load16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

void append16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void append32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

void append64(std::vector<uint8_t>& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

// Variable-length code of one frequency in a packed table: 2 to 14 bits,
// read from the low end of `bits`. Returns the value and its code length.
int readFrequency(uint32_t bits, int& length) {
    static constexpr int8_t kLengths[32] = {2, 3, 2, 5, 2, 3, 2, 8, 2, 3, 2, 5, 2, 3, 2, 14,
                                            2, 3, 2, 5, 2, 3, 2, 8, 2, 3, 2, 5, 2, 3, 2, 14};
    static constexpr int8_t kValues[32] = {0, 2, 1, 4, 0, 3, 1, -1, 0, 2, 1, 5, 0, 3, 1, -1,
                                           0, 2, 1, 6, 0, 3, 1, -1, 0, 2, 1, 7, 0, 3, 1, -1};
    const uint32_t low = bits & 31;
    length = kLengths[low];
    if (length == 8) return 8 + int((bits >> 4) & 0xf);
    if (length == 14) return 24 + int((bits >> 4) & 0x3ff);
    return kValues[low];
}

// The code of one frequency (at most 1047); returns its length.
int writeFrequency(int value, uint32_t& code) {
    static constexpr uint8_t kSmallCodes[8] = {0, 2, 1, 5, 3, 11, 19, 27};
    static constexpr uint8_t kSmallLengths[8] = {2, 2, 3, 3, 5, 5, 5, 5};
    if (value < 8) {
        code = kSmallCodes[value];
        return kSmallLengths[value];
    }
    if (value < 24) {
        code = 7u | uint32_t(value - 8) << 4;
        return 8;
    }
    code = 15u | uint32_t(value - 24) << 4;
    return 14;
}

}  // namespace

bool LzfseBlockHeader::rangesValid() const {
    for (uint16_t s : literalState)
        if (s >= kLiteralStates) return false;
    if (lState >= kLStates || mState >= kMStates || dState >= kDStates) return false;
    if (literalBits < -7 || literalBits > 0 || lmdBits < -7 || lmdBits > 0) return false;
    return true;
}

std::optional<LzfseBlockHeader> LzfseBlockHeader::readPlain(const uint8_t* data, size_t available) {
    if (available < kPlainBytes) return std::nullopt;
    LzfseBlockHeader h;
    h.rawBytes = load32(data + 4);
    const uint32_t payloadBytes = load32(data + 8);
    h.literalCount = load32(data + 12);
    h.matchCount = load32(data + 16);
    h.literalPayloadBytes = load32(data + 20);
    h.lmdPayloadBytes = load32(data + 24);
    h.literalBits = int32_t(load32(data + 28));
    for (int i = 0; i < 4; ++i) h.literalState[i] = load16(data + 32 + 2 * i);
    h.lmdBits = int32_t(load32(data + 40));
    h.lState = load16(data + 44);
    h.mState = load16(data + 46);
    h.dState = load16(data + 48);
    for (int i = 0; i < kFrequencyCount; ++i) h.frequencies[i] = load16(data + 50 + 2 * i);
    h.headerBytes = uint32_t(kPlainBytes);
    if (uint64_t(h.literalPayloadBytes) + h.lmdPayloadBytes != payloadBytes) return std::nullopt;
    if (!h.rangesValid()) return std::nullopt;
    return h;
}

std::optional<LzfseBlockHeader> LzfseBlockHeader::readPacked(const uint8_t* data, size_t available) {
    if (available < kPackedFixedBytes) return std::nullopt;
    LzfseBlockHeader h;
    h.rawBytes = load32(data + 4);
    const uint64_t v0 = load64(data + 8);
    const uint64_t v1 = load64(data + 16);
    const uint64_t v2 = load64(data + 24);
    h.literalCount = uint32_t(field(v0, 0, 20));
    h.literalPayloadBytes = uint32_t(field(v0, 20, 20));
    h.matchCount = uint32_t(field(v0, 40, 20));
    h.literalBits = int32_t(field(v0, 60, 3)) - 7;
    for (int i = 0; i < 4; ++i) h.literalState[i] = uint16_t(field(v1, 10 * i, 10));
    h.lmdPayloadBytes = uint32_t(field(v1, 40, 20));
    h.lmdBits = int32_t(field(v1, 60, 3)) - 7;
    const uint64_t headerBytes = field(v2, 0, 32);
    h.lState = uint16_t(field(v2, 32, 10));
    h.mState = uint16_t(field(v2, 42, 10));
    h.dState = uint16_t(field(v2, 52, 10));
    if (headerBytes < kPackedFixedBytes || headerBytes > available) return std::nullopt;
    h.headerBytes = uint32_t(headerBytes);
    if (!h.rangesValid()) return std::nullopt;

    // The frequency tables, when present, fill the rest of the header exactly.
    const uint8_t* src = data + kPackedFixedBytes;
    const uint8_t* end = data + headerBytes;
    if (src == end) return h;  // no tables: every frequency is zero
    uint32_t accum = 0;
    int accumBits = 0;
    for (int i = 0; i < kFrequencyCount; ++i) {
        while (src < end && accumBits + 8 <= 32) {
            accum |= uint32_t(*src++) << accumBits;
            accumBits += 8;
        }
        int length = 0;
        const int value = readFrequency(accum, length);
        if (length > accumBits) return std::nullopt;
        h.frequencies[i] = uint16_t(value);
        accum >>= length;
        accumBits -= length;
    }
    if (accumBits >= 8 || src != end) return std::nullopt;
    return h;
}

std::vector<uint8_t> LzfseBlockHeader::packed() {
    std::vector<uint8_t> tables;
    uint32_t accum = 0;
    int accumBits = 0;
    for (int i = 0; i < kFrequencyCount; ++i) {
        uint32_t code = 0;
        const int length = writeFrequency(frequencies[i], code);
        accum |= code << accumBits;
        accumBits += length;
        while (accumBits >= 8) {
            tables.push_back(uint8_t(accum));
            accum >>= 8;
            accumBits -= 8;
        }
    }
    if (accumBits > 0) tables.push_back(uint8_t(accum));
    headerBytes = uint32_t(kPackedFixedBytes + tables.size());

    const uint64_t v0 = uint64_t(literalCount) | uint64_t(literalPayloadBytes) << 20 | uint64_t(matchCount) << 40 |
                        uint64_t(literalBits + 7) << 60;
    const uint64_t v1 = uint64_t(literalState[0]) | uint64_t(literalState[1]) << 10 |
                        uint64_t(literalState[2]) << 20 | uint64_t(literalState[3]) << 30 |
                        uint64_t(lmdPayloadBytes) << 40 | uint64_t(lmdBits + 7) << 60;
    const uint64_t v2 = uint64_t(headerBytes) | uint64_t(lState) << 32 | uint64_t(mState) << 42 |
                        uint64_t(dState) << 52;
    std::vector<uint8_t> out;
    out.reserve(headerBytes);
    append32(out, kPackedTablesMagic);
    append32(out, rawBytes);
    append64(out, v0);
    append64(out, v1);
    append64(out, v2);
    out.insert(out.end(), tables.begin(), tables.end());
    return out;
}

std::vector<uint8_t> LzfseBlockHeader::plain() {
    std::vector<uint8_t> out;
    out.reserve(kPlainBytes);
    append32(out, kPlainTablesMagic);
    append32(out, rawBytes);
    append32(out, literalPayloadBytes + lmdPayloadBytes);
    append32(out, literalCount);
    append32(out, matchCount);
    append32(out, literalPayloadBytes);
    append32(out, lmdPayloadBytes);
    append32(out, uint32_t(literalBits));
    for (uint16_t s : literalState) append16(out, s);
    append32(out, uint32_t(lmdBits));
    append16(out, lState);
    append16(out, mState);
    append16(out, dState);
    for (uint16_t f : frequencies) append16(out, f);
    out.resize(kPlainBytes, 0);  // the fixed layout rounds up to a 4-byte boundary
    headerBytes = uint32_t(kPlainBytes);
    return out;
}

}  // namespace tarnwick
