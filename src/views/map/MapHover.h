#pragma once

#include "models/ScanNode.h"

namespace tarnwick {

// How the one-level renderings share the hovered node with the rest of the
// screen: every item tracks the pointer on its own.
namespace MapHover {

// Whether both hold the same node (by id); two nulls are the same.
bool sameNode(const ScanNodePtr& a, const ScanNodePtr& b);

// The hovered node after the pointer left `item`: cleared only while it still
// holds item's node, so the node another item has taken meanwhile stays.
ScanNodePtr afterLeave(const ScanNodePtr& hovered, const ScanNodePtr& item);

}  // namespace MapHover

}  // namespace tarnwick
