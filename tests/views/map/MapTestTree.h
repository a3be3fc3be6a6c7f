#pragma once

#include "models/ScanNode.h"

#include <QUuid>

#include <ostream>
#include <vector>

namespace tarnwick {

// Failures name the node instead of dumping its bytes.
inline void PrintTo(const ScanNodePtr& node, std::ostream* out) {
    *out << (node ? node->name.toStdString() : std::string("(none)"));
}

}  // namespace tarnwick

namespace tarnwick::test {

// A node of a hand-made size tree (sizes as given, no roll-up).
inline ScanNodePtr node(const QString& name, qint64 size, std::vector<ScanNodePtr> children = {},
                        NodeKind kind = NodeKind::dir) {
    return ScanNode::create(QUuid::createUuid(), name, "/" + name, kind, size, std::move(children));
}

inline ScanNodePtr file(const QString& name, qint64 size) {
    return node(name, size, {}, NodeKind::file);
}

// A folder with `count` file children of sizes count, count-1, ..., 1.
inline ScanNodePtr folderOfFiles(int count) {
    std::vector<ScanNodePtr> children;
    qint64 total = 0;
    for (int i = count; i >= 1; --i) {
        children.push_back(file(QStringLiteral("f%1").arg(i), i));
        total += i;
    }
    return node("many", total, std::move(children));
}

}  // namespace tarnwick::test
