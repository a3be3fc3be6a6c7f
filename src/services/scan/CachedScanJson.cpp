#include "services/scan/CachedScanJson.h"

#include "support/JsonCoding.h"

#include <QJsonDocument>
#include <QtEndian>
#include <QJsonObject>
#include <QJsonParseError>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <thread>
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

    // A JSON string from UTF-16 text; a lone surrogate becomes U+FFFD, except
    // an escaped file-name byte (U+DC80…U+DCFF), written as \udcXX.
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
                } else if (c >= 0xDC80 && c <= 0xDCFF) {
                    // A byte of a file name that is not UTF-8: kept as its escape.
                    std::memcpy(at, "\\udc", 4);
                    at[4] = "0123456789abcdef"[(c >> 4) & 0xF];
                    at[5] = "0123456789abcdef"[c & 0xF];
                    at += 6;
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

// The shortest text of a node, {"id":"<36 digits>","name":"","path":"",
// "kind":"","size":0,"children":[]}, is 98 bytes, and every node but the root
// has a comma or bracket before it: a document holds fewer nodes than its size
// over this, so only documents of at least this many bytes per allowed node
// need their nodes counted before the tree is built.
constexpr qint64 kMinNodeBytes = 99;

// How deep the containers of the tree nest at most: an object and an array
// per level, and the values beside a node's own members.
constexpr int kMaxTreeNesting = 2 * (CachedScanJson::kMaxTreeDepth + 1) + kMaxValueDepth;

constexpr unsigned kMaxReadThreads = 8;

// How the writer opens every node: a piece starts at one.
constexpr std::string_view kNodeOpening = R"({"id":")";

// The length of the well-formed UTF-8 sequence at s[i] (whose first byte is at
// least 0x80) and its code point; 0 for an overlong form, a surrogate, a value
// over U+10FFFF or a broken or cut sequence.
size_t utf8Sequence(const unsigned char* s, size_t n, size_t i, char32_t& code) {
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

// Whether bytes are well-formed UTF-8 (no overlong forms, no surrogates, at most U+10FFFF).
bool isValidUtf8(std::string_view text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        if (s[i] < 0x80) {
            ++i;
            continue;
        }
        char32_t code = 0;
        const size_t length = utf8Sequence(s, n, i, code);
        if (length == 0) return false;
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
        if (hexValue(text[i]) < 0) return false;
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

// A UUID from the 36 characters of its canonical form, digits in either case.
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

// A lone low surrogate standing for a byte of a file name that is not UTF-8.
bool isEscapedByte(char32_t unit) {
    return unit >= 0xDC80 && unit <= 0xDCFF;
}

// The members of a node, in the order the writer puts them.
enum Member : unsigned { kId = 1, kName = 2, kPath = 4, kKind = 8, kSize = 16, kChildren = 32, kAllMembers = 63 };

unsigned memberFor(std::string_view key) {
    if (key == "id") return kId;
    if (key == "name") return kName;
    if (key == "path") return kPath;
    if (key == "kind") return kKind;
    if (key == "size") return kSize;
    if (key == "children") return kChildren;
    return 0;
}

// A node being read: its members so far and where its finished children start.
struct NodeFrame {
    QUuid id;
    QString name;
    QString path;
    NodeKind kind = NodeKind::dir;
    qint64 size = 0;
    unsigned seen = 0;
    size_t firstChild = 0;
    // In a piece: stands for a node opened before the piece's start, whose
    // members after its children the piece reads.
    bool ancestor = false;
};

// In a piece, a node opened before its start closing: the members read after
// its children, and the nodes that follow it among its siblings.
struct AncestorClose {
    NodeFrame trailing;
    std::vector<ScanNodePtr> later;
};

// The state of reading a tree, or a piece of one.
struct TreeRun {
    std::vector<NodeFrame> stack;     // open nodes, outermost first
    std::vector<ScanNodePtr> built;   // finished children of the open nodes, in order
    qint64 nodes = 0;

    // A piece starts at a node among the children of a node it does not know.
    enum class End { failed, atOpening, afterNode };
    std::vector<ScanNodePtr> leading;     // nodes finished at the start's level before any ancestor closes
    std::vector<AncestorClose> closes;    // ancestors closed, innermost first
    qint64 reach = 0;                     // deepest open node, in levels below the start's parent
    End end = End::failed;
    const char* endAt = nullptr;          // where the piece stopped
};

template <typename T>
void appendMoved(std::vector<T>& to, std::vector<T>& from) {
    if (to.empty()) {
        to = std::move(from);
    } else {
        to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
    }
    from.clear();
}

enum class Step { open, member, afterMember, afterNode };

class Pieces;

class Parser {
public:
    Parser(const char* begin, const char* end, const DecodeOptions& options)
        : p_(begin), end_(end), maxNodes_(options.maxNodes), pieceBytes_(options.pieceBytes) {}

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
                ok = !(seen & bit) && tree(scan.root);
            } else if (key == "insights") {
                bit = kInsights;
                ok = insights(scan.insights);
            } else {
                ok = skipValue(kMaxValueDepth);
            }
            if (!ok || (seen & bit)) return std::nullopt;
            seen |= bit;
            const Separator next = separator();
            if (next == Separator::none) return std::nullopt;
            if (next == Separator::close) break;
        }
        skipWs();
        if (p_ != end_ || seen != kAll) return std::nullopt;
        return scan;
    }

    // Whether the document's tree has at most maxNodes_ objects, counted
    // without building anything; false also for a document that does not parse.
    bool treeWithinCap() {
        if (!consume('{')) return false;
        skipWs();
        if (peek('}')) return false;
        qint64 objects = 0;
        for (;;) {
            std::string_view key;
            if (!memberKey(key)) return false;
            const bool ok = key == "root" ? skipValue(kMaxTreeNesting, &objects, maxNodes_) : skipValue(kMaxValueDepth);
            if (!ok) return false;
            const Separator next = separator();
            if (next == Separator::none) return false;
            if (next == Separator::close) return true;
        }
    }

    // Reads a piece of the tree from a node's opening, as if it stood among
    // the children of a node it does not know, up to the first node opening
    // at or after limit, or to where what follows a finished node is not
    // another node of the tree (the piece's end is then read by the caller).
    // Ends as failed for anything else, and when cancelled.
    void piece(TreeRun& run, const char* limit, const std::atomic<bool>& cancelled) {
        run.end = TreeRun::End::failed;
        auto level = [&run]() -> std::vector<ScanNodePtr>& {
            return run.closes.empty() ? run.leading : run.closes.back().later;
        };
        Step step = Step::open;
        for (;;) {
            switch (step) {
            case Step::open: {
                skipWs();
                if (p_ >= limit) {
                    run.end = TreeRun::End::atOpening;
                    run.endAt = p_;
                    return;
                }
                if (cancelled.load(std::memory_order_relaxed)) return;
                if (!openNode(run)) return;
                run.reach = std::max<qint64>(run.reach, static_cast<qint64>(run.stack.size()) -
                                                            static_cast<qint64>(run.closes.size()));
                step = Step::member;
                break;
            }
            case Step::member:
                if (!nodeMember(run, step)) return;
                break;
            case Step::afterMember: {
                bool closing = false;
                if (!memberEnd(step, closing)) return;
                if (!closing) break;
                NodeFrame& frame = run.stack.back();
                if (frame.ancestor) {
                    run.closes.push_back({std::move(frame), {}});
                    run.stack.pop_back();
                } else {
                    if (frame.seen != kAllMembers) return;
                    ScanNodePtr node = closeNode(run);
                    (run.stack.empty() ? level() : run.built).push_back(std::move(node));
                }
                step = Step::afterNode;
                break;
            }
            case Step::afterNode: {
                skipWs();
                if (!run.stack.empty()) {
                    if (!afterChild(step)) return;
                    break;
                }
                // At the start's level: a sibling, or the end of an unknown
                // parent's children; anything else is for the caller to read.
                const char* at = p_;
                if (peek(',')) {
                    ++p_;
                    skipWs();
                    if (peek('{')) {
                        step = Step::open;
                        break;
                    }
                } else if (peek(']')) {
                    ++p_;
                    NodeFrame& ancestor = run.stack.emplace_back();
                    ancestor.seen = kChildren;
                    ancestor.ancestor = true;
                    step = Step::afterMember;
                    break;
                }
                p_ = at;
                run.end = TreeRun::End::afterNode;
                run.endAt = at;
                return;
            }
            }
        }
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

    // The escape starting at content[i] (after its backslash): a code unit, or
    // a pair of them for a surrogate pair; false for a malformed escape and a
    // lone surrogate other than an escaped byte. i moves past the escape.
    static bool escape(std::string_view content, size_t& i, char32_t& code, char32_t& second) {
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

    // Resolves the escapes of a string token into UTF-8 in scratch_. An
    // escaped file-name byte becomes U+FFFD: these texts are keys, kinds, ids
    // and values that are only checked, where no such byte can match.
    bool unescape(std::string_view content) {
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
            appendUtf8(scratch_, code);
        }
        return true;
    }

    // A string token's content as UTF-16: strict UTF-8, escapes resolved,
    // escaped file-name bytes kept as their lone surrogates.
    bool decodeText(std::string_view content, QString& out) {
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
            const size_t length = utf8Sequence(s, n, i, code);
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

    // Checks and steps over one value of any kind, nesting at most maxDepth;
    // with objects, also counts the objects in it, failing past maxObjects.
    bool skipValue(int maxDepth, qint64* objects = nullptr, qint64 maxObjects = 0) {
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

    // ------------------------------------------------------------ the tree

    // A node's opening brace: a new innermost node.
    bool openNode(TreeRun& run) {
        if (!consume('{')) return false;
        if (static_cast<qint64>(run.stack.size()) > kMaxTreeDepth || ++run.nodes > maxNodes_) return false;
        run.stack.emplace_back().firstChild = run.built.size();
        return true;
    }

    // The member the writer puts next after those seen, when its key stands at
    // the cursor (stepped over with its colon); 0 otherwise.
    unsigned expectedMember(unsigned seen) {
        // The lowest member not seen, when those seen lead the order.
        bool found = false;
        switch (seen) {
        case 0: found = literal(R"("id":)"); break;
        case kId: found = literal(R"("name":)"); break;
        case kId | kName: found = literal(R"("path":)"); break;
        case kId | kName | kPath: found = literal(R"("kind":)"); break;
        case kId | kName | kPath | kKind: found = literal(R"("size":)"); break;
        case kId | kName | kPath | kKind | kSize: found = literal(R"("children":)"); break;
        default: return 0;
        }
        return found ? seen + 1 : 0;
    }

    bool idValue(QUuid& id) {
        skipWs();
        if (end_ - p_ >= 38 && p_[0] == '"' && p_[37] == '"' && uuidFromCanonical(p_ + 1, id)) {
            p_ += 38;
            return true;
        }
        std::string_view text;
        return utf8String(text) && text.size() == 36 && uuidFromCanonical(text.data(), id);
    }

    bool kindValue(NodeKind& kind) {
        skipWs();
        if (literal(R"("file")")) {
            kind = NodeKind::file;
            return true;
        }
        if (literal(R"("dir")")) {
            kind = NodeKind::dir;
            return true;
        }
        std::string_view text;
        if (!utf8String(text)) return false;
        kind = kindFromUtf8(text);
        return true;
    }

    // One member of the innermost open node; step becomes what follows it.
    bool nodeMember(TreeRun& run, Step& step) {
        NodeFrame& frame = run.stack.back();
        unsigned bit = expectedMember(frame.seen);
        if (bit == 0) {
            std::string_view key;
            if (!memberKey(key)) return false;
            bit = memberFor(key);
        }
        step = Step::afterMember;
        bool ok = true;
        switch (bit) {
        case kId: ok = idValue(frame.id); break;
        case kName: ok = stringValue(frame.name); break;
        case kPath: {
            const NodeFrame* parent = run.stack.size() >= 2 ? &run.stack[run.stack.size() - 2] : nullptr;
            ok = stringValue(frame.path, parent && (parent->seen & kPath) ? &parent->path : nullptr);
            break;
        }
        case kKind: ok = kindValue(frame.kind); break;
        case kSize: ok = integerValue(frame.size) && frame.size >= 0; break;
        case kChildren:
            if ((frame.seen & kChildren) || !consume('[')) return false;
            skipWs();
            if (peek(']')) {
                ++p_;
            } else {
                step = Step::open;
            }
            break;
        default: return skipValue(kMaxValueDepth);  // a key of no meaning here
        }
        if (!ok || (frame.seen & bit)) return false;
        frame.seen |= bit;
        return true;
    }

    // Makes the innermost open node (all its members read) with its finished children.
    static ScanNodePtr closeNode(TreeRun& run) {
        NodeFrame& frame = run.stack.back();
        std::vector<ScanNodePtr> children;
        if (run.built.size() > frame.firstChild) {
            const auto first = run.built.begin() + static_cast<std::ptrdiff_t>(frame.firstChild);
            children.assign(std::make_move_iterator(first), std::make_move_iterator(run.built.end()));
            run.built.erase(first, run.built.end());
        }
        const QString path = frame.path;  // shared, not copied
        ScanNodePtr node = ScanNode::create(frame.id, std::move(frame.name), std::move(frame.path), frame.kind,
                                            frame.size, std::move(children));
        for (const ScanNodePtr& child : node->children) child->isAggregate = isAggregateNode(*child, &path);
        run.stack.pop_back();
        return node;
    }

    // After a member of a node: another member (step becomes member) or the
    // node's closing brace (stepped over, closing set).
    bool memberEnd(Step& step, bool& closing) {
        skipWs();
        closing = false;
        if (peek(',')) {
            ++p_;
            step = Step::member;
            return true;
        }
        if (!peek('}')) return false;
        ++p_;
        closing = true;
        return true;
    }

    // After a child node, in its parent's children: another child or the list's end.
    bool afterChild(Step& step) {
        if (peek(',')) {
            ++p_;
            step = Step::open;
        } else if (peek(']')) {
            ++p_;
            step = Step::afterMember;
        } else {
            return false;
        }
        return true;
    }

    enum class Graft { refused, atOpening, afterNode };
    Graft graft(TreeRun& run, TreeRun& piece, ScanNodePtr& root);

    // The node tree, read iteratively; every node object needs all six keys.
    bool tree(ScanNodePtr& out);

    const char* p_;
    const char* end_;
    qint64 maxNodes_;
    qint64 pieceBytes_;
    std::string scratch_;
    std::string keyScratch_;
    std::vector<char16_t> units_;
};

// The pieces of a large tree, each read on a thread of its own from a node
// opening found by its bytes alone while the caller reads the first part.
// Such a place may lie anywhere, a string or a value of no meaning included:
// a piece only counts once the caller's own reading arrives at its start as a
// node opening, and then reads exactly as the caller would have from there,
// with depth, count and duplicate keys checked when it is joined.
class Pieces {
public:
    Pieces(const char* begin, const char* end, const DecodeOptions& options) {
        const qint64 bytes = end - begin;
        const unsigned threads =
            std::min({kMaxReadThreads, std::max(1u, std::thread::hardware_concurrency()),
                      static_cast<unsigned>(std::min<qint64>(bytes / options.pieceBytes, kMaxReadThreads))});
        for (unsigned k = 1; k < threads; ++k) {
            const char* from = begin + bytes * k / threads;
            if (!pieces_.empty() && from <= pieces_.back()->start) from = pieces_.back()->start + 1;
            const void* found = memmem(from, static_cast<size_t>(end - from), kNodeOpening.data(), kNodeOpening.size());
            if (!found) break;
            auto piece = std::make_unique<Piece>();
            piece->start = static_cast<const char*>(found);
            pieces_.push_back(std::move(piece));
        }
        for (size_t k = 0; k < pieces_.size(); ++k) {
            Piece& piece = *pieces_[k];
            const char* limit = k + 1 < pieces_.size() ? pieces_[k + 1]->start : end;
            try {
                piece.thread = std::thread([&piece, limit, end, options] {
                    try {
                        Parser(piece.start, end, options).piece(piece.run, limit, piece.cancelled);
                    } catch (...) {
                        piece.run.end = TreeRun::End::failed;  // out of memory: read by the caller
                    }
                });
            } catch (...) {
                pieces_.resize(k);  // no thread to be had: the caller reads the rest
                break;
            }
        }
    }

    ~Pieces() {
        for (auto& piece : pieces_) piece->cancelled = true;
        for (auto& piece : pieces_) {
            if (piece->thread.joinable()) piece->thread.join();
        }
    }

    Pieces(const Pieces&) = delete;
    Pieces& operator=(const Pieces&) = delete;

    // The finished piece that starts exactly at a node opening at `at`, or
    // null; pieces starting before it can no longer count and are stopped.
    TreeRun* startingAt(const char* at) {
        while (next_ < pieces_.size() && pieces_[next_]->start < at) pieces_[next_++]->cancelled = true;
        if (next_ >= pieces_.size() || pieces_[next_]->start != at) return nullptr;
        Piece& piece = *pieces_[next_++];
        piece.thread.join();
        return &piece.run;
    }

private:
    struct Piece {
        const char* start = nullptr;
        TreeRun run;
        std::atomic<bool> cancelled{false};
        std::thread thread;
    };
    std::vector<std::unique_ptr<Piece>> pieces_;
    size_t next_ = 0;
};

// Joins a finished piece that starts at the cursor, a node opening among the
// children of the innermost open node: its nodes join the tree and the
// ancestors it saw close are closed, or nothing changes when the piece does
// not fit (failed, too deep, over the node cap, a member twice or missing).
Parser::Graft Parser::graft(TreeRun& run, TreeRun& piece, ScanNodePtr& root) {
    const size_t depth = run.stack.size();
    const size_t closes = piece.closes.size();
    if (piece.end == TreeRun::End::failed || closes > depth) return Graft::refused;
    if (static_cast<qint64>(depth) + piece.reach > kMaxTreeDepth + 1) return Graft::refused;
    if (run.nodes + piece.nodes > maxNodes_) return Graft::refused;
    for (size_t i = 0; i < closes; ++i) {
        const unsigned seen = run.stack[depth - 1 - i].seen;
        const unsigned trailing = piece.closes[i].trailing.seen;
        if (!(seen & kChildren) || (seen & trailing & ~unsigned(kChildren)) || (seen | trailing) != kAllMembers) {
            return Graft::refused;
        }
    }
    // The root closing ends the tree: nothing of it may follow.
    if (closes == depth && (piece.end != TreeRun::End::afterNode || !piece.closes.back().later.empty())) {
        return Graft::refused;
    }

    appendMoved(run.built, piece.leading);
    for (AncestorClose& close : piece.closes) {
        NodeFrame& frame = run.stack.back();
        const NodeFrame& trailing = close.trailing;
        if (trailing.seen & kId) frame.id = trailing.id;
        if (trailing.seen & kName) frame.name = trailing.name;
        if (trailing.seen & kPath) frame.path = trailing.path;
        if (trailing.seen & kKind) frame.kind = trailing.kind;
        if (trailing.seen & kSize) frame.size = trailing.size;
        frame.seen |= trailing.seen;
        ScanNodePtr node = closeNode(run);
        if (run.stack.empty()) {
            node->isAggregate = isAggregateNode(*node, nullptr);
            root = std::move(node);
            break;
        }
        run.built.push_back(std::move(node));
        appendMoved(run.built, close.later);
    }
    run.nodes += piece.nodes;
    if (piece.end == TreeRun::End::afterNode) return Graft::afterNode;
    const size_t offset = run.built.size();
    appendMoved(run.built, piece.built);
    for (NodeFrame& frame : piece.stack) {
        frame.firstChild += offset;
        run.stack.push_back(std::move(frame));
    }
    return Graft::atOpening;
}

bool Parser::tree(ScanNodePtr& out) {
    skipWs();
    TreeRun run;
    run.stack.reserve(64);
    run.built.reserve(1024);
    std::optional<Pieces> pieces;
    if (pieceBytes_ > 0 && end_ - p_ >= 2 * pieceBytes_) {
        pieces.emplace(p_ + 1, end_, DecodeOptions{maxNodes_, pieceBytes_});
    }
    Step step = Step::open;
    for (;;) {
        switch (step) {
        case Step::open: {
            skipWs();
            if (pieces && !run.stack.empty()) {
                if (TreeRun* piece = pieces->startingAt(p_)) {
                    const Graft grafted = graft(run, *piece, out);
                    if (grafted != Graft::refused) {
                        p_ = piece->endAt;
                        if (out) return true;
                        step = grafted == Graft::atOpening ? Step::open : Step::afterNode;
                        break;
                    }
                }
            }
            if (!openNode(run)) return false;
            step = Step::member;
            break;
        }
        case Step::member:
            if (!nodeMember(run, step)) return false;
            break;
        case Step::afterMember: {
            bool closing = false;
            if (!memberEnd(step, closing)) return false;
            if (!closing) break;
            if (run.stack.back().seen != kAllMembers) return false;
            ScanNodePtr node = closeNode(run);
            if (run.stack.empty()) {
                node->isAggregate = isAggregateNode(*node, nullptr);
                out = std::move(node);
                return true;
            }
            run.built.push_back(std::move(node));
            step = Step::afterNode;
            break;
        }
        case Step::afterNode:
            skipWs();
            if (!afterChild(step)) return false;
            break;
        }
    }
}

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

std::optional<CachedScan> decode(QByteArrayView json, const DecodeOptions& options) {
    if (json.size() > kMaxDocumentBytes) return std::nullopt;
    const char* begin = json.data();
    const char* end = begin + json.size();
    // A document large enough to hold more nodes than allowed has them
    // counted first, so a flood of tiny nodes costs no memory.
    if (json.size() / kMinNodeBytes >= options.maxNodes && !Parser(begin, end, options).treeWithinCap()) {
        return std::nullopt;
    }
    return Parser(begin, end, options).document();
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
