#pragma once

#include "views/cleanup/FindingsScreen.h"

namespace tarnwick {

// The Junk section: the junk findings in one card per category, in the
// categories' order, with their ticks, the scan and the clean into the Safe Bin.
class CleanupView : public FindingsScreen {
    Q_OBJECT

public:
    explicit CleanupView(AppState& state, QWidget* parent = nullptr);

    // The cards of a list of findings: one per category that has findings.
    static std::vector<Group> groups(const QList<CleanupItem>& items);
};

}  // namespace tarnwick
