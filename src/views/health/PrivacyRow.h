#pragma once

#include "models/PrivacyItem.h"
#include "views/common/FilledPanel.h"

class QLabel;

namespace tarnwick {

class PlainButton;

// One privacy-residue item on the Protection screen: a check circle, the
// title over the path (home as "~"), and the size. The row only reports
// clicks on its check circle.
class PrivacyRow : public FilledPanel {
    Q_OBJECT

public:
    explicit PrivacyRow(const PrivacyItem& item, QWidget* parent = nullptr);

    const PrivacyItem& item() const { return item_; }
    // Shows new values for the same item (the tick, mostly).
    void setItem(const PrivacyItem& item);

signals:
    void toggleRequested(const QUuid& id);

private:
    void apply();

    PrivacyItem item_;
    PlainButton* check_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* detail_ = nullptr;
    QLabel* size_ = nullptr;
};

}  // namespace tarnwick
