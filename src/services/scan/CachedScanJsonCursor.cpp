#include "services/scan/CachedScanJsonCursor.h"

#include "support/HexText.h"
#include "support/Utf8Text.h"

#include <charconv>
#include <cmath>

namespace tarnwick {

namespace {

// A lone low surrogate standing for a byte of a file name that is not UTF-8.
bool isEscapedByte(char32_t unit) {
    return unit >= 0xDC80 && unit <= 0xDCFF;
}

bool hex4(std::string_view text, size_t at, char32_t& code) {
    if (at + 4 > text.size()) return false;
    code = 0;
    for (size_t k = 0; k < 4; ++k) {
        const int v = HexText::value(text[at + k]);
        if (v < 0) return false;
        code = code << 4 | static_cast<char32_t>(v);
    }
    return true;
}

// The escape starting at content[i] (after its backslash): a code unit, or
// a pair of them for a surrogate pair; false for a malformed escape and a
// lone surrogate other than an escaped byte. i moves past the escape.
bool escape(std::string_view content, size_t& i, char32_t& code, char32_t& second) {
    second = 0;
    if (i >= content.size()) return false;
    switch (content[i++]) {
    case '"': code = '"'; return true;
    case '\\': code = '\\'; return true;
    case '/': code = '/'; return true;
    case 'b': code = '\b'; return true;
    case 'f': code = '\f'; return true;
    case 'n': code = '\n'; return true;
    case 'r': code = '\r'; return true;
    case 't': code = '\t'; return true;
    case 'u': break;
    default: return false;
    }
    if (!hex4(content, i, code)) return false;
    i += 4;
    if (code >= 0xD800 && code <= 0xDBFF) {
        if (i + 6 > content.size() || content[i] != '\\' || content[i + 1] != 'u' ||
            !hex4(content, i + 2, second) || second < 0xDC00 || second > 0xDFFF) {
            return false;
        }
        i += 6;
        return true;
    }
    return !(code >= 0xDC00 && code <= 0xDFFF) || isEscapedByte(code);
}

}  // namespace

bool CachedScanJsonCursor::unescape(std::string_view content) {
    scratch_.clear();
    scratch_.reserve(content.size());
    for (size_t i = 0; i < content.size();) {
        const char c = content[i++];
        if (c != '\\') {
            scratch_.push_back(c);
            continue;
        }
        char32_t code = 0, second = 0;
        if (!escape(content, i, code, second)) return false;
        if (second != 0) {
            code = 0x10000 + ((code - 0xD800) << 10) + (second - 0xDC00);
        } else if (isEscapedByte(code)) {
            code = 0xFFFD;
        }
        Utf8Text::append(scratch_, code);
    }
    return true;
}

bool CachedScanJsonCursor::decodeText(std::string_view content, QString& out) {
    // Never more UTF-16 units than bytes.
    if (units_.size() < content.size()) units_.resize(content.size());
    char16_t* const first = units_.data();
    char16_t* o = first;
    const auto* s = reinterpret_cast<const unsigned char*>(content.data());
    const size_t n = content.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            if (c != '\\') {
                *o++ = c;
                continue;
            }
            char32_t code = 0, second = 0;
            if (!escape(content, i, code, second)) return false;
            *o++ = static_cast<char16_t>(code);
            if (second != 0) *o++ = static_cast<char16_t>(second);
            continue;
        }
        char32_t code = 0;
        const size_t length = Utf8Text::sequence(s, n, i, code);
        if (length == 0) return false;
        i += length;
        if (code >= 0x10000) {
            *o++ = static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            *o++ = static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            *o++ = static_cast<char16_t>(code);
        }
    }
    out = QString(reinterpret_cast<const QChar*>(first), static_cast<qsizetype>(o - first));
    return true;
}

bool CachedScanJsonCursor::numberToken(std::string_view& token, bool& integral) {
    skipWs();
    const char* start = p_;
    if (p_ < end_ && *p_ == '-') ++p_;
    if (p_ >= end_) return false;
    if (*p_ == '0') {
        ++p_;
    } else if (*p_ >= '1' && *p_ <= '9') {
        while (p_ < end_ && *p_ >= '0' && *p_ <= '9') ++p_;
    } else {
        return false;
    }
    integral = true;
    if (p_ < end_ && *p_ == '.') {
        integral = false;
        ++p_;
        if (p_ >= end_ || *p_ < '0' || *p_ > '9') return false;
        while (p_ < end_ && *p_ >= '0' && *p_ <= '9') ++p_;
    }
    if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
        integral = false;
        ++p_;
        if (p_ < end_ && (*p_ == '+' || *p_ == '-')) ++p_;
        if (p_ >= end_ || *p_ < '0' || *p_ > '9') return false;
        while (p_ < end_ && *p_ >= '0' && *p_ <= '9') ++p_;
    }
    token = std::string_view(start, static_cast<size_t>(p_ - start));
    return true;
}

bool CachedScanJsonCursor::numberValue(double& value) {
    std::string_view token;
    bool integral = false;
    if (!numberToken(token, integral)) return false;
    auto result = std::from_chars(token.data(), token.data() + token.size(), value);
    return result.ec == std::errc() && result.ptr == token.data() + token.size();
}

bool CachedScanJsonCursor::scalar() {
    skipWs();
    if (p_ >= end_) return false;
    switch (*p_) {
    case '"': {
        std::string_view ignored;
        return utf8String(ignored);
    }
    case 't': return literal("true");
    case 'f': return literal("false");
    case 'n': return literal("null");
    default: {
        std::string_view token;
        bool integral = false;
        return numberToken(token, integral);
    }
    }
}

bool CachedScanJsonCursor::skipValue(int maxDepth, qint64* objects, qint64 maxObjects) {
    std::vector<char> open;
    for (;;) {
        skipWs();
        if (p_ >= end_) return false;
        const char c = *p_;
        if (c == '{' || c == '[') {
            if (static_cast<int>(open.size()) >= maxDepth) return false;
            if (c == '{' && objects && ++*objects > maxObjects) return false;
            ++p_;
            skipWs();
            const char close = c == '{' ? '}' : ']';
            if (peek(close)) {
                ++p_;
            } else {
                open.push_back(c);
                if (c == '{') {
                    std::string_view key;
                    if (!memberKey(key)) return false;
                }
                continue;
            }
        } else if (!scalar()) {
            return false;
        }
        // A value ended: close what ends with it, or move on to the next member.
        for (;;) {
            if (open.empty()) return true;
            skipWs();
            if (p_ >= end_) return false;
            const char container = open.back();
            if (*p_ == ',') {
                ++p_;
                if (container == '{') {
                    std::string_view key;
                    if (!memberKey(key)) return false;
                }
                break;
            }
            if (*p_ == (container == '{' ? '}' : ']')) {
                ++p_;
                open.pop_back();
                continue;
            }
            return false;
        }
    }
}

}  // namespace tarnwick
