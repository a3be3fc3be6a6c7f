#include "models/ScanNode.h"

#include <algorithm>
#include <limits>
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

}  // namespace

QString ScanNode::smallFilesName(qint64 count) {
    return QChar(0x2026) + QString::number(count) + QStringLiteral(" small files") + QChar(0x2026);
}

ScanNodePtr ScanNode::create(QUuid id, QString name, QString path, NodeKind kind, qint64 size,
                             std::vector<ScanNodePtr> children) {
    std::erase(children, nullptr);
    auto node = std::make_shared<ScanNode>(Key{}, id, std::move(name), std::move(path), kind, size,
                                           std::move(children));
    for (const ScanNodePtr& child : node->children) child->parent_ = node;
    return node;
}

ScanNode::ScanNode(Key, QUuid id, QString name, QString path, NodeKind kind, qint64 size,
                   std::vector<ScanNodePtr> children)
    : id(id),
      name(std::move(name)),
      path(std::move(path)),
      kind(kind),
      size(size),
      children(std::move(children)) {}

ScanNode::~ScanNode() {
    if (children.empty()) return;
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

bool ScanNode::isCollectable() const {
    return !isAggregate && kind != NodeKind::virtual_ && kind != NodeKind::smallGroup;
}

qint64 ScanNode::childrenSum() const {
    qint64 sum = 0;
    for (const ScanNodePtr& child : children) sum += child->size;
    return sum;
}

void ScanNode::sortChildren() {
    if (!std::is_sorted(children.begin(), children.end(), largerFirst)) {
        std::stable_sort(children.begin(), children.end(), largerFirst);
    }
}

void ScanNode::appendChild(ScanNodePtr child) {
    if (!child) return;
    child->parent_ = weak_from_this();
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
    qint64 smallSum = 0;
    for (ScanNodePtr& child : children) {
        if (isSmall(child)) {
            smallSum += child->size;
            small.push_back(std::move(child));
        } else {
            kept.push_back(std::move(child));
        }
    }
    // Both lists keep the sorted order, so the group's children are sorted
    // already, and the group goes in after every kept child at least as large.
    ScanNodePtr group = create(QUuid::createUuid(), kSmallerObjectsName.toString(), path,
                               NodeKind::smallGroup, smallSum, std::move(small));
    group->isAggregate = true;
    group->parent_ = weak_from_this();
    const auto at = std::find_if(kept.begin(), kept.end(),
                                 [smallSum](const ScanNodePtr& child) { return child->size < smallSum; });
    kept.insert(at, std::move(group));
    children = std::move(kept);
    size = childrenSum();
}

}  // namespace tarnwick
