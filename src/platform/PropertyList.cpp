#include "platform/PropertyList.h"

#include "platform/FileReader.h"

#include <plist/plist.h>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

namespace tarnwick {

namespace {

// Documents whose tree would hold more nodes than this are refused: a binary
// document can name one object from many places, and the parser copies it
// for each.
constexpr quint64 kMaxNodes = 200000;

constexpr std::string_view kBinaryMagic = "bplist00";
constexpr std::string_view kBinaryPrefix = "bplist";

bool startsWith(std::string_view text, size_t at, std::string_view prefix) {
    return text.size() - at >= prefix.size() && text.compare(at, prefix.size(), prefix) == 0;
}

bool isContainerTag(std::string_view name) {
    return name == "dict" || name == "array";
}

// The XML form, read the way a tolerant tokenizer reads it and judged on the
// safe side wherever the two could differ: a container opened inside a
// comment or CDATA section counts as opened for good, a tag may hold no "<"
// and must close its quotes before its first ">", and closing more
// containers than were opened is refused.
bool xmlWithinLimits(std::string_view text) {
    int depth = 0;
    int openedForGood = 0;
    size_t at = 0;
    for (;;) {
        at = text.find('<', at);
        if (at == std::string_view::npos) return true;
        std::string_view end;
        if (startsWith(text, at, "<!--")) end = "-->";
        if (startsWith(text, at, "<![CDATA[")) end = "]]>";
        if (!end.empty()) {
            const size_t close = text.find(end, at + 4);
            if (close == std::string_view::npos) return false;
            const std::string_view inside = text.substr(at, close - at);
            for (size_t open = inside.find('<', 1); open != std::string_view::npos; open = inside.find('<', open + 1)) {
                if (startsWith(inside, open, "<dict") || startsWith(inside, open, "<array")) {
                    if (depth + ++openedForGood > PropertyList::kMaxDepth) return false;
                }
            }
            at = close + end.size();
            continue;
        }
        const size_t close = text.find('>', at + 1);
        if (close == std::string_view::npos) return false;
        const std::string_view body = text.substr(at + 1, close - at - 1);
        if (body.find('<') != std::string_view::npos) return false;
        if (std::count(body.begin(), body.end(), '"') % 2 != 0) return false;
        if (std::count(body.begin(), body.end(), '\'') % 2 != 0) return false;
        const bool closing = !body.empty() && body.front() == '/';
        const std::string_view rest = body.substr(closing ? 1 : 0);
        const size_t nameEnd = rest.find_first_of(" \t\r\n/");
        if (isContainerTag(rest.substr(0, nameEnd)) && !(body.size() > 0 && body.back() == '/')) {
            if (closing) {
                if (--depth < 0) return false;
            } else if (++depth + openedForGood > PropertyList::kMaxDepth) {
                return false;
            }
        }
        at = close + 1;
    }
}

quint64 bigEndian(const uchar* bytes, int width) {
    quint64 value = 0;
    for (int i = 0; i < width; ++i) value = (value << 8) | bytes[i];
    return value;
}

// The binary form: the trailer and offset table must lie inside the
// document, every container's references must name objects of the table,
// and the objects reachable from the top one must form a tree (or a graph
// without loops) no deeper than the limit and no larger than kMaxNodes once
// every shared object is counted as often as it is named.
class BinaryCheck {
public:
    explicit BinaryCheck(std::string_view document)
        : data_(reinterpret_cast<const uchar*>(document.data())), size_(document.size()) {}

    bool run() {
        constexpr quint64 kHeader = 8;
        constexpr quint64 kTrailer = 32;
        if (size_ < kHeader + kTrailer) return false;
        const uchar* trailer = data_ + size_ - kTrailer;
        offsetWidth_ = trailer[6];
        refWidth_ = trailer[7];
        count_ = bigEndian(trailer + 8, 8);
        const quint64 top = bigEndian(trailer + 16, 8);
        table_ = bigEndian(trailer + 24, 8);
        if (offsetWidth_ < 1 || offsetWidth_ > 8 || refWidth_ < 1 || refWidth_ > 8) return false;
        const quint64 tableEnd = size_ - kTrailer;
        if (count_ == 0 || top >= count_ || table_ < kHeader || table_ > tableEnd) return false;
        if (count_ > (tableEnd - table_) / quint64(offsetWidth_)) return false;
        return walk(top);
    }

private:
    struct Frame {
        quint64 index = 0;
        quint64 refs = 0;      // where the references start
        quint64 refCount = 0;
        quint64 next = 0;
        int height = 1;        // levels of containers from this one down, so far
        quint64 nodes = 1;     // tree nodes below and including it, so far
    };

    // Reads the object's references; false when it is malformed.
    bool open(quint64 index, Frame& frame, bool& container) const {
        frame = Frame{};
        frame.index = index;
        container = false;
        const quint64 offset = bigEndian(data_ + table_ + index * quint64(offsetWidth_), offsetWidth_);
        if (offset < 8 || offset >= table_) return false;
        const uchar marker = data_[offset];
        const int type = marker >> 4;
        if (type < 0xA || type > 0xD) return true;
        container = true;
        quint64 length = marker & 0x0F;
        quint64 at = offset + 1;
        if (length == 0x0F) {
            if (at >= table_ || (data_[at] >> 4) != 0x1) return false;
            const int width = 1 << (data_[at] & 0x0F);
            if (width > 8 || at + 1 + quint64(width) > table_) return false;
            length = bigEndian(data_ + at + 1, width);
            at += 1 + quint64(width);
        }
        const quint64 perEntry = type == 0xD ? 2 : 1;  // a dictionary names its keys and its values
        if (length > (table_ - at) / quint64(refWidth_) / perEntry) return false;
        frame.refs = at;
        frame.refCount = length * perEntry;
        return true;
    }

    bool walk(quint64 top) {
        enum : uchar { unseen, onPath, done };
        std::vector<uchar> state(count_, unseen);
        std::vector<uchar> height(count_, 0);
        std::vector<quint32> nodes(count_, 0);
        std::vector<Frame> path;
        Frame frame;
        bool container = false;
        if (!open(top, frame, container)) return false;
        if (!container) return true;
        state[top] = onPath;
        path.push_back(frame);
        while (!path.empty()) {
            Frame& current = path.back();
            if (current.next == current.refCount) {
                const Frame finished = current;
                path.pop_back();
                state[finished.index] = done;
                height[finished.index] = uchar(finished.height);
                nodes[finished.index] = quint32(finished.nodes);
                if (!path.empty() && !credit(path.back(), finished.height, finished.nodes)) return false;
                continue;
            }
            const quint64 child = bigEndian(data_ + current.refs + current.next * quint64(refWidth_), refWidth_);
            ++current.next;
            if (child >= count_ || state[child] == onPath) return false;  // outside the table, or a loop
            if (state[child] == done) {
                if (path.size() + height[child] > size_t(PropertyList::kMaxDepth)) return false;
                if (!credit(current, height[child], nodes[child])) return false;
                continue;
            }
            if (!open(child, frame, container)) return false;
            if (!container) {
                state[child] = done;
                nodes[child] = 1;
                if (!credit(current, 0, 1)) return false;
                continue;
            }
            if (path.size() >= size_t(PropertyList::kMaxDepth)) return false;
            state[child] = onPath;
            path.push_back(frame);
        }
        return true;
    }

    static bool credit(Frame& parent, int childHeight, quint64 childNodes) {
        parent.height = std::max(parent.height, childHeight + 1);
        parent.nodes += childNodes;
        return parent.nodes <= kMaxNodes;
    }

    const uchar* data_;
    quint64 size_;
    int offsetWidth_ = 0;
    int refWidth_ = 0;
    quint64 count_ = 0;
    quint64 table_ = 0;
};

plist_t rootOf(void* root) {
    return static_cast<plist_t>(root);
}

}  // namespace

bool PropertyList::isWithinLimits(QByteArrayView bytes) {
    if (bytes.isEmpty() || bytes.size() > kMaxBytes) return false;
    const std::string_view text(bytes.data(), size_t(bytes.size()));
    if (startsWith(text, 0, kBinaryMagic)) return BinaryCheck(text).run();
    if (startsWith(text, 0, kBinaryPrefix)) return false;  // a binary version the parser does not read
    return xmlWithinLimits(text);
}

std::optional<PropertyList> PropertyList::parse(QByteArrayView bytes) {
    if (!isWithinLimits(bytes)) return std::nullopt;
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), uint32_t(bytes.size()), &root);
    if (!root) return std::nullopt;
    return PropertyList(root);
}

std::optional<PropertyList> PropertyList::read(const QString& path) {
    std::optional<FileReader> reader = FileReader::open(path);
    if (!reader || reader->size() > kMaxBytes) return std::nullopt;
    // One byte more than the cap tells a file that grew since it was opened.
    const QByteArray bytes = reader->read(kMaxBytes + 1);
    return parse(bytes);
}

bool PropertyList::isDictionary() const {
    return root_ && plist_get_node_type(rootOf(root_)) == PLIST_DICT;
}

std::optional<QString> PropertyList::text(const char* key) const {
    if (!isDictionary()) return std::nullopt;
    plist_t node = plist_dict_get_item(rootOf(root_), key);
    if (!node || plist_get_node_type(node) != PLIST_STRING) return std::nullopt;
    uint64_t length = 0;
    const char* value = plist_get_string_ptr(node, &length);
    if (!value) return std::nullopt;
    return QString::fromUtf8(value, qsizetype(length));
}

PropertyList::~PropertyList() {
    if (root_) plist_free(rootOf(root_));
}

PropertyList::PropertyList(PropertyList&& other) noexcept : root_(other.root_) {
    other.root_ = nullptr;
}

PropertyList& PropertyList::operator=(PropertyList&& other) noexcept {
    if (this != &other) {
        if (root_) plist_free(rootOf(root_));
        root_ = other.root_;
        other.root_ = nullptr;
    }
    return *this;
}

}  // namespace tarnwick
