#pragma once

#include "models/AppUpdateItem.h"
#include "views/common/FilledPanel.h"

class QLabel;

namespace tarnwick {

class ClampedText;
class TaldoButton;

// One update candidate on the Apps screen: the name, "Installed <version>",
// the reason in at most two lines, and the button the row reports: "Open",
// or "Update" for a user Flatpak app, whose click runs its update ("Updating…",
// not enabled, while it runs).
class UpdateCandidateRow : public FilledPanel {
    Q_OBJECT

public:
    explicit UpdateCandidateRow(const AppUpdateItem& item, QWidget* parent = nullptr);

    const AppUpdateItem& item() const { return item_; }
    TaldoButton* openButton() const { return open_; }

signals:
    void openRequested(const tarnwick::AppUpdateItem& item);

private:
    AppUpdateItem item_;
    TaldoButton* open_ = nullptr;
};

}  // namespace tarnwick
