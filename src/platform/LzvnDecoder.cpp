#include "platform/LzvnDecoder.h"

#include "platform/LzCopy.h"

#include <array>
#include <cstring>

namespace tarnwick {

namespace {

// What each opcode byte does. Matches carry up to 3 literals before them.
enum class Op : uint8_t {
    SmallDistance,   // LLMMMDDD DDDDDDDD: L 0-3, M 3-10, D < 1536
    MediumDistance,  // 101LLMMM DDDDDDMM DDDDDDDD: L 0-3, M 3-34, D < 16384
    LargeDistance,   // LLMMM111 DDDDDDDD DDDDDDDD: L 0-3, M 3-10, D < 65536
    PreviousDistance,  // LLMMM110: L 1-3, M 3-10, previous D
    SmallLiteral,    // 1110LLLL: 1-15 literals
    LargeLiteral,    // 11100000 LLLLLLLL: 16-271 literals
    SmallMatch,      // 1111MMMM: M 1-15, previous D
    LargeMatch,      // 11110000 MMMMMMMM: M 16-271, previous D
    EndOfStream,     // 00000110, followed by seven bytes of padding
    Nop,
    Undefined,
};

constexpr Op kindOf(unsigned op) {
    if (op == 0x06) return Op::EndOfStream;
    if (op == 0x0e || op == 0x16) return Op::Nop;
    if (op >= 0x70 && op < 0x80) return Op::Undefined;
    if (op >= 0xa0 && op < 0xc0) return Op::MediumDistance;
    if (op == 0xe0) return Op::LargeLiteral;
    if (op > 0xe0 && op < 0xf0) return Op::SmallLiteral;
    if (op == 0xf0) return Op::LargeMatch;
    if (op > 0xf0) return Op::SmallMatch;
    if ((op & 7) == 6) return op < 0x40 ? Op::Undefined : Op::PreviousDistance;
    if ((op & 7) == 7) return Op::LargeDistance;
    return Op::SmallDistance;
}

constexpr std::array<Op, 256> makeKinds() {
    std::array<Op, 256> kinds{};
    for (unsigned i = 0; i < 256; ++i) kinds[i] = kindOf(i);
    return kinds;
}

constexpr std::array<Op, 256> kKinds = makeKinds();

}  // namespace

bool LzvnDecoder::decode(const uint8_t* payload, size_t payloadBytes, uint8_t* output, size_t start,
                         size_t rawBytes) {
    const uint8_t* src = payload;
    const uint8_t* const srcEnd = payload + payloadBytes;
    uint8_t* dst = output + start;
    uint8_t* const dstEnd = dst + rawBytes;
    size_t distance = 0;  // none yet

    for (;;) {
        const size_t left = size_t(srcEnd - src);
        if (left == 0) return false;  // ran out before the end opcode
        const unsigned op = src[0];
        size_t opBytes = 1;
        size_t literals = 0;
        size_t match = 0;
        switch (kKinds[op]) {
        case Op::SmallDistance:
            if (left < 2) return false;
            opBytes = 2;
            literals = op >> 6;
            match = ((op >> 3) & 7) + 3;
            distance = (size_t(op & 7) << 8) | src[1];
            break;
        case Op::MediumDistance: {
            if (left < 3) return false;
            opBytes = 3;
            const unsigned word = unsigned(src[1]) | unsigned(src[2]) << 8;
            literals = (op >> 3) & 3;
            match = (((op & 7) << 2) | (word & 3)) + 3;
            distance = word >> 2;
            break;
        }
        case Op::LargeDistance:
            if (left < 3) return false;
            opBytes = 3;
            literals = op >> 6;
            match = ((op >> 3) & 7) + 3;
            distance = size_t(src[1]) | size_t(src[2]) << 8;
            break;
        case Op::PreviousDistance:
            literals = op >> 6;
            match = ((op >> 3) & 7) + 3;
            break;
        case Op::SmallLiteral:
            literals = op & 15;
            break;
        case Op::LargeLiteral:
            if (left < 2) return false;
            opBytes = 2;
            literals = size_t(src[1]) + 16;
            break;
        case Op::SmallMatch:
            match = op & 15;
            break;
        case Op::LargeMatch:
            if (left < 2) return false;
            opBytes = 2;
            match = size_t(src[1]) + 16;
            break;
        case Op::EndOfStream:
            return dst == dstEnd;
        case Op::Nop:
            ++src;
            continue;
        case Op::Undefined:
            return false;
        }

        src += opBytes;
        if (literals > size_t(srcEnd - src)) return false;
        if (literals + match > size_t(dstEnd - dst)) return false;
        std::memcpy(dst, src, literals);
        src += literals;
        dst += literals;
        if (match == 0) continue;
        if (distance == 0 || distance > size_t(dst - output)) return false;
        if (size_t(dstEnd - dst) >= match + LzCopy::kSlack)
            LzCopy::copyMatchFast(dst, distance, match);
        else
            LzCopy::copyMatchExact(dst, distance, match);
        dst += match;
    }
}

}  // namespace tarnwick
