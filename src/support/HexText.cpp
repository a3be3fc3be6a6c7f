#include "support/HexText.h"

#include <QtEndian>

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarnwick::HexText {

namespace {

// Whether 16 characters are all hexadecimal digits.
bool allHexDigits(const char* text) {
#if defined(__SSE2__)
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
    const __m128i lower = _mm_or_si128(c, _mm_set1_epi8(0x20));
    const __m128i decimal =
        _mm_and_si128(_mm_cmpgt_epi8(c, _mm_set1_epi8('0' - 1)), _mm_cmplt_epi8(c, _mm_set1_epi8('9' + 1)));
    const __m128i letter =
        _mm_and_si128(_mm_cmpgt_epi8(lower, _mm_set1_epi8('a' - 1)), _mm_cmplt_epi8(lower, _mm_set1_epi8('f' + 1)));
    return _mm_movemask_epi8(_mm_or_si128(decimal, letter)) == 0xFFFF;
#else
    for (int i = 0; i < 16; ++i) {
        if (value(text[i]) < 0) return false;
    }
    return true;
#endif
}

// The four bytes that eight hexadecimal digits (already checked) spell, in
// their order in memory.
quint32 hexBytes(const char* text) {
    constexpr quint64 kLowNibbles = 0x0F0F0F0F0F0F0F0Full;
    constexpr quint64 kOnes = 0x0101010101010101ull;
    constexpr quint64 kLowBytes = 0x00FF00FF00FF00FFull;
    quint64 v;
    std::memcpy(&v, text, 8);
    // Each digit's value: its low four bits, plus 9 for a letter (bit 6 set).
    v = (v & kLowNibbles) + ((v >> 6) & kOnes) * 9;
    // Pairs of digits into bytes, then the bytes side by side.
    v = ((v & kLowBytes) << 4) | ((v >> 8) & kLowBytes);
    v = (v | (v >> 8)) & 0x0000FFFF0000FFFFull;
    return static_cast<quint32>(v | (v >> 16));
}

}  // namespace

char* writeUuid(char* at, const QUuid& id) {
    auto hex = [&at](quint64 value, int digits) {
        for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) *at++ = kUpperDigits[(value >> shift) & 0xF];
    };
    hex(id.data1, 8);
    *at++ = '-';
    hex(id.data2, 4);
    *at++ = '-';
    hex(id.data3, 4);
    *at++ = '-';
    hex(id.data4[0], 2);
    hex(id.data4[1], 2);
    *at++ = '-';
    for (int i = 2; i < 8; ++i) hex(id.data4[i], 2);
    return at;
}

bool uuidFromCanonical(const char* text, QUuid& id) {
    if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') return false;
    char digits[32];
    std::memcpy(digits, text, 8);
    std::memcpy(digits + 8, text + 9, 4);
    std::memcpy(digits + 12, text + 14, 4);
    std::memcpy(digits + 16, text + 19, 4);
    std::memcpy(digits + 20, text + 24, 12);
    if (!allHexDigits(digits) || !allHexDigits(digits + 16)) return false;
    const quint32 first = hexBytes(digits);
    const quint32 second = hexBytes(digits + 8);
    uchar last[8];
    const quint32 third = hexBytes(digits + 16);
    const quint32 fourth = hexBytes(digits + 24);
    std::memcpy(last, &third, 4);
    std::memcpy(last + 4, &fourth, 4);
    // The bytes stand in memory order; the first three fields are big-endian.
    id = QUuid(qFromBigEndian(first), qFromBigEndian(static_cast<quint16>(second)),
               qFromBigEndian(static_cast<quint16>(second >> 16)), last[0], last[1], last[2], last[3], last[4],
               last[5], last[6], last[7]);
    return true;
}

}  // namespace tarnwick::HexText
