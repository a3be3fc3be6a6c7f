#pragma once

#include "models/SafeBinEntry.h"

#include <QtGlobal>

#include <vector>

namespace tarnwick {

// What one publication of the Safe Bin list did to the list before it, row by
// row: the rows that left, the rows that came and the rows whose entry changed
// in place (a grouped item that lost some of its members). Worked out where
// the list is read, off the UI thread, so that a screen showing the list only
// has to apply it.
//
// Applied in this order it turns the list before into the list after: remove
// the rows `removed` names (positions in the list before), then insert the
// rows `inserted` names at their positions in the list after, lowest first;
// `updated` names rows of the list after. Entries are matched by id; entries
// kept keep their order.
struct SafeBinChange {
    // Numbers the lists published one after the other: the list after this
    // change has `version`, the list it applies to `version - 1`.
    quint64 version = 0;
    // No row-by-row account (entries kept changed order, or ids repeat):
    // whoever shows the list reads it whole.
    bool whole = false;
    std::vector<qsizetype> removed;   // ascending
    std::vector<qsizetype> inserted;  // ascending
    std::vector<qsizetype> updated;   // ascending

    bool isEmpty() const { return !whole && removed.empty() && inserted.empty() && updated.empty(); }

    static SafeBinChange between(const std::vector<SafeBinEntry>& before, const std::vector<SafeBinEntry>& after);
};

}  // namespace tarnwick
