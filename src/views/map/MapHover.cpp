#include "views/map/MapHover.h"

namespace tarnwick::MapHover {

bool sameNode(const ScanNodePtr& a, const ScanNodePtr& b) {
    if (!a || !b) return !a && !b;
    return a->id == b->id;
}

ScanNodePtr afterLeave(const ScanNodePtr& hovered, const ScanNodePtr& item) {
    if (hovered && item && hovered->id == item->id) return nullptr;
    return hovered;
}

}  // namespace tarnwick::MapHover
