#pragma once

#include "views/cleanup/FindingsScreen.h"

namespace tarnwick {

// The Clutter section: the clutter items in one card per kind, in the kinds'
// order, with their ticks, the scan and the clean into the Safe Bin.
class ClutterView : public FindingsScreen {
    Q_OBJECT

public:
    explicit ClutterView(AppState& state, QWidget* parent = nullptr);

    // The cards of a list of items: one per kind that has items.
    static std::vector<Group> groups(const QList<ClutterItem>& items);
};

}  // namespace tarnwick
