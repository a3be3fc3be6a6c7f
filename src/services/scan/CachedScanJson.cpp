#include "services/scan/CachedScanJson.h"

#include "support/JsonCoding.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarnwick::CachedScanJson {

namespace {

// Any value other than the tree (the insights, unknown keys) may nest this deep.
constexpr int kMaxValueDepth = 64;

constexpr char kHex[] = "0123456789ABCDEF";

std::string_view kindText(NodeKind kind) {
    switch (kind) {
    case NodeKind::dir: return "dir";
    case NodeKind::file: return "file";
    case NodeKind::smallGroup: return "smallGroup";
    case NodeKind::restricted: return "restricted";
    case NodeKind::virtual_: return "virtual";
    }
    return "dir";
}

NodeKind kindFromUtf8(std::string_view text) {
    if (text == "file") return NodeKind::file;
    if (text == "smallGroup") return NodeKind::smallGroup;
    if (text == "restricted") return NodeKind::restricted;
    if (text == "virtual") return NodeKind::virtual_;
    return NodeKind::dir;
}

bool startsAndEndsWithEllipsis(const QString& name) {
    constexpr char16_t kEllipsis = u'\u2026';
    return name.size() >= 2 && name.front() == QChar(kEllipsis) && name.back() == QChar(kEllipsis);
}

// Whether a node read back stands for several items: merged groups, a
// folder's small-files node or folded node (a file node that carries the
// folder's own path and a "…" name), and hidden space (a restricted node with
// bytes; restricted folders of the walk are always empty).
bool isAggregateNode(const ScanNode& node, const QString* parentPath) {
    switch (node.kind) {
    case NodeKind::smallGroup: return true;
    case NodeKind::restricted: return node.size > 0;
    case NodeKind::file:
        return parentPath && startsAndEndsWithEllipsis(node.name) && node.path() == *parentPath;
    default: return false;
    }
}

// ---------------------------------------------------------------- writing

// A compact JSON writer into one growing buffer, written through a cursor.
class Writer {
public:
    explicit Writer(qsizetype expected) { buffer_.resize(std::max<qsizetype>(expected, 256)); }

    qsizetype size() const { return used_; }

    // The bytes written; the writer is spent afterwards.
    QByteArray take() {
        buffer_.resize(used_);
        return std::move(buffer_);
    }

    void raw(std::string_view text) {
        char* at = room(static_cast<qsizetype>(text.size()));
        std::memcpy(at, text.data(), text.size());
        used_ += static_cast<qsizetype>(text.size());
    }

    void byte(char c) {
        *room(1) = c;
        ++used_;
    }

    void integer(qint64 value) {
        char* at = room(24);
        used_ = std::to_chars(at, at + 24, value).ptr - buffer_.data();
    }

    bool number(double value) {
        if (!std::isfinite(value)) return false;
        char* at = room(32);
        auto result = std::to_chars(at, at + 32, value);
        if (result.ec != std::errc()) return false;
        used_ = result.ptr - buffer_.data();
        return true;
    }

    void uuid(const QUuid& id) {
        char* at = room(38);
        *at++ = '"';
        auto hex = [&at](quint64 value, int digits) {
            for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) *at++ = kHex[(value >> shift) & 0xF];
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
        *at++ = '"';
        used_ = at - buffer_.data();
    }

    // A JSON string from UTF-16 text; a lone surrogate becomes U+FFFD.
    void string(const QString& text) {
        const char16_t* s = reinterpret_cast<const char16_t*>(text.utf16());
        const qsizetype n = text.size();
        // At most six bytes per UTF-16 unit (a control character as \u00XX).
        char* at = room(6 * n + 2);
        *at++ = '"';
        for (qsizetype i = 0; i < n; ++i) {
#if defined(__SSE2__)
            // Eight units at a time while they are printable ASCII that needs no escape.
            while (n - i >= 8) {
                const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
                const __m128i printable = _mm_and_si128(_mm_cmpgt_epi16(units, _mm_set1_epi16(0x1F)),
                                                        _mm_cmplt_epi16(units, _mm_set1_epi16(0x80)));
                const __m128i special = _mm_or_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16('"')),
                                                     _mm_cmpeq_epi16(units, _mm_set1_epi16('\\')));
                if (_mm_movemask_epi8(_mm_andnot_si128(special, printable)) != 0xFFFF) break;
                _mm_storel_epi64(reinterpret_cast<__m128i*>(at), _mm_packus_epi16(units, units));
                at += 8;
                i += 8;
            }
            if (i >= n) break;
#endif
            const char32_t c = s[i];
            if (c < 0x80) {
                if (c >= 0x20 && c != '"' && c != '\\') {
                    *at++ = static_cast<char>(c);
                } else {
                    at = escape(at, static_cast<char>(c));
                }
            } else if (c < 0x800) {
                *at++ = static_cast<char>(0xC0 | (c >> 6));
                *at++ = static_cast<char>(0x80 | (c & 0x3F));
            } else if (c >= 0xD800 && c <= 0xDFFF) {
                if (c <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
                    const char32_t code = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
                    ++i;
                    *at++ = static_cast<char>(0xF0 | (code >> 18));
                    *at++ = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
                    *at++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                    *at++ = static_cast<char>(0x80 | (code & 0x3F));
                } else {
                    *at++ = '\xEF';
                    *at++ = '\xBF';
                    *at++ = '\xBD';
                }
            } else {
                *at++ = static_cast<char>(0xE0 | (c >> 12));
                *at++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                *at++ = static_cast<char>(0x80 | (c & 0x3F));
            }
        }
        *at++ = '"';
        used_ = at - buffer_.data();
    }

private:
    // Room for at least n more bytes; the cursor where they go.
    char* room(qsizetype n) {
        if (buffer_.size() - used_ < n) buffer_.resize(std::max(buffer_.size() * 2, used_ + n));
        return buffer_.data() + used_;
    }

    static char* escape(char* at, char c) {
        *at++ = '\\';
        switch (c) {
        case '"': *at++ = '"'; return at;
        case '\\': *at++ = '\\'; return at;
        case '\b': *at++ = 'b'; return at;
        case '\f': *at++ = 'f'; return at;
        case '\n': *at++ = 'n'; return at;
        case '\r': *at++ = 'r'; return at;
        case '\t': *at++ = 't'; return at;
        default: break;
        }
        *at++ = 'u';
        *at++ = '0';
        *at++ = '0';
        *at++ = kHex[(c >> 4) & 0xF];
        *at++ = kHex[c & 0xF];
        return at;
    }

    QByteArray buffer_;
    qsizetype used_ = 0;
};

// About the size of the written tree when its texts are ASCII.
qsizetype expectedTreeBytes(const ScanNode& root) {
    qsizetype bytes = 0;
    std::vector<const ScanNode*> pending{&root};
    while (!pending.empty()) {
        const ScanNode* node = pending.back();
        pending.pop_back();
        bytes += 112 + node->name.size() + node->path().size();
        for (const ScanNodePtr& child : node->children) {
            if (child) pending.push_back(child.get());
        }
    }
    return bytes;
}

void writeNodeHead(Writer& w, const ScanNode& node, const QString& path) {
    w.raw("{\"id\":");
    w.uuid(node.id);
    w.raw(",\"name\":");
    w.string(node.name);
    w.raw(",\"path\":");
    w.string(path);
    w.raw(",\"kind\":\"");
    w.raw(kindText(node.kind));
    w.raw("\",\"size\":");
    w.integer(node.size);
    w.raw(",\"children\":[");
}

bool writeTree(Writer& w, const ScanNode& root, QString* error) {
    struct Frame {
        const ScanNode* node;
        size_t next;
        bool wroteChild;
        QString path;  // the node's path when short enough to keep, so children need not climb for theirs
    };
    constexpr qsizetype kKeptPathLength = 4096;
    auto kept = [](QString path) { return path.size() <= kKeptPathLength ? path : QString(); };
    std::vector<Frame> stack;
    const QString rootPath = root.path();
    stack.push_back({&root, 0, false, kept(rootPath)});
    writeNodeHead(w, root, rootPath);
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next < top.node->children.size()) {
            const ScanNode* child = top.node->children[top.next++].get();
            if (!child) continue;
            if (top.wroteChild) w.byte(',');
            top.wroteChild = true;
            if (static_cast<qint64>(stack.size()) > kMaxTreeDepth) {
                if (error) *error = QStringLiteral("The tree is nested too deeply to be stored.");
                return false;
            }
            if (static_cast<qint64>(w.size()) > kMaxDocumentBytes) break;
            QString path = top.path.isEmpty() ? child->path() : child->pathBelow(top.path);
            writeNodeHead(w, *child, path);
            stack.push_back({child, 0, false, kept(std::move(path))});
            continue;
        }
        w.raw("]}");
        stack.pop_back();
    }
    if (static_cast<qint64>(w.size()) > kMaxDocumentBytes) {
        if (error) *error = QStringLiteral("The tree is too large to be stored.");
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- reading

// Whether bytes are well-formed UTF-8 (no overlong forms, no surrogates, at most U+10FFFF).
bool isValidUtf8(std::string_view text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t length;
        unsigned char low = 0x80, high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0) low = 0xA0;
            if (c == 0xED) high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0) low = 0x90;
            if (c == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (i + length > n) return false;
        if (s[i + 1] < low || s[i + 1] > high) return false;
        for (size_t k = 2; k < length; ++k) {
            if (s[i + k] < 0x80 || s[i + k] > 0xBF) return false;
        }
        i += length;
    }
    return true;
}

void appendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// The value of each hexadecimal digit, -1 for every other byte.
constexpr auto kHexValues = [] {
    std::array<signed char, 256> table{};
    for (int c = 0; c < 256; ++c) {
        table[c] = c >= '0' && c <= '9'   ? c - '0'
                   : c >= 'A' && c <= 'F' ? c - 'A' + 10
                   : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                          : -1;
    }
    return table;
}();

int hexValue(char c) {
    return kHexValues[static_cast<unsigned char>(c)];
}

std::optional<QUuid> uuidFromUtf8(std::string_view text) {
    if (text.size() != 36) return std::nullopt;
    quint8 bytes[16];
    int count = 0;
    for (size_t i = 0; i < 36;) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-') return std::nullopt;
            ++i;
            continue;
        }
        const int high = hexValue(text[i]);
        const int low = hexValue(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes[count++] = static_cast<quint8>(high << 4 | low);
        i += 2;
    }
    return QUuid::fromRfc4122(QByteArrayView(reinterpret_cast<const char*>(bytes), 16));
}

class Parser {
public:
    explicit Parser(QByteArrayView json) : p_(json.data()), end_(json.data() + json.size()) {}

    std::optional<CachedScan> document() {
        enum : unsigned { kRootPath = 1, kRootName = 2, kScannedAt = 4, kRoot = 8, kInsights = 16, kAll = 31 };
        CachedScan scan;
        unsigned seen = 0;
        if (!consume('{')) return std::nullopt;
        skipWs();
        if (peek('}')) return std::nullopt;  // keys are required
        for (;;) {
            std::string_view key;
            if (!memberKey(key)) return std::nullopt;
            unsigned bit = 0;
            bool ok = true;
            if (key == "rootPath") {
                bit = kRootPath;
                ok = stringValue(scan.rootPath);
            } else if (key == "rootName") {
                bit = kRootName;
                ok = stringValue(scan.rootName);
            } else if (key == "scannedAt") {
                bit = kScannedAt;
                double seconds = 0;
                ok = numberValue(seconds) && std::isfinite(seconds);
                if (ok) scan.scannedAt = JsonCoding::dateFromValue(seconds);
                ok = ok && scan.scannedAt.isValid();
            } else if (key == "root") {
                bit = kRoot;
                ok = tree(scan.root);
            } else if (key == "insights") {
                bit = kInsights;
                ok = insights(scan.insights);
            } else {
                ok = skipValue(kMaxValueDepth);
            }
            if (!ok || (seen & bit)) return std::nullopt;
            seen |= bit;
            skipWs();
            if (p_ < end_ && *p_ == ',') {
                ++p_;
                continue;
            }
            if (p_ < end_ && *p_ == '}') {
                ++p_;
                break;
            }
            return std::nullopt;
        }
        skipWs();
        if (p_ != end_ || seen != kAll) return std::nullopt;
        return scan;
    }

private:
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

    // Resolves the escapes of a string token into UTF-8 in scratch_.
    bool unescape(std::string_view content) {
        scratch_.clear();
        scratch_.reserve(content.size());
        for (size_t i = 0; i < content.size(); ++i) {
            const char c = content[i];
            if (c != '\\') {
                scratch_.push_back(c);
                continue;
            }
            if (++i >= content.size()) return false;
            switch (content[i]) {
            case '"': scratch_.push_back('"'); break;
            case '\\': scratch_.push_back('\\'); break;
            case '/': scratch_.push_back('/'); break;
            case 'b': scratch_.push_back('\b'); break;
            case 'f': scratch_.push_back('\f'); break;
            case 'n': scratch_.push_back('\n'); break;
            case 'r': scratch_.push_back('\r'); break;
            case 't': scratch_.push_back('\t'); break;
            case 'u': {
                char32_t code = 0;
                if (!hex4(content, i + 1, code)) return false;
                i += 4;
                if (code >= 0xDC00 && code <= 0xDFFF) return false;
                if (code >= 0xD800 && code <= 0xDBFF) {
                    char32_t low = 0;
                    if (i + 6 >= content.size() || content[i + 1] != '\\' || content[i + 2] != 'u' ||
                        !hex4(content, i + 3, low) || low < 0xDC00 || low > 0xDFFF) {
                        return false;
                    }
                    i += 6;
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                }
                appendUtf8(scratch_, code);
                break;
            }
            default: return false;
            }
        }
        return true;
    }

    static bool hex4(std::string_view text, size_t at, char32_t& code) {
        if (at + 4 > text.size()) return false;
        code = 0;
        for (size_t k = 0; k < 4; ++k) {
            const int v = hexValue(text[at + k]);
            if (v < 0) return false;
            code = code << 4 | static_cast<char32_t>(v);
        }
        return true;
    }

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
        return ascii && !escaped ? true : isValidUtf8(text);
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
        std::string_view text = content;
        if (escaped) {
            if (!unescape(content)) return false;
            text = scratch_;
        }
        if (!isValidUtf8(text)) return false;
        out = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
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
    bool numberToken(std::string_view& token, bool& integral) {
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

    bool numberValue(double& value) {
        std::string_view token;
        bool integral = false;
        if (!numberToken(token, integral)) return false;
        auto result = std::from_chars(token.data(), token.data() + token.size(), value);
        return result.ec == std::errc() && result.ptr == token.data() + token.size();
    }

    // An integer in 64 bits; a number written with a fraction or exponent
    // counts when its value is a whole number in range.
    bool integerValue(qint64& value) {
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

    bool literal(std::string_view word) {
        if (static_cast<size_t>(end_ - p_) < word.size() || std::memcmp(p_, word.data(), word.size()) != 0) {
            return false;
        }
        p_ += word.size();
        return true;
    }

    bool scalar() {
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

    // Checks and steps over one value of any kind, nesting at most maxDepth.
    bool skipValue(int maxDepth) {
        std::vector<char> open;
        for (;;) {
            skipWs();
            if (p_ >= end_) return false;
            const char c = *p_;
            if (c == '{' || c == '[') {
                if (static_cast<int>(open.size()) >= maxDepth) return false;
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

    bool insights(ScanInsights& out) {
        skipWs();
        const char* start = p_;
        if (!peek('{') || !skipValue(kMaxValueDepth)) return false;
        const QByteArray raw = QByteArray::fromRawData(start, static_cast<qsizetype>(p_ - start));
        std::optional<QJsonObject> object = JsonCoding::parseObject(raw);
        if (!object) return false;
        std::optional<ScanInsights> decoded = ScanInsights::fromJson(*object);
        if (!decoded) return false;
        out = std::move(*decoded);
        return true;
    }

    // The node tree, read iteratively; every node object needs all six keys.
    bool tree(ScanNodePtr& out) {
        enum : unsigned { kId = 1, kName = 2, kPath = 4, kKind = 8, kSize = 16, kChildren = 32, kAll = 63 };
        struct Frame {
            QUuid id;
            QString name;
            QString path;
            NodeKind kind = NodeKind::dir;
            qint64 size = 0;
            unsigned seen = 0;
            size_t firstChild = 0;  // where its children start in `built`
        };
        enum class Step { open, member, afterMember, close };
        std::vector<Frame> stack;
        stack.reserve(64);
        // The finished children of every open node, in order; a node takes
        // its own off the end when it closes, into a list of exactly that size.
        std::vector<ScanNodePtr> built;
        built.reserve(1024);
        Step step = Step::open;
        for (;;) {
            switch (step) {
            case Step::open: {
                if (!consume('{')) return false;
                if (static_cast<qint64>(stack.size()) > kMaxTreeDepth) return false;
                stack.emplace_back().firstChild = built.size();
                skipWs();
                step = Step::member;
                break;
            }
            case Step::member: {
                std::string_view key;
                if (!memberKey(key)) return false;
                Frame& frame = stack.back();
                unsigned bit = 0;
                bool ok = true;
                step = Step::afterMember;
                if (key == "id") {
                    bit = kId;
                    std::string_view text;
                    std::optional<QUuid> id;
                    ok = utf8String(text) && (id = uuidFromUtf8(text)).has_value();
                    if (ok) frame.id = *id;
                } else if (key == "name") {
                    bit = kName;
                    ok = stringValue(frame.name);
                } else if (key == "path") {
                    bit = kPath;
                    const Frame* parent = stack.size() >= 2 ? &stack[stack.size() - 2] : nullptr;
                    ok = stringValue(frame.path, parent && (parent->seen & kPath) ? &parent->path : nullptr);
                } else if (key == "kind") {
                    bit = kKind;
                    std::string_view text;
                    ok = utf8String(text);
                    frame.kind = kindFromUtf8(text);
                } else if (key == "size") {
                    bit = kSize;
                    ok = integerValue(frame.size) && frame.size >= 0;
                } else if (key == "children") {
                    bit = kChildren;
                    if (frame.seen & bit) return false;
                    if (!consume('[')) return false;
                    skipWs();
                    if (peek(']')) {
                        ++p_;
                    } else {
                        step = Step::open;
                    }
                } else {
                    ok = skipValue(kMaxValueDepth);
                }
                if (!ok || (frame.seen & bit)) return false;
                frame.seen |= bit;
                break;
            }
            case Step::afterMember: {
                skipWs();
                if (peek(',')) {
                    ++p_;
                    step = Step::member;
                } else if (peek('}')) {
                    ++p_;
                    step = Step::close;
                } else {
                    return false;
                }
                break;
            }
            case Step::close: {
                Frame& frame = stack.back();
                if (frame.seen != kAll) return false;
                std::vector<ScanNodePtr> children;
                if (built.size() > frame.firstChild) {
                    const auto first = built.begin() + static_cast<std::ptrdiff_t>(frame.firstChild);
                    children.assign(std::make_move_iterator(first), std::make_move_iterator(built.end()));
                    built.erase(first, built.end());
                }
                ScanNodePtr node = ScanNode::create(frame.id, std::move(frame.name), std::move(frame.path),
                                                    frame.kind, frame.size, std::move(children));
                const QString nodePath = node->path();
                for (const ScanNodePtr& child : node->children) {
                    child->isAggregate = isAggregateNode(*child, &nodePath);
                }
                stack.pop_back();
                if (stack.empty()) {
                    node->isAggregate = isAggregateNode(*node, nullptr);
                    out = std::move(node);
                    return true;
                }
                built.push_back(std::move(node));
                // Inside the parent's children: another child or the end of the list.
                skipWs();
                if (peek(',')) {
                    ++p_;
                    step = Step::open;
                } else if (peek(']')) {
                    ++p_;
                    step = Step::afterMember;
                } else {
                    return false;
                }
                break;
            }
            }
        }
    }

    const char* p_;
    const char* end_;
    std::string scratch_;
    std::string keyScratch_;
};

}  // namespace

std::optional<QByteArray> encode(const CachedScan& scan, QString* error) {
    if (!scan.root) {
        if (error) *error = QStringLiteral("There is no tree to store.");
        return std::nullopt;
    }
    if (!scan.scannedAt.isValid()) {
        if (error) *error = QStringLiteral("The scan date is not valid.");
        return std::nullopt;
    }
    const QByteArray insights = JsonCoding::compact(scan.insights.toJson());
    Writer w(std::min<qsizetype>(expectedTreeBytes(*scan.root) + insights.size() +
                                     2 * (scan.rootPath.size() + scan.rootName.size()) + 128,
                                 kMaxDocumentBytes));
    w.raw("{\"rootPath\":");
    w.string(scan.rootPath);
    w.raw(",\"rootName\":");
    w.string(scan.rootName);
    w.raw(",\"scannedAt\":");
    if (!w.number(JsonCoding::dateValue(scan.scannedAt))) {
        if (error) *error = QStringLiteral("The scan date is not valid.");
        return std::nullopt;
    }
    w.raw(",\"root\":");
    if (!writeTree(w, *scan.root, error)) return std::nullopt;
    w.raw(",\"insights\":");
    w.raw(std::string_view(insights.constData(), static_cast<size_t>(insights.size())));
    w.raw("}");
    if (static_cast<qint64>(w.size()) > kMaxDocumentBytes) {
        if (error) *error = QStringLiteral("The tree is too large to be stored.");
        return std::nullopt;
    }
    return w.take();
}

std::optional<CachedScan> decode(QByteArrayView json) {
    if (json.size() > kMaxDocumentBytes) return std::nullopt;
    return Parser(json).document();
}

NodeKind kindFrom(QStringView text) {
    const QByteArray utf8 = text.toUtf8();
    return kindFromUtf8(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

QString kindName(NodeKind kind) {
    const std::string_view text = kindText(kind);
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace tarnwick::CachedScanJson
