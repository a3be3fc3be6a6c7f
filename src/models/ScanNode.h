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
//
// A node does not keep its full path unless it has to: most nodes take it
// from their parent chain (the holder's path and their own name, or just the
// holder's path for the small-files node and merged groups), so a deep tree
// of long names costs its names once, not once per level. path() puts the
// path together on demand. A node that outlives the holder its path comes
// from keeps the path it had.
class ScanNode : public std::enable_shared_from_this<ScanNode> {
    struct Key {
        explicit Key() = default;
    };

public:
    // The name of the node that merges a folder's small children.
    static constexpr QStringView kSmallerObjectsName = u"\u2026smaller objects\u2026";
    // The name of a folder's small-files node: "…12 small files…".
    static QString smallFilesName(qint64 count);

    // Makes a node with the given path and becomes the parent of every child
    // given (null children are dropped). A child whose path follows from this
    // node's path (this path joined with its name, or this path itself) stops
    // storing it.
    static ScanNodePtr create(QUuid id, QString name, QString path, NodeKind kind, qint64 size,
                              std::vector<ScanNodePtr> children = {});
    // A node whose path is its holder's path joined with its name: a file or
    // folder found in a listing, whose name is its path component.
    static ScanNodePtr createEntry(QUuid id, QString name, NodeKind kind, qint64 size,
                                   std::vector<ScanNodePtr> children = {});
    // A node that carries its holder's path: a small-files node or a merged group.
    static ScanNodePtr createInHolder(QUuid id, QString name, NodeKind kind, qint64 size,
                                      std::vector<ScanNodePtr> children = {});

    // A fresh id without a random-number call: a random prefix drawn once per
    // process and a counter, laid out as a version-4 UUID. Unique within the
    // process and, by the prefix, against ids of other runs. Any thread.
    static QUuid makeId();

    ScanNode(Key, QUuid id, QString name, NodeKind kind, qint64 size, std::vector<ScanNodePtr> children);
    // Frees the subtree it alone owns without recursing, however deep it is.
    ~ScanNode();
    ScanNode(const ScanNode&) = delete;
    ScanNode& operator=(const ScanNode&) = delete;

    QUuid id;
    QString name;
    NodeKind kind;
    qint64 size;
    std::vector<ScanNodePtr> children;
    // Stands for more than one item (small-files node, merged group, folded
    // cache node, hidden space): it must never be moved or deleted as such.
    bool isAggregate = false;

    // Absolute path in the file system; the small-files node and merged
    // groups carry their folder's path. Built from the parent chain: costs a
    // walk up to the nearest node that stores its path. A node made by
    // createEntry() or createInHolder() that has no holder yet answers its
    // name, or an empty path.
    QString path() const;
    // The path, given the path of the node holding it: what path() answers,
    // without the walk up the chain, for callers going down a tree.
    QString pathBelow(const QString& holderPath) const;
    // True when the node keeps its own path text rather than deriving it.
    bool storesPath() const { return rule_ == PathRule::stored; }

    // The node holding this one, or null for a root (or once the holder is gone).
    ScanNodePtr parent() const;

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
    // Sums saturate at the 64-bit range.
    void finalize(double mergeThreshold);

private:
    enum class PathRule : unsigned char {
        stored,          // storedPath_
        holderAndName,   // parent's path joined with name
        holder,          // parent's path
    };

    static ScanNodePtr make(QUuid id, QString name, QString storedPath, PathRule rule, NodeKind kind, qint64 size,
                            std::vector<ScanNodePtr> children);
    // Becomes child's parent; the child's path stays what it was.
    void adopt(ScanNode& child);
    void finishOne(double mergeThreshold);
    qint64 childrenSum() const;
    void sortChildren();

    QString storedPath_;           // only for PathRule::stored
    ScanNode* parent_ = nullptr;   // never dangling: a dying holder detaches the children that outlive it
    PathRule rule_ = PathRule::stored;
};

}  // namespace tarnwick
