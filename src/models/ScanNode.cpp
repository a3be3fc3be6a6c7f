#include "models/ScanNode.h"

#include "support/Saturating.h"

#include <QRandomGenerator>
#include <QVarLengthArray>

#include <algorithm>
#include <atomic>
#include <limits>
#include <optional>
#include <utility>

namespace tarnwick {

namespace {

bool sumsChildren(NodeKind kind) {
    return kind == NodeKind::dir || kind == NodeKind::smallGroup || kind == NodeKind::virtual_;
}

bool largerFirst(const ScanNodePtr& a, const ScanNodePtr& b) {
    return a->size > b->size;
}

// The size below which a child of a folder of the given size counts as small:
// size * threshold truncated toward zero, never below 1.
qint64 mergeCutoff(qint64 size, double threshold) {
    const double product = static_cast<double>(size) * threshold;
    // Written so that NaN and negative products land on 1.
    if (!(product >= 2.0)) return 1;
    if (product >= 9223372036854775807.0) return std::numeric_limits<qint64>::max();
    return static_cast<qint64>(product);
}

// Whether a separator goes between a folder's path and a name appended to it.
bool needsSeparator(const QString& folder) {
    return !folder.isEmpty() && !folder.endsWith(QLatin1Char('/'));
}

// Whether path is folder joined with name, compared without building the join.
bool isJoin(const QString& path, const QString& folder, const QString& name) {
    const qsizetype separator = needsSeparator(folder) ? 1 : 0;
    if (path.size() != folder.size() + separator + name.size()) return false;
    if (!QStringView(path).startsWith(folder)) return false;
    if (separator && path[folder.size()] != QLatin1Char('/')) return false;
    return QStringView(path).endsWith(name);
}

}  // namespace

QString ScanNode::smallFilesName(qint64 count) {
    return QChar(0x2026) + QString::number(count) + QStringLiteral(" small files") + QChar(0x2026);
}

QUuid ScanNode::makeId() {
    struct Prefix {
        quint32 high;
        quint16 mid;
        quint16 version;  // 12 random bits
        quint8 variant;   // 6 random bits
    };
    static const Prefix prefix = [] {
        QRandomGenerator* random = QRandomGenerator::system();
        const quint64 a = random->generate64();
        const quint32 b = random->generate();
        return Prefix{static_cast<quint32>(a >> 32), static_cast<quint16>(a >> 16), static_cast<quint16>(a & 0x0FFF),
                      static_cast<quint8>(b & 0x3F)};
    }();
    // Each thread takes counter values in blocks, so threads making nodes at
    // once do not contend on one counter.
    constexpr quint64 kBlock = 4096;
    static std::atomic<quint64> nextBlock{0};
    thread_local quint64 next = 0;
    thread_local quint64 left = 0;
    if (left == 0) {
        next = nextBlock.fetch_add(kBlock, std::memory_order_relaxed);
        left = kBlock;
    }
    const quint64 n = next++;
    --left;
    return QUuid(prefix.high, prefix.mid, static_cast<quint16>(0x4000 | prefix.version),
                 static_cast<uchar>(0x80 | prefix.variant), static_cast<uchar>(n >> 48), static_cast<uchar>(n >> 40),
                 static_cast<uchar>(n >> 32), static_cast<uchar>(n >> 24), static_cast<uchar>(n >> 16),
                 static_cast<uchar>(n >> 8), static_cast<uchar>(n));
}

ScanNodePtr ScanNode::make(QUuid id, QString name, QString storedPath, PathRule rule, NodeKind kind, qint64 size,
                           std::vector<ScanNodePtr> children) {
    std::erase(children, nullptr);
    auto node = std::make_shared<ScanNode>(Key{}, id, std::move(name), kind, size, std::move(children));
    node->storedPath_ = std::move(storedPath);
    node->rule_ = rule;
    for (const ScanNodePtr& child : node->children) node->adopt(*child);
    return node;
}

ScanNodePtr ScanNode::create(QUuid id, QString name, QString path, NodeKind kind, qint64 size,
                             std::vector<ScanNodePtr> children) {
    return make(id, std::move(name), std::move(path), PathRule::stored, kind, size, std::move(children));
}

ScanNodePtr ScanNode::createEntry(QUuid id, QString name, NodeKind kind, qint64 size,
                                  std::vector<ScanNodePtr> children) {
    return make(id, std::move(name), QString(), PathRule::holderAndName, kind, size, std::move(children));
}

ScanNodePtr ScanNode::createInHolder(QUuid id, QString name, NodeKind kind, qint64 size,
                                     std::vector<ScanNodePtr> children) {
    return make(id, std::move(name), QString(), PathRule::holder, kind, size, std::move(children));
}

ScanNode::ScanNode(Key, QUuid id, QString name, NodeKind kind, qint64 size, std::vector<ScanNodePtr> children)
    : id(id), name(std::move(name)), kind(kind), size(size), children(std::move(children)) {}

ScanNode::~ScanNode() {
    if (children.empty()) return;
    // Children held elsewhere outlive this node: while the whole chain is
    // still intact, they take their path as stored text and let go of it.
    std::vector<ScanNode*> dying{this};
    while (!dying.empty()) {
        ScanNode* node = dying.back();
        dying.pop_back();
        for (const ScanNodePtr& child : node->children) {
            if (!child || child->parent_ != node) continue;  // held by another parent now
            if (child.use_count() > 1) {
                if (child->rule_ != PathRule::stored) {
                    child->storedPath_ = child->path();
                    child->rule_ = PathRule::stored;
                }
                child->parent_ = nullptr;
            } else if (!child->children.empty()) {
                dying.push_back(child.get());
            }
        }
    }
    // Take the subtree apart level by level: a node this tree alone holds
    // gives up its children before it dies, so no destructor recurses.
    std::vector<ScanNodePtr> pending = std::move(children);
    children.clear();
    while (!pending.empty()) {
        ScanNodePtr node = std::move(pending.back());
        pending.pop_back();
        if (node && node.use_count() == 1 && !node->children.empty()) {
            for (ScanNodePtr& child : node->children) pending.push_back(std::move(child));
            node->children.clear();
        }
    }
}

QString ScanNode::path() const {
    if (rule_ == PathRule::stored) return storedPath_;
    // The nodes below the nearest one that stores its path (or has no holder).
    QVarLengthArray<const ScanNode*, 32> chain;
    const ScanNode* top = this;
    while (top->rule_ != PathRule::stored && top->parent_) {
        chain.append(top);
        top = top->parent_;
    }
    QString base;
    if (top->rule_ == PathRule::stored) {
        base = top->storedPath_;
    } else if (top->rule_ == PathRule::holderAndName) {
        base = top->name;
    }
    // Measure first (a separator per name at most), then build the text once.
    qsizetype length = base.size();
    bool named = false;
    for (const ScanNode* node : chain) {
        if (node->rule_ != PathRule::holderAndName) continue;
        length += 1 + node->name.size();
        named = true;
    }
    if (!named) return base;
    QString path;
    path.reserve(length);
    path += base;
    for (qsizetype i = chain.size() - 1; i >= 0; --i) {
        const ScanNode* node = chain[i];
        if (node->rule_ != PathRule::holderAndName) continue;
        if (needsSeparator(path)) path += QLatin1Char('/');
        path += node->name;
    }
    return path;
}

QString ScanNode::pathBelow(const QString& holderPath) const {
    switch (rule_) {
    case PathRule::stored: return storedPath_;
    case PathRule::holder: return holderPath;
    case PathRule::holderAndName: break;
    }
    if (!needsSeparator(holderPath)) return holderPath + name;
    QString path;
    path.reserve(holderPath.size() + 1 + name.size());
    path += holderPath;
    path += QLatin1Char('/');
    path += name;
    return path;
}

ScanNodePtr ScanNode::parent() const {
    return parent_ ? parent_->weak_from_this().lock() : nullptr;
}

void ScanNode::adopt(ScanNode& child) {
    if (child.parent_ == this) return;
    if (child.rule_ != PathRule::stored && child.parent_) {
        // Its path came from another holder: keep it.
        child.storedPath_ = child.path();
        child.rule_ = PathRule::stored;
    }
    child.parent_ = this;
    // A path that follows from this node's stored path need not be kept.
    if (child.rule_ == PathRule::stored && rule_ == PathRule::stored) {
        if (child.storedPath_ == storedPath_) {
            child.rule_ = PathRule::holder;
            child.storedPath_ = QString();
        } else if (isJoin(child.storedPath_, storedPath_, child.name)) {
            child.rule_ = PathRule::holderAndName;
            child.storedPath_ = QString();
        }
    }
}

bool ScanNode::isCollectable() const {
    return !isAggregate && kind != NodeKind::virtual_ && kind != NodeKind::smallGroup;
}

qint64 ScanNode::childrenSum() const {
    Saturating::Total sum;
    for (const ScanNodePtr& child : children) sum.add(child->size);
    return sum.value();
}

void ScanNode::sortChildren() {
    if (!std::is_sorted(children.begin(), children.end(), largerFirst)) {
        std::stable_sort(children.begin(), children.end(), largerFirst);
    }
}

void ScanNode::appendChild(ScanNodePtr child) {
    if (!child) return;
    adopt(*child);
    children.push_back(std::move(child));
    if (sumsChildren(kind)) size = childrenSum();
}

void ScanNode::resortChildren() {
    sortChildren();
    if (sumsChildren(kind)) size = childrenSum();
}

void ScanNode::finalize(double mergeThreshold) {
    // Post-order over the subtree with an explicit stack: a node is finished
    // after all of its children, in the current order of each child list.
    struct Frame {
        ScanNode* node;
        size_t next;
    };
    std::vector<Frame> stack;
    stack.push_back({this, 0});
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next < top.node->children.size()) {
            ScanNode* child = top.node->children[top.next++].get();
            stack.push_back({child, 0});
            continue;
        }
        ScanNode* node = top.node;
        stack.pop_back();
        node->finishOne(mergeThreshold);
    }
}

void ScanNode::finishOne(double mergeThreshold) {
    if (kind == NodeKind::dir || kind == NodeKind::smallGroup) size = childrenSum();
    sortChildren();
    if (kind != NodeKind::dir || size <= 0 || children.size() < 2) return;

    const qint64 cutoff = mergeCutoff(size, mergeThreshold);
    auto isSmall = [cutoff](const ScanNodePtr& child) {
        return child->size >= 1 && child->size < cutoff && child->kind != NodeKind::restricted;
    };
    const auto smallCount = std::count_if(children.begin(), children.end(), isSmall);
    if (smallCount < 2) return;

    std::vector<ScanNodePtr> kept;
    std::vector<ScanNodePtr> small;
    kept.reserve(children.size() - smallCount + 1);
    small.reserve(smallCount);
    Saturating::Total smallSum;
    for (ScanNodePtr& child : children) {
        if (isSmall(child)) {
            smallSum.add(child->size);
            small.push_back(std::move(child));
        } else {
            kept.push_back(std::move(child));
        }
    }
    // The group carries this folder's path, so every moved child keeps the
    // path it had. Both lists keep the sorted order, so the group's children
    // are sorted already, and the group goes in after every kept child at
    // least as large.
    const qint64 groupSize = smallSum.value();
    ScanNodePtr group =
        make(makeId(), kSmallerObjectsName.toString(), QString(), PathRule::holder, NodeKind::smallGroup, groupSize, {});
    group->parent_ = this;
    group->children = std::move(small);
    for (const ScanNodePtr& child : group->children) child->parent_ = group.get();
    group->isAggregate = true;
    const auto at = std::find_if(kept.begin(), kept.end(),
                                 [groupSize](const ScanNodePtr& child) { return child->size < groupSize; });
    kept.insert(at, std::move(group));
    children = std::move(kept);
    size = childrenSum();
}

}  // namespace tarnwick
