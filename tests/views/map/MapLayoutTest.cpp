#include "MapTestTree.h"

#include "design/TaldoTheme.h"
#include "views/map/BarsLayout.h"
#include "views/map/MapColors.h"
#include "views/map/MapHover.h"
#include "views/map/MapRanking.h"
#include "views/map/RingsLayout.h"
#include "views/map/SunburstLayout.h"
#include "views/map/TreemapLayout.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <cmath>
#include <limits>

using namespace tarnwick;
using tarnwick::test::file;
using tarnwick::test::folderOfFiles;
using tarnwick::test::node;

namespace {

QPointF polar(QPointF center, double radius, double degrees) {
    const double r = degrees * M_PI / 180.0;
    return center + QPointF(radius * std::cos(r), radius * std::sin(r));
}

// The sunburst hit rule written out plainly: every segment is a candidate.
const SunburstSegment* slowHit(const std::vector<SunburstSegment>& segments, QPointF p, QPointF c, double hole) {
    const double d = std::hypot(p.x() - c.x(), p.y() - c.y());
    if (d <= hole) return nullptr;
    const double angle = SunburstLayout::angleOf(p, c);
    const SunburstSegment* best = nullptr;
    for (const SunburstSegment& s : segments) {
        if (s.innerRadius - 0.5 <= d && d <= s.outerRadius + 0.5 && s.startAngle - 0.01 <= angle &&
            angle <= s.endAngle + 0.01 && (!best || s.depth > best->depth))
            best = &s;
    }
    return best;
}

std::vector<ScanNodePtr> segmentNodes(const SunburstLayout& layout) {
    std::vector<ScanNodePtr> out;
    for (const SunburstSegment& s : layout.segments()) out.push_back(s.node);
    return out;
}

}  // namespace

TEST(MapColors, KindsPaletteIndexesAndNameHash) {
    const ScanNodePtr folder = node("Music", 10);
    // Kinds other than folders keep their kind colour under every rule.
    for (NodeKind kind : {NodeKind::file, NodeKind::smallGroup, NodeKind::restricted, NodeKind::virtual_}) {
        const ScanNodePtr other = node("Music", 10, {}, kind);
        EXPECT_EQ(MapColors::forIndex(*other, 3), *MapColors::kindColor(kind));
        EXPECT_EQ(MapColors::forRank(*other, 0), *MapColors::kindColor(kind));
        EXPECT_EQ(MapColors::forName(*other), *MapColors::kindColor(kind));
    }
    // Index by magnitude modulo the palette, also for the most negative index.
    EXPECT_EQ(MapColors::forIndex(*folder, 13), MapColors::forIndex(*folder, -13));
    EXPECT_EQ(MapColors::forIndex(*folder, 13), MapColors::forIndex(*folder, 3));
    EXPECT_EQ(MapColors::forIndex(*folder, std::numeric_limits<qint64>::min()), MapColors::palette((1ull << 63) % 10));
    EXPECT_EQ(MapColors::forRank(*folder, 10), MapColors::forRank(*folder, 0));
    // The same name gives the same colour for the whole run; the hash is
    // reduced unsigned, so every name lands in range.
    EXPECT_EQ(MapColors::forName(*folder), MapColors::forName(*node(QStringLiteral("Mus") + "ic", 99)));
    for (int i = 0; i < 2000; ++i) {
        const ScanNodePtr named = node(QString::number(i * 7919), 1);
        EXPECT_EQ(MapColors::forName(*named), MapColors::palette(MapColors::nameHash(named->name) % 10));
    }
    // Opacity multiplies: a translucent kind colour stays translucent.
    const QColor translucent = TaldoTheme::smallGroupColor();
    EXPECT_NEAR(MapColors::withOpacity(translucent, 0.9).alphaF(), translucent.alphaF() * 0.9, 0.01);
}

TEST(MapHoverAndRanking, LeavingClearsOnlyTheItemsOwnNodeAndRanksAreStable) {
    const ScanNodePtr a = node("a", 1), b = node("b", 1);
    EXPECT_EQ(MapHover::afterLeave(a, a), nullptr);
    EXPECT_EQ(MapHover::afterLeave(b, a), b);  // another item took the hover first
    EXPECT_EQ(MapHover::afterLeave(nullptr, a), nullptr);
    // Same id, another object (a rebuilt tree): still the item's node.
    EXPECT_EQ(MapHover::afterLeave(ScanNode::create(a->id, "a", "/a", NodeKind::dir, 1), a), nullptr);

    // Positive children, largest first, ties in stored order.
    const ScanNodePtr x = file("x", 5), y = file("y", 9), z = file("z", 5), zero = file("zero", 0);
    const ScanNodePtr root = node("r", 19, {x, zero, y, z});
    EXPECT_EQ(MapRanking::ranked(*root), (std::vector<ScanNodePtr>{y, x, z}));
    EXPECT_EQ(MapRanking::ranked(*root, 2), (std::vector<ScanNodePtr>{y, x}));
    EXPECT_EQ(MapRanking::rankedTotal(*root), 19);
    std::vector<ScanNodePtr> equal;
    for (int i = 0; i < 30; ++i) equal.push_back(file(QString::number(i), i % 3 == 0 ? 7 : 4));
    const std::vector<ScanNodePtr> ranked = MapRanking::ranked(*node("e", 0, equal), 12);
    ASSERT_EQ(ranked.size(), 12u);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(ranked[i], equal[3 * i]);  // the sevens, in stored order
    EXPECT_EQ(ranked[10], equal[1]);
    EXPECT_EQ(ranked[11], equal[2]);
}

TEST(SunburstLayout, AnglesFollowSizesAndRingsFollowDepth) {
    const SunburstGeometry g = SunburstGeometry::forSize(QSizeF(400, 300), 4);
    EXPECT_EQ(g.center, QPointF(200, 150));
    EXPECT_LE(g.outerRadius, 150);
    EXPECT_DOUBLE_EQ(g.hole + 4 * g.ringWidth, g.outerRadius);

    const ScanNodePtr a1 = node("a1", 30), a2 = file("a2", 30), b1 = node("b1", 30);
    const ScanNodePtr a = node("A", 60, {a1, a2}), b = node("B", 30, {b1}), c = file("C", 10);
    SunburstLayout layout;
    layout.build(node("root", 100, {a, b, c}), 42, 25.5, 4);
    const std::vector<SunburstSegment>& s = layout.segments();
    // Pre-order from the top, each child's share of its parent's sweep.
    EXPECT_EQ(segmentNodes(layout), (std::vector<ScanNodePtr>{a, a1, a2, b, b1, c}));
    EXPECT_DOUBLE_EQ(s[0].startAngle, -90);
    EXPECT_DOUBLE_EQ(s[0].endAngle, -90 + 0.6 * 360);
    EXPECT_DOUBLE_EQ(s[1].endAngle, -90 + 0.3 * 360);
    EXPECT_DOUBLE_EQ(s[3].startAngle, s[0].endAngle);
    EXPECT_DOUBLE_EQ(s[5].endAngle, 270);
    EXPECT_EQ(s[1].depth, 1);
    EXPECT_DOUBLE_EQ(s[1].innerRadius, 42 + 25.5);
    EXPECT_DOUBLE_EQ(s[1].outerRadius, 42 + 2 * 25.5);
}

TEST(SunburstLayout, ZeroSizesThresholdsKindsAndDepth) {
    SunburstLayout layout;
    // All children of size 0: equal angles; beside sized ones: no angle.
    layout.build(node("r", 0, {node("x", 0), node("y", 0), node("z", 0)}), 10, 10, 4);
    ASSERT_EQ(layout.segments().size(), 3u);
    EXPECT_DOUBLE_EQ(layout.segments()[1].startAngle, 30);
    EXPECT_DOUBLE_EQ(layout.segments()[1].endAngle, 150);
    layout.build(node("r", 5, {node("x", 5), node("y", 0)}), 10, 10, 4);
    EXPECT_EQ(layout.segments().size(), 1u);
    for (const ScanNodePtr& root : {node("r", 5), ScanNodePtr()}) {
        layout.build(root, 10, 10, 4);
        EXPECT_TRUE(layout.segments().empty());
    }

    // 1 of 1999 sweeps 0.18 degrees: over the skip limit, yet not over 0.2,
    // so no segment; 1 of 1700 sweeps 0.2118: drawn. Skipped children still
    // advance the cursor, so the ring stays open at the end.
    layout.build(node("r", 1999, {file("big", 1998), file("small", 1)}), 10, 10, 4);
    ASSERT_EQ(layout.segments().size(), 1u);
    EXPECT_NEAR(layout.segments()[0].endAngle, 270 - 360.0 / 1999, 1e-9);
    layout.build(node("r", 1700, {file("big", 1699), file("small", 1)}), 10, 10, 4);
    EXPECT_EQ(layout.segments().size(), 2u);
    layout.build(node("r", 1'000'000, {file("tiny", 1), file("big", 999'999)}), 10, 10, 4);
    ASSERT_EQ(layout.segments().size(), 1u);
    EXPECT_NEAR(layout.segments()[0].startAngle, -90 + 360e-6, 1e-9);

    // Only folders and merged groups are descended into.
    for (NodeKind kind : {NodeKind::file, NodeKind::restricted, NodeKind::virtual_, NodeKind::smallGroup}) {
        layout.build(node("r", 4, {node("k", 4, {node("inner", 4)}, kind)}), 10, 10, 4);
        EXPECT_EQ(layout.segments().size(), kind == NodeKind::smallGroup ? 2u : 1u);
    }

    // maxDepth rings at most.
    ScanNodePtr chain = node("d6", 1);
    for (int i = 5; i >= 1; --i) chain = node(QStringLiteral("d%1").arg(i), 1, {chain});
    layout.build(node("r", 1, {chain}), 10, 10, 4);
    ASSERT_EQ(layout.segments().size(), 4u);
    EXPECT_EQ(layout.segments().back().depth, 3);
    layout.build(node("r", 1, {chain}), 10, 10, 0);
    EXPECT_TRUE(layout.segments().empty());
}

TEST(SunburstLayout, HitTestMatchesTheRuleOnEveryPoint) {
    // The rule at its edges: the hole's edge is the hole, the deeper segment
    // wins within the slack, straight up is -90 and just left of it nearly 270.
    const ScanNodePtr a1 = node("a1", 60), a = node("A", 60, {a1}), b = node("B", 30), c = file("C", 10);
    SunburstLayout layout;
    layout.build(node("root", 100, {a, b, c}), 40, 20, 4);
    const QPointF o(200, 200);
    const auto hit = [&](QPointF p) {
        const SunburstSegment* s = layout.hitTest(p, o, 40);
        return s ? s->node : nullptr;
    };
    EXPECT_EQ(hit(polar(o, 40, 0)), nullptr);
    EXPECT_EQ(hit(polar(o, 40.001, 0)), a);
    EXPECT_EQ(hit(polar(o, 59.6, 0)), a1);
    EXPECT_EQ(hit(polar(o, 59.4, 0)), a);
    EXPECT_EQ(hit(QPointF(200, 150)), a);
    EXPECT_EQ(hit(QPointF(199.9, 150)), c);
    EXPECT_DOUBLE_EQ(SunburstLayout::angleOf(QPointF(200, 250), o), 90);
    EXPECT_DOUBLE_EQ(SunburstLayout::angleOf(QPointF(250, 200), o), 0);

    // A random tree: the ring and angle search must pick what a scan of
    // every segment picks.
    QRandomGenerator random(42);
    std::function<ScanNodePtr(int)> make = [&](int depth) {
        std::vector<ScanNodePtr> children;
        qint64 total = 0;
        const int count = depth < 5 ? int(random.bounded(1, 9)) : 0;
        for (int i = 0; i < count; ++i) {
            children.push_back(random.bounded(3) ? make(depth + 1) : file("f", random.bounded(1, 5000)));
            total += children.back()->size;
        }
        std::stable_sort(children.begin(), children.end(),
                         [](const ScanNodePtr& l, const ScanNodePtr& r) { return l->size > r->size; });
        return node("n", count ? total : random.bounded(0, 3000), std::move(children));
    };
    layout.build(make(0), 56, 21, 4);
    ASSERT_GT(layout.segments().size(), 20u);
    int hits = 0;
    for (int i = 0; i < 20000; ++i) {
        const QPointF p(random.bounded(400.0), random.bounded(400.0));
        const SunburstSegment* expected = slowHit(layout.segments(), p, o, 56);
        ASSERT_EQ(layout.hitTest(p, o, 56), expected) << p.x() << "," << p.y();
        hits += expected != nullptr;
    }
    // Points on every segment border too.
    for (const SunburstSegment& s : layout.segments()) {
        for (double angle : {s.startAngle, s.endAngle, s.endAngle + 0.01, s.startAngle - 0.011})
            for (double r : {s.innerRadius - 0.5, s.innerRadius + 1, s.outerRadius + 0.5})
                ASSERT_EQ(layout.hitTest(polar(o, r, angle), o, 56), slowHit(layout.segments(), polar(o, r, angle), o, 56));
    }
    EXPECT_GT(hits, 5000);
}

TEST(TreemapLayout, WorkedExampleAndItsEdges) {
    const ScanNodePtr a = file("a", 50), b = file("b", 30), c = file("c", 20);
    // Given unsorted, largest first. Each tile takes its share of the sizes
    // not yet placed: 50 of 100 of the width 300, then 30 of 50 of the 150
    // left, then the last the rest; each less the 3-point gap.
    const std::vector<TreemapTile> tiles = TreemapLayout::layout({c, a, b}, QSizeF(300, 100));
    ASSERT_EQ(tiles.size(), 3u);
    EXPECT_EQ(tiles[0].node, a);
    const QRectF expected[] = {{0, 0, 147, 97}, {150, 0, 87, 97}, {240, 0, 57, 97}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(tiles[i].rect.left(), expected[i].left(), 1e-6);
        EXPECT_NEAR(tiles[i].rect.width(), expected[i].width(), 1e-6);
        EXPECT_EQ(tiles[i].rect.height(), 97);
    }
    EXPECT_EQ(TreemapLayout::layout({a}, QSizeF(300, 100))[0].rect, QRectF(0, 0, 297, 97));
    // A slot of 4 points or less gives a tile 1 point across.
    EXPECT_EQ(TreemapLayout::layout({file("big", 990), file("thin", 10), file("rest", 1)}, QSizeF(300, 100))[1]
                  .rect.width(),
              1);
    // Equal sizes keep their order; nothing in, nothing out.
    const ScanNodePtr e1 = file("e1", 5), e2 = file("e2", 5);
    EXPECT_EQ(TreemapLayout::layout({e1, e2}, QSizeF(10, 10))[0].node, e1);
    EXPECT_TRUE(TreemapLayout::layout({}, QSizeF(10, 10)).empty());
}

TEST(TreemapLayout, TileAreasAreInProportionToSizes) {
    // A folder of a few large folders and a 2 MB merged group (the group once
    // filled about a third of the map), then random folders of sizes within a
    // factor of 50 of each other, in wide, tall and square areas.
    constexpr qint64 MB = 1'000'000;
    std::vector<std::vector<qint64>> cases = {{420 * MB, 310 * MB, 260 * MB, 180 * MB, 2 * MB}};
    QRandomGenerator random(11);
    for (int n : {2, 3, 4, 5, 7, 12, 25}) {
        std::vector<qint64> sizes;
        for (int i = 0; i < n; ++i) sizes.push_back(qint64(random.bounded(1000, 50000)));
        cases.push_back(sizes);
    }
    for (const std::vector<qint64>& sizes : cases) {
        for (QSizeF area : {QSizeF(900, 600), QSizeF(500, 800), QSizeF(700, 700)}) {
            std::vector<ScanNodePtr> nodes;
            double total = 0;
            for (qint64 size : sizes) {
                nodes.push_back(file(QStringLiteral("f%1").arg(nodes.size()), size));
                total += double(size);
            }
            const std::vector<TreemapTile> tiles = TreemapLayout::layout(nodes, area);
            ASSERT_EQ(tiles.size(), sizes.size());
            double covered = 0;
            // Each slot (a tile with its gap, which thin tiles' 1-point
            // minimum hides) runs from its tile's corner to the next tile's
            // along the cut and to the area's far edge across it: what is
            // left of the area always keeps the bottom-right corner. The cut
            // starts along the longer side and turns after every second tile.
            bool horizontal = area.width() >= area.height();
            for (size_t i = 0; i < tiles.size(); ++i) {
                const TreemapTile& tile = tiles[i];
                const QPointF from = tile.rect.topLeft();
                const QPointF to = i + 1 < tiles.size() ? tiles[i + 1].rect.topLeft()
                                                        : QPointF(area.width(), area.height());
                const double slot = horizontal ? (to.x() - from.x()) * (area.height() - from.y())
                                               : (area.width() - from.x()) * (to.y() - from.y());
                if (i % 2 == 1) horizontal = !horizontal;
                const double expected = double(tile.node->size) / total * area.width() * area.height();
                EXPECT_NEAR(slot, expected, 1.0) << tile.node->size << " of " << total << " in " << area.width()
                                                 << " x " << area.height();
                covered += slot;
            }
            EXPECT_NEAR(covered, area.width() * area.height(), double(tiles.size()));
        }
    }
}

TEST(TreemapLayout, HitTestAgainstAScanOfEveryTile) {
    const ScanNodePtr zero = file("z", 0);
    TreemapLayout layout;
    layout.build(node("r", 100, {file("a", 50), zero, file("b", 30)}), QSizeF(324, 124));
    EXPECT_EQ(layout.tiles().size(), 2u);  // size 0 gets no tile
    layout.build(node("r", 0, {zero}), QSizeF(324, 124));
    EXPECT_EQ(layout.hitTest(QPointF(50, 50)), nullptr);
    layout.build(node("r", 0), QSizeF(10, 10));  // smaller than the inset
    EXPECT_TRUE(layout.area().isEmpty());
    EXPECT_GE(layout.area().width(), 0);

    // Many children: the search over the nested remainders finds the tile
    // a scan finds wherever exactly one tile holds the point (slivers of one
    // point may overlap their neighbours' slots).
    layout.build(folderOfFiles(400), QSizeF(824, 624));
    QRandomGenerator random(7);
    int unique = 0;
    for (int i = 0; i < 5000; ++i) {
        const QPointF p(random.bounded(824.0), random.bounded(624.0));
        const QPointF inArea = p - layout.area().topLeft();
        std::vector<const TreemapTile*> holders;
        for (const TreemapTile& t : layout.tiles())
            if (inArea.x() >= t.rect.left() && inArea.x() < t.rect.right() && inArea.y() >= t.rect.top() &&
                inArea.y() < t.rect.bottom())
                holders.push_back(&t);
        const TreemapTile* got = layout.hitTest(p);
        if (holders.size() == 1) {
            EXPECT_EQ(got, holders.front());
            ++unique;
        } else if (holders.empty()) {
            EXPECT_EQ(got, nullptr);
        } else if (got) {
            EXPECT_TRUE(got->rect.contains(inArea));
        }
    }
    EXPECT_GT(unique, 1000);  // 400 slivers: most points fall in their gaps

    // Only tiles drawn over by three more on the same pixels are skipped.
    std::vector<TreemapTile> tiles(6);
    for (int i = 0; i < 5; ++i) tiles[i].rect = QRectF(10.2 + 0.001 * i, 5, 1, 80);
    tiles[5].rect = QRectF(30, 5, 1, 80);
    TreemapLayout::markCovered(tiles);
    std::vector<bool> covered;
    for (const TreemapTile& t : tiles) covered.push_back(t.covered);
    EXPECT_EQ(covered, (std::vector<bool>{true, true, false, false, false, false}));
}

TEST(BarsLayout, RowsInProportionCappedAndHitByArithmetic) {
    BarsLayout layout;
    layout.build(node("r", 0, {file("z", 0)}), 400);
    EXPECT_TRUE(layout.rows().empty());

    const ScanNodePtr big = node("big", 1000), tiny = file("tiny", 1);
    layout.build(node("r", 1001, {tiny, big}), 400);
    ASSERT_EQ(layout.rows().size(), 2u);
    const BarsRow& first = layout.rows()[0];
    EXPECT_EQ(first.node, big);
    EXPECT_EQ(first.bar.width(), first.track.width());  // the largest fills its track
    EXPECT_EQ(layout.rows()[1].bar.width(), BarsLayout::kMinimumBar);
    EXPECT_GT(layout.rows()[1].rect.top(), first.rect.bottom());

    // 100 children: 40 rows; a hit is the row whose card holds the point,
    // nothing in the spacing or margins.
    std::vector<ScanNodePtr> folders;
    for (int i = 0; i < 100; ++i) folders.push_back(node(QString::number(i), 100 - i));
    layout.build(node("r", 5050, folders), 400);
    ASSERT_EQ(layout.rows().size(), 40u);
    EXPECT_EQ(layout.rows()[39].node, folders[39]);
    QRandomGenerator random(5);
    for (int i = 0; i < 20000; ++i) {
        const QPointF p(random.bounded(400.0), random.bounded(layout.contentHeight() + 20));
        const BarsRow* expected = nullptr;
        for (const BarsRow& row : layout.rows())
            if (p.x() >= row.rect.left() && p.x() < row.rect.right() && p.y() >= row.rect.top() &&
                p.y() < row.rect.bottom())
                expected = &row;
        ASSERT_EQ(layout.hitTest(p), expected) << p.x() << "," << p.y();
    }

    // Narrower than the margins: no negative widths.
    layout.build(node("r", 1001, {big, tiny}), 20);
    EXPECT_EQ(layout.rows()[0].rect.width(), 0);
    EXPECT_EQ(layout.rows()[0].track.width(), 0);
    EXPECT_GE(layout.rows()[0].bar.width(), 0);
}

TEST(RingsLayout, ArcsShareTheTurnOnStaggeredCirclesAndSmallViewsDrawNothing) {
    std::vector<ScanNodePtr> kids;
    for (int i = 0; i < 6; ++i) kids.push_back(i == 2 ? file("f", 10) : node(QString::number(i), 10));
    RingsLayout layout;
    layout.build(node("r", 60, kids), QSizeF(424, 324));
    const std::vector<RingArc>& arcs = layout.arcs();
    ASSERT_EQ(arcs.size(), 6u);
    EXPECT_DOUBLE_EQ(arcs[0].shape.from, 0);
    EXPECT_DOUBLE_EQ(arcs[5].shape.to, 1);  // up to 12 children close the turn
    EXPECT_DOUBLE_EQ(arcs[4].shape.from, arcs[3].shape.to);
    EXPECT_LT(arcs[0].shape.radius, arcs[3].shape.radius);  // arcs step outwards and wrap
    EXPECT_DOUBLE_EQ(arcs[4].shape.radius, arcs[0].shape.radius);
    EXPECT_LT(layout.discDiameter() / 2, arcs[0].shape.radius - arcs[0].shape.lineWidth / 2);

    // 100 children: 12 arcs covering only their share of the turn.
    const ScanNodePtr many = folderOfFiles(100);
    layout.build(many, QSizeF(424, 324));
    ASSERT_EQ(layout.arcs().size(), 12u);
    EXPECT_NEAR(layout.arcs().back().shape.to, (100 + 89) * 12 / 2.0 / 5050, 1e-12);

    // Smaller than its margins: nothing at all, no negative sizes.
    for (QSizeF size : {QSizeF(60, 300), QSizeF(0, 0)}) {
        layout.build(many, size);
        EXPECT_FALSE(layout.visible());
        EXPECT_TRUE(layout.arcs().empty());
        EXPECT_EQ(layout.hitTest(QPointF(30, 150)), nullptr);
        EXPECT_GE(layout.drawingArea().width(), 0);
    }
}

TEST(RingsLayout, HitsAreTheDrawnBandsTheLaterArcWinning) {
    RingsLayout layout;
    const ScanNodePtr a = node("a", 30), b = node("b", 20), c = node("c", 50);
    layout.build(node("r", 100, {c, a, b}), QSizeF(424, 424));
    const QPointF o = layout.center();
    const RingArc& first = layout.arcs()[0];  // c: the top half turn, clockwise
    EXPECT_EQ(layout.hitTest(polar(o, first.shape.radius, -90))->node, c);  // the top itself starts the turn
    EXPECT_EQ(layout.hitTest(polar(o, layout.arcs()[2].shape.radius, -91))->node, b);  // the last ends there
    EXPECT_EQ(layout.hitTest(o), nullptr);  // the disc takes no action
    const QPainterPath band = first.shape.path(layout.drawingArea());
    QRandomGenerator random(9);
    int inside = 0;
    for (int i = 0; i < 20000; ++i) {
        const QPointF p(random.bounded(424.0), random.bounded(424.0));
        const RingArc* expected = nullptr;
        for (const RingArc& arc : layout.arcs())
            if (arc.shape.contains(p, o)) expected = &arc;
        ASSERT_EQ(layout.hitTest(p), expected) << p.x() << "," << p.y();
        // The band computed directly is the stroked path, away from its edges.
        const double off = std::abs(std::hypot(p.x() - o.x(), p.y() - o.y()) - first.shape.radius);
        const double angle = SunburstLayout::angleOf(p, o);
        if (std::abs(off - first.shape.lineWidth / 2) < 0.3 || std::abs(angle + 90) < 0.3 || std::abs(angle - 90) < 0.3)
            continue;
        EXPECT_EQ(first.shape.contains(p, o), band.contains(p));
        inside += first.shape.contains(p, o);
    }
    EXPECT_GT(inside, 300);
}
