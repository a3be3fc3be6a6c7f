#pragma once

#include "support/Utf8Text.h"

#include <QLatin1StringView>
#include <QString>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarnwick {

// The token level of the scan cache's reader (CachedScanJsonReader): a cursor
// over the bytes of a JSON document that checks and steps over whitespace,
// punctuation, strings, numbers and whole values by the JSON grammar, and
// decodes strings as strict UTF-8. A lone surrogate escape is refused, except
// \udc80…\udcff, a byte of a file name that is not UTF-8 (see PathCodec),
// which a decoded text keeps as itself. Every step answers false on anything
// malformed; the cursor is then nowhere in particular.
class CachedScanJsonCursor {
public:
    CachedScanJsonCursor(const char* begin, const char* end) : p_(begin), end_(end) {}

    void skipWs() {
        // Compact documents have none: one test settles most calls.
        if (p_ < end_ && static_cast<unsigned char>(*p_) > ' ') return;
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t')) ++p_;
    }
    bool peek(char c) const { return p_ < end_ && *p_ == c; }
    bool consume(char c) {
        skipWs();
        if (p_ < end_ && *p_ == c) {
            ++p_;
            return true;
        }
        return false;
    }
    // What follows a member of an object, stepped over.
    enum class Separator { none, comma, close };
    Separator separator() {
        skipWs();
        if (peek(',')) {
            ++p_;
            return Separator::comma;
        }
        if (peek('}')) {
            ++p_;
            return Separator::close;
        }
        return Separator::none;
    }
    // Whether the bytes at the cursor are text, stepping over them if so.
    template <size_t N>
    bool literal(const char (&word)[N]) {
        constexpr size_t length = N - 1;
        if (static_cast<size_t>(end_ - p_) < length || std::memcmp(p_, word, length) != 0) return false;
        p_ += length;
        return true;
    }

    // Steps p_ over bytes that need no look of their own inside a string:
    // stops at a quote, a backslash, a control character, a byte of a
    // multi-byte sequence, or where fewer than a word's bytes are left.
    void skipPlainStringBytes() {
#if defined(__SSE2__)
        const __m128i quote = _mm_set1_epi8('"');
        const __m128i backslash = _mm_set1_epi8('\\');
        const __m128i space = _mm_set1_epi8(0x20);
        while (end_ - p_ >= 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p_));
            // A signed compare: bytes from 0x80 up count as below 0x20 too.
            const __m128i special =
                _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, quote), _mm_cmpeq_epi8(bytes, backslash)),
                             _mm_cmplt_epi8(bytes, space));
            const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(special));
            if (mask != 0) {
                p_ += std::countr_zero(mask);
                return;
            }
            p_ += 16;
        }
#else
        constexpr uint64_t kOnes = 0x0101010101010101ull;
        constexpr uint64_t kHighs = 0x8080808080808080ull;
        auto hasZeroByte = [](uint64_t v) { return (v - kOnes) & ~v & kHighs; };
        while (end_ - p_ >= 8) {
            uint64_t word;
            std::memcpy(&word, p_, 8);
            const uint64_t special = hasZeroByte(word ^ (kOnes * '"')) | hasZeroByte(word ^ (kOnes * '\\')) |
                                     ((word - kOnes * 0x20) & ~word & kHighs) | (word & kHighs);
            if (special != 0) return;
            p_ += 8;
        }
#endif
    }

    // The bytes between the quotes of a string token; escaped tells whether
    // they hold a backslash, ascii whether every byte is below 0x80.
    bool stringToken(std::string_view& content, bool& escaped, bool& ascii) {
        skipWs();
        if (p_ >= end_ || *p_ != '"') return false;
        const char* start = ++p_;
        escaped = false;
        ascii = true;
        for (;;) {
            skipPlainStringBytes();
            if (p_ >= end_) return false;
            const auto c = static_cast<unsigned char>(*p_);
            if (c == '"') {
                content = std::string_view(start, static_cast<size_t>(p_ - start));
                ++p_;
                return true;
            }
            if (c == '\\') {
                if (end_ - p_ < 2) return false;
                escaped = true;
                p_ += 2;
                continue;
            }
            if (c < 0x20) return false;
            if (c >= 0x80) ascii = false;
            ++p_;
        }
    }

    // Resolves the escapes of a string token into UTF-8 in scratch_. An
    // escaped file-name byte becomes U+FFFD: these texts are keys, kinds, ids
    // and values that are only checked, where no such byte can match.
    bool unescape(std::string_view content);

    // A string token's content as UTF-16: strict UTF-8, escapes resolved,
    // escaped file-name bytes kept as their lone surrogates.
    bool decodeText(std::string_view content, QString& out);

    // A string's text as UTF-8, valid and with escapes resolved (in scratch_ when escaped).
    bool utf8String(std::string_view& text) {
        bool escaped = false;
        bool ascii = true;
        std::string_view content;
        if (!stringToken(content, escaped, ascii)) return false;
        if (escaped) {
            if (!unescape(content)) return false;
            text = scratch_;
        } else {
            text = content;
        }
        return ascii && !escaped ? true : Utf8Text::isValid(text);
    }

    // A string as text; when it equals same, it shares same's storage (a
    // small-files node or group carries its folder's path).
    bool stringValue(QString& out, const QString* same = nullptr) {
        bool escaped = false;
        bool ascii = true;
        std::string_view content;
        if (!stringToken(content, escaped, ascii)) return false;
        if (!escaped && ascii) {
            const QLatin1StringView text(content.data(), static_cast<qsizetype>(content.size()));
            if (same && same->size() == text.size() && *same == text) {
                out = *same;
            } else {
                out = QString(text);
            }
            return true;
        }
        if (!decodeText(content, out)) return false;
        if (same && *same == out) out = *same;
        return true;
    }

    // The key of an object member and its colon.
    bool memberKey(std::string_view& key) {
        if (!utf8String(key)) return false;
        if (key.data() == scratch_.data()) {
            keyScratch_.assign(key);
            key = keyScratch_;
        }
        return consume(':');
    }

    // A number token by the JSON grammar; integral tells whether it has no fraction or exponent.
    bool numberToken(std::string_view& token, bool& integral);
    bool numberValue(double& value);

    // An integer in 64 bits; a number written with a fraction or exponent
    // counts when its value is a whole number in range.
    bool integerValue(qint64& value) {
        skipWs();
        // Up to 18 plain digits, the common case, cannot overflow.
        const char* q = p_;
        quint64 digits = 0;
        while (q < end_ && q - p_ < 18 && static_cast<unsigned>(*q - '0') < 10) digits = digits * 10 + (*q++ - '0');
        if (q > p_ && (q == p_ + 1 || *p_ != '0') &&
            (q == end_ || (static_cast<unsigned>(*q - '0') >= 10 && *q != '.' && *q != 'e' && *q != 'E'))) {
            value = static_cast<qint64>(digits);
            p_ = q;
            return true;
        }
        std::string_view token;
        bool integral = false;
        if (!numberToken(token, integral)) return false;
        if (integral) {
            auto result = std::from_chars(token.data(), token.data() + token.size(), value);
            return result.ec == std::errc() && result.ptr == token.data() + token.size();
        }
        double number = 0;
        auto result = std::from_chars(token.data(), token.data() + token.size(), number);
        if (result.ec != std::errc() || !std::isfinite(number) || std::floor(number) != number ||
            number < -9223372036854775808.0 || number >= 9223372036854775808.0) {
            return false;
        }
        value = static_cast<qint64>(number);
        return true;
    }

    bool scalar();

    // Checks and steps over one value of any kind, nesting at most maxDepth;
    // with objects, also counts the objects in it, failing past maxObjects.
    bool skipValue(int maxDepth, qint64* objects = nullptr, qint64 maxObjects = 0);

protected:
    const char* p_;
    const char* end_;

private:
    std::string scratch_;
    std::string keyScratch_;
    std::vector<char16_t> units_;
};

}  // namespace tarnwick
