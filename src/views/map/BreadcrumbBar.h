#pragma once

#include "models/ScanNode.h"

#include <QList>
#include <QScrollArea>

#include <functional>

class QHBoxLayout;

namespace tarnwick {

class PlainButton;

// The path from the top of the tree down to the focused node, one button per
// node with a chevron between neighbours; the focus is last, in semibold.
// When the chain is wider than the bar it scrolls so the focus stays in view.
class BreadcrumbBar : public QScrollArea {
    Q_OBJECT

public:
    explicit BreadcrumbBar(QWidget* parent = nullptr);

    // Rebuilds the chain ending at the node; null empties it.
    void setFocusNode(const ScanNodePtr& focus);
    // Called with the node of a clicked element.
    void setOnClick(std::function<void(const ScanNodePtr&)> onClick);

    // The top of the tree first, the focus last.
    static std::vector<ScanNodePtr> chain(const ScanNodePtr& focus);
    // The element buttons in chain order, and how many chevrons separate them.
    QList<PlainButton*> elements() const { return elements_; }
    int chevronCount() const { return chevrons_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

private:
    QWidget* host_ = nullptr;
    QHBoxLayout* layout_ = nullptr;
    QList<PlainButton*> elements_;
    int chevrons_ = 0;
    std::function<void(const ScanNodePtr&)> onClick_;
};

}  // namespace tarnwick
