#include "state/SafeBinChange.h"

#include <QHash>

namespace tarnwick {

SafeBinChange SafeBinChange::between(const std::vector<SafeBinEntry>& before, const std::vector<SafeBinEntry>& after) {
    SafeBinChange change;
    auto whole = [] {
        SafeBinChange result;
        result.whole = true;
        return result;
    };
    QHash<QUuid, qsizetype> rowOf;
    rowOf.reserve(qsizetype(before.size()));
    for (size_t i = 0; i < before.size(); ++i) {
        if (rowOf.contains(before[i].id)) return whole();
        rowOf.insert(before[i].id, qsizetype(i));
    }
    std::vector<bool> kept(before.size(), false);
    qsizetype lastKept = -1;
    for (size_t j = 0; j < after.size(); ++j) {
        const auto found = rowOf.constFind(after[j].id);
        if (found == rowOf.constEnd()) {
            change.inserted.push_back(qsizetype(j));
            continue;
        }
        const qsizetype i = *found;
        // An entry met again (a repeated id) or out of its old order.
        if (i <= lastKept) return whole();
        lastKept = i;
        kept[size_t(i)] = true;
        if (before[size_t(i)] != after[j]) change.updated.push_back(qsizetype(j));
    }
    for (size_t i = 0; i < before.size(); ++i) {
        if (!kept[i]) change.removed.push_back(qsizetype(i));
    }
    return change;
}

}  // namespace tarnwick
