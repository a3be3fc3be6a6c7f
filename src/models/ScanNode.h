#pragma once

#include "models/CollectorItem.h"
#include "models/NodeKind.h"

#include <QString>
#include <QStringView>
#include <QUuid>

#include <memory>
#include <vector>

namespace tarnwick {

class ScanNode;
using ScanNodePtr = std::shared_ptr<ScanNode>;

// One node of a scan's size tree. Nodes are shared by whoever holds them
// (the state's root, focus and hovered node, the renderings); a node owns
// its children and knows its parent without owning it, so releasing the root
// releases the whole tree. Identity is the id; there is no value equality.
class ScanNode : public std::enable_shared_from_this<ScanNode> {
    struct Key {
        explicit Key() = default;
    };

public:
    // The name of the node that merges a folder's small children.
    static constexpr QStringView kSmallerObjectsName = u"\u2026smaller objects\u2026";
    // The name of a folder's small-files node: "…12 small files…".
    static QString smallFilesName(qint64 count);

    // Makes a node and becomes the parent of every child given (null children are dropped).
    static ScanNodePtr create(QUuid id, QString name, QString path, NodeKind kind, qint64 size,
                              std::vector<ScanNodePtr> children = {});

    ScanNode(Key, QUuid id, QString name, QString path, NodeKind kind, qint64 size,
             std::vector<ScanNodePtr> children);
    // Frees the subtree it alone owns without recursing, however deep it is.
    ~ScanNode();
    ScanNode(const ScanNode&) = delete;
    ScanNode& operator=(const ScanNode&) = delete;

    QUuid id;
    QString name;
    QString path;   // the small-files node and merged groups carry their folder's path
    NodeKind kind;
    qint64 size;
    std::vector<ScanNodePtr> children;
    // Stands for more than one item (small-files node, merged group, folded
    // cache node, hidden space): it must never be moved or deleted as such.
    bool isAggregate = false;

    // The node holding this one, or null for a root (or once the holder is gone).
    ScanNodePtr parent() const { return parent_.lock(); }

    // True when the node can be gathered for deletion: a real file or folder.
    bool isCollectable() const;

    // Appends a child and becomes its parent; dir, smallGroup and virtual
    // nodes then take the sum of their children as their size. Order is kept.
    void appendChild(ScanNodePtr child);
    // Sorts the children by size, largest first (stable), then dir,
    // smallGroup and virtual nodes take the sum of their children. Not recursive.
    void resortChildren();
    // Finishes the whole subtree (post-order, iteratively): rolls sizes up
    // into dir and smallGroup nodes, sorts every child list and merges, in
    // each dir, two or more non-restricted children of at least 1 byte that
    // are below mergeThreshold of the folder's size into one smallGroup.
    void finalize(double mergeThreshold);

private:
    void finishOne(double mergeThreshold);
    qint64 childrenSum() const;
    void sortChildren();

    std::weak_ptr<ScanNode> parent_;
};

}  // namespace tarnwick
