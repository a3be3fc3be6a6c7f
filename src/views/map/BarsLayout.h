#pragma once

#include "models/ScanNode.h"

#include <QColor>
#include <QPointF>
#include <QRectF>

#include <vector>

namespace tarnwick {

// Heights of the text lines the bars are laid out around (from the fonts).
struct BarsMetrics {
    double headerHeight = 16;    // the root's name and size
    double nameLineHeight = 15;  // a row's name and size
};

// One row of the bars: a ranked child with its card, text line and bar.
struct BarsRow {
    ScanNodePtr node;
    int rank = 0;
    QRectF rect;   // the row's rounded card
    QRectF line;   // the name and size line inside it
    QRectF track;  // the full-width bar track
    QRectF bar;    // the child's bar, from the track's left edge
    QColor color;
};

// The bars rendering of one folder level: a header and one row for each of
// the first 40 ranked children, stacked in a scrolling column. Coordinates
// are those of the scrolled content.
class BarsLayout {
public:
    static constexpr int kMaxRows = 40;
    static constexpr double kInset = 16;
    static constexpr double kSpacing = 8;
    static constexpr double kHeaderGap = 6;
    static constexpr double kRowInset = 10;
    static constexpr double kLineSpacing = 4;
    static constexpr double kBarHeight = 10;
    static constexpr double kMinimumBar = 6;
    static constexpr double kCornerRadius = 10;

    void build(const ScanNodePtr& root, double width, const BarsMetrics& metrics = {});
    void clear();

    QRectF header() const { return header_; }
    const std::vector<BarsRow>& rows() const { return rows_; }
    double contentHeight() const { return contentHeight_; }

    // The row whose card holds a point of the content, or null.
    const BarsRow* hitTest(QPointF contentPoint) const;

private:
    QRectF header_;
    std::vector<BarsRow> rows_;
    double contentHeight_ = 0;
    double rowHeight_ = 0;
};

}  // namespace tarnwick
