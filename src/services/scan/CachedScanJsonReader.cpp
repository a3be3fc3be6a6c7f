#include "services/scan/CachedScanJsonReader.h"

#include "services/scan/CachedScanJsonCursor.h"
#include "support/HexText.h"
#include "support/JsonCoding.h"

#include <QJsonObject>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <iterator>
#include <memory>
#include <string_view>
#include <thread>
#include <vector>

namespace tarnwick::CachedScanJsonReader {

namespace {

using CachedScanJson::DecodeOptions;
using CachedScanJson::kMaxTreeDepth;

// Any value other than the tree (the insights, unknown keys) may nest this deep.
constexpr int kMaxValueDepth = 64;

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

class Parser : private CachedScanJsonCursor {
public:
    Parser(const char* begin, const char* end, const DecodeOptions& options)
        : CachedScanJsonCursor(begin, end), maxNodes_(options.maxNodes), pieceBytes_(options.pieceBytes) {}

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
        if (end_ - p_ >= 38 && p_[0] == '"' && p_[37] == '"' && HexText::uuidFromCanonical(p_ + 1, id)) {
            p_ += 38;
            return true;
        }
        std::string_view text;
        return utf8String(text) && text.size() == 36 && HexText::uuidFromCanonical(text.data(), id);
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

    qint64 maxNodes_;
    qint64 pieceBytes_;
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

NodeKind kindFromUtf8(std::string_view text) {
    if (text == "file") return NodeKind::file;
    if (text == "smallGroup") return NodeKind::smallGroup;
    if (text == "restricted") return NodeKind::restricted;
    if (text == "virtual") return NodeKind::virtual_;
    return NodeKind::dir;
}

std::optional<CachedScan> decode(QByteArrayView json, const DecodeOptions& options) {
    if (json.size() > CachedScanJson::kMaxDocumentBytes) return std::nullopt;
    const char* begin = json.data();
    const char* end = begin + json.size();
    // A document large enough to hold more nodes than allowed has them
    // counted first, so a flood of tiny nodes costs no memory.
    if (json.size() / kMinNodeBytes >= options.maxNodes && !Parser(begin, end, options).treeWithinCap()) {
        return std::nullopt;
    }
    return Parser(begin, end, options).document();
}

}  // namespace tarnwick::CachedScanJsonReader
