#include "views/map/BarsLayout.h"

#include "views/map/MapColors.h"
#include "views/map/MapRanking.h"

#include <algorithm>
#include <cmath>

namespace tarnwick {

void BarsLayout::clear() {
    header_ = QRectF();
    rows_.clear();
    contentHeight_ = 0;
    rowHeight_ = 0;
}

void BarsLayout::build(const ScanNodePtr& root, double width, const BarsMetrics& metrics) {
    clear();
    // A column narrower than its margins gets no negative widths.
    const double rowWidth = std::max(0.0, width - 2 * kInset);
    const double innerWidth = std::max(0.0, rowWidth - 2 * kRowInset);
    header_ = QRectF(kInset, kInset, rowWidth, metrics.headerHeight);
    rowHeight_ = 2 * kRowInset + metrics.nameLineHeight + kLineSpacing + kBarHeight;
    double y = header_.bottom() + kHeaderGap;
    if (root) {
        const std::vector<ScanNodePtr> nodes = MapRanking::ranked(*root, kMaxRows);
        const double largest = nodes.empty() ? 1.0 : std::max(1.0, double(nodes.front()->size));
        rows_.reserve(nodes.size());
        for (size_t i = 0; i < nodes.size(); ++i) {
            y += kSpacing;
            BarsRow row;
            row.node = nodes[i];
            row.rank = int(i);
            row.rect = QRectF(kInset, y, rowWidth, rowHeight_);
            row.line = QRectF(kInset + kRowInset, y + kRowInset, innerWidth, metrics.nameLineHeight);
            row.track = QRectF(row.line.left(), row.line.bottom() + kLineSpacing, innerWidth, kBarHeight);
            const double barWidth = std::max(kMinimumBar, innerWidth * double(row.node->size) / largest);
            row.bar = QRectF(row.track.left(), row.track.top(), barWidth, kBarHeight);
            row.color = MapColors::forRank(*row.node, i);
            rows_.push_back(std::move(row));
            y += rowHeight_;
        }
    }
    contentHeight_ = y + kInset;
}

const BarsRow* BarsLayout::hitTest(QPointF p) const {
    if (rows_.empty() || p.x() < kInset || p.x() >= rows_.front().rect.right()) return nullptr;
    // Rows are evenly spaced: the index follows from y.
    const double offset = p.y() - rows_.front().rect.top();
    if (offset < 0) return nullptr;
    const double index = std::floor(offset / (rowHeight_ + kSpacing));
    if (index >= double(rows_.size())) return nullptr;
    const BarsRow& row = rows_[size_t(index)];
    return p.y() < row.rect.bottom() ? &row : nullptr;
}

}  // namespace tarnwick
