#include "models/CollectorItem.h"

#include "models/FileRecord.h"
#include "models/ScanNode.h"

namespace tarnwick {

CollectorItem CollectorItem::fromNode(const ScanNode& node) {
    return CollectorItem{node.id, node.name, node.path(), node.size, node.kind == NodeKind::dir};
}

CollectorItem CollectorItem::fromRecord(const FileRecord& record) {
    return CollectorItem{record.id, record.name, record.path, record.size, false};
}

size_t qHash(const CollectorItem& item, size_t seed) noexcept {
    return qHashMulti(seed, item.id, item.name, item.path, item.size, item.isDirectory);
}

}  // namespace tarnwick
