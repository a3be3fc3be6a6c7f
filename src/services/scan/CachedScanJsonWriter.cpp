#include "services/scan/CachedScanJsonWriter.h"

#include "services/scan/CachedScanJson.h"
#include "support/HexText.h"
#include "support/JsonCoding.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarnwick::CachedScanJsonWriter {

namespace {

using CachedScanJson::kMaxDocumentBytes;
using CachedScanJson::kMaxTreeDepth;

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
        at = HexText::writeUuid(at, id);
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
        *at++ = HexText::kUpperDigits[(c >> 4) & 0xF];
        *at++ = HexText::kUpperDigits[c & 0xF];
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

}  // namespace

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

}  // namespace tarnwick::CachedScanJsonWriter
