#pragma once

#include "models/ScanNode.h"

#include <cstddef>
#include <limits>
#include <vector>

namespace tarnwick {

// Ranking of a folder's children for the one-level renderings.
namespace MapRanking {

// The children of root with a size above 0, largest first, equal sizes in
// their stored order; only the first `limit` of them.
std::vector<ScanNodePtr> ranked(const ScanNode& root,
                                size_t limit = std::numeric_limits<size_t>::max());

// The sum of the sizes of root's children with a size above 0.
double rankedTotal(const ScanNode& root);

}  // namespace MapRanking

}  // namespace tarnwick
