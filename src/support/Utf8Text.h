#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarnwick {

// Strict UTF-8 on raw bytes, for readers that take text apart themselves:
// well-formed means no overlong form, no surrogate (U+D800…U+DFFF) and
// nothing above U+10FFFF, and a sequence cut short by the end is broken.
namespace Utf8Text {

// The length of the well-formed UTF-8 sequence at s[i] (whose first byte is at
// least 0x80) among n bytes, and its code point; 0 for an overlong form, a
// surrogate, a value over U+10FFFF or a broken or cut sequence.
inline size_t sequence(const unsigned char* s, size_t n, size_t i, char32_t& code) {
    const unsigned char c = s[i];
    size_t length;
    unsigned char low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        code = c & 0x0F;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        code = c & 0x07;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > n) return 0;
    if (s[i + 1] < low || s[i + 1] > high) return 0;
    code = code << 6 | (s[i + 1] & 0x3F);
    for (size_t k = 2; k < length; ++k) {
        if (s[i + k] < 0x80 || s[i + k] > 0xBF) return 0;
        code = code << 6 | (s[i + k] & 0x3F);
    }
    return length;
}

// Whether bytes are well-formed UTF-8.
bool isValid(std::string_view text);

// Appends a code point (at most U+10FFFF) as UTF-8; a surrogate is written
// as its three bytes, so callers pass only scalar values.
void append(std::string& out, char32_t code);

}  // namespace Utf8Text

}  // namespace tarnwick
