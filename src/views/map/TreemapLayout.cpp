#include "views/map/TreemapLayout.h"

#include "views/map/MapRanking.h"

#include <QHash>

#include <algorithm>

namespace tarnwick {

namespace {

bool holds(const QRectF& r, QPointF p) {
    return p.x() >= r.x() && p.x() < r.x() + r.width() && p.y() >= r.y() && p.y() < r.y() + r.height();
}

}  // namespace

QRectF TreemapLayout::drawingArea(QSizeF viewSize) {
    return QRectF(kInset, kInset, std::max(0.0, viewSize.width() - 2 * kInset),
                  std::max(0.0, viewSize.height() - 2 * kInset));
}

bool TreemapLayout::showsLabel(const QRectF& tileRect) {
    return tileRect.width() > kLabelMinWidth && tileRect.height() > kLabelMinHeight;
}

std::vector<TreemapTile> TreemapLayout::layout(std::vector<ScanNodePtr> nodes, QSizeF area) {
    return layout(std::move(nodes), area, nullptr);
}

std::vector<TreemapTile> TreemapLayout::layout(std::vector<ScanNodePtr> nodes, QSizeF area,
                                               std::vector<QRectF>* remainders) {
    const auto larger = [](const ScanNodePtr& a, const ScanNodePtr& b) { return a->size > b->size; };
    if (!std::is_sorted(nodes.begin(), nodes.end(), larger))
        std::stable_sort(nodes.begin(), nodes.end(), larger);

    // unplaced[i]: the sizes of node i and all after it, what is still to be
    // placed when node i is cut. Its share of that, taken from what is left of
    // the area, keeps every slot's area in proportion to its size. Summed from
    // the end, so no share suffers from repeated subtraction.
    std::vector<double> unplaced(nodes.size() + 1, 0.0);
    for (size_t i = nodes.size(); i-- > 0;)
        unplaced[i] = unplaced[i + 1] + double(std::max<qint64>(nodes[i]->size, 0));

    std::vector<TreemapTile> tiles;
    tiles.reserve(nodes.size());
    if (remainders) remainders->reserve(nodes.size());
    double x = 0, y = 0, width = area.width(), height = area.height();
    bool horizontal = width >= height;
    const size_t last = nodes.empty() ? 0 : nodes.size() - 1;
    for (size_t i = 0; i < nodes.size(); ++i) {
        const double size = double(std::max<qint64>(nodes[i]->size, 0));
        const double fraction = unplaced[i] > 0 ? std::min(size / unplaced[i], 1.0) : 0.0;
        QRectF rect;
        if (horizontal) {
            const double extent = i == last ? width : fraction * width;
            rect = QRectF(x, y, std::max(1.0, extent - kGap), std::max(1.0, height - kGap));
            x += extent;
            width = std::max(width - extent, 0.0);
        } else {
            const double extent = i == last ? height : fraction * height;
            rect = QRectF(x, y, std::max(1.0, width - kGap), std::max(1.0, extent - kGap));
            y += extent;
            height = std::max(height - extent, 0.0);
        }
        tiles.push_back({std::move(nodes[i]), rect});
        if (remainders) remainders->push_back(QRectF(x, y, width, height));
        if (i % 2 == 1) horizontal = !horizontal;
    }
    return tiles;
}

void TreemapLayout::markCovered(std::vector<TreemapTile>& tiles) {
    // Each tile is filled at 0.9 opacity and outlined, so after three more
    // draws on the same pixels less than a tenth of a percent of it shows.
    constexpr int kCoveringDraws = 3;
    QHash<QRect, int> later;
    for (auto it = tiles.rbegin(); it != tiles.rend(); ++it) {
        int& count = later[it->rect.toAlignedRect()];
        it->covered = count >= kCoveringDraws;
        ++count;
    }
}

void TreemapLayout::clear() {
    tiles_.clear();
    remainders_.clear();
}

void TreemapLayout::build(const ScanNodePtr& root, QSizeF viewSize) {
    clear();
    area_ = drawingArea(viewSize);
    if (!root) return;
    tiles_ = layout(MapRanking::ranked(*root), area_.size(), &remainders_);
    markCovered(tiles_);
}

const TreemapTile* TreemapLayout::hitTest(QPointF viewPoint) const {
    const QPointF p = viewPoint - area_.topLeft();
    if (tiles_.empty() || !holds(QRectF(QPointF(0, 0), area_.size()), p)) return nullptr;
    // The slot holding p is the first whose remainder no longer holds it.
    const auto it = std::partition_point(remainders_.begin(), remainders_.end(),
                                         [p](const QRectF& rest) { return holds(rest, p); });
    if (it == remainders_.end()) return nullptr;
    const TreemapTile& tile = tiles_[size_t(it - remainders_.begin())];
    return holds(tile.rect, p) ? &tile : nullptr;
}

}  // namespace tarnwick
