#pragma once

#include "models/NodeKind.h"
#include "models/ScanNode.h"

#include <QColor>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QMenu;
class QScrollArea;

namespace tarnwick {

// The "Contents" column beside the space map: one row per node it is given
// (icon by kind, name, size, and a thin bar comparing the size with the
// largest node of the list), the hovered node's row highlighted, a click
// selecting a row and a context menu per row. The rows are painted on demand,
// so a folder with many thousand children costs only the visible rows. It
// keeps no state beyond what its owner hands it.
class ContentsSidebarView : public QWidget {
    Q_OBJECT

public:
    struct Actions {
        std::function<void(const ScanNodePtr&)> onSelect;   // a click on a row, and "Open"
        std::function<void(const ScanNodePtr&)> onCollect;  // "Move to Collector"
        std::function<void(const ScanNodePtr&)> onReveal;   // "Reveal in File Manager"
    };

    explicit ContentsSidebarView(QWidget* parent = nullptr);
    ~ContentsSidebarView() override;

    void setActions(Actions actions);
    // The rows, shown in this order.
    void setNodes(std::vector<ScanNodePtr> nodes);
    // The node whose row is highlighted (matched by id); null highlights nothing.
    void setHovered(ScanNodePtr node);

    const std::vector<ScanNodePtr>& nodes() const { return nodes_; }
    int rowCount() const { return int(nodes_.size()); }
    // The highlighted row, or -1.
    int highlightedRow() const;
    // What a click on the row does.
    void clickRow(int row);
    // The row's context menu (the caller owns it).
    std::unique_ptr<QMenu> contextMenu(int row, QWidget* parent = nullptr) const;
    // Where the row lies inside the scrolled list.
    QRect rowRect(int row) const;
    // The width the share bar of a row fills when the bar is barWidth wide.
    static double filledBarWidth(double barWidth, double share);
    QScrollArea* scrollArea() const { return scroll_; }

    // A node the map can drill into: a dir or merged group with children.
    static bool isContainer(const ScanNode& node);
    static QString symbolName(NodeKind kind);
    static QColor iconColor(const ScanNode& node);
    // The largest size among the nodes, 1 for none.
    static qint64 maxSize(const std::vector<ScanNodePtr>& nodes);
    // size / maxSize, or 0 when maxSize is not positive.
    static double share(qint64 size, qint64 maxSize);
    // The byte text of a size, a negative size counting as 0.
    static QString sizeText(qint64 size);
    // "Open Movies" for a container, the bare name otherwise.
    static QString accessibleLabel(const ScanNode& node);
    static QString accessibleHint(const ScanNode& node);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    class RowsWidget;

    Actions actions_;
    std::vector<ScanNodePtr> nodes_;
    ScanNodePtr hovered_;
    qint64 maxSize_ = 1;
    QScrollArea* scroll_ = nullptr;
    RowsWidget* rows_ = nullptr;
};

}  // namespace tarnwick
