#include "views/map/MapRanking.h"

#include <algorithm>

namespace tarnwick::MapRanking {

std::vector<ScanNodePtr> ranked(const ScanNode& root, size_t limit) {
    struct Entry {
        const ScanNodePtr* node;
        qint64 size;
        size_t order;
    };
    std::vector<Entry> entries;
    entries.reserve(root.children.size());
    for (size_t i = 0; i < root.children.size(); ++i) {
        const ScanNodePtr& child = root.children[i];
        if (child->size > 0) entries.push_back({&child, child->size, i});
    }
    // Size, then stored order: a total order, so a partial sort of the first
    // `limit` is exactly the stable ranking. Stored children are usually
    // sorted already, which needs no sorting at all.
    const auto before = [](const Entry& a, const Entry& b) {
        return a.size != b.size ? a.size > b.size : a.order < b.order;
    };
    const size_t count = std::min(limit, entries.size());
    if (!std::is_sorted(entries.begin(), entries.end(), before))
        std::partial_sort(entries.begin(), entries.begin() + count, entries.end(), before);
    std::vector<ScanNodePtr> result;
    result.reserve(count);
    for (size_t i = 0; i < count; ++i) result.push_back(*entries[i].node);
    return result;
}

double rankedTotal(const ScanNode& root) {
    double total = 0;
    for (const ScanNodePtr& child : root.children)
        if (child->size > 0) total += double(child->size);
    return total;
}

}  // namespace tarnwick::MapRanking
