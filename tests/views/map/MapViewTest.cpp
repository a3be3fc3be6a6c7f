#include "MapTestTree.h"

#include "views/map/BarsView.h"
#include "views/map/RingsView.h"
#include "views/map/SunburstView.h"
#include "views/map/TreemapView.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <QScrollBar>

#include <cmath>
#include <memory>

using namespace tarnwick;
using tarnwick::test::file;
using tarnwick::test::folderOfFiles;
using tarnwick::test::node;

namespace {

void send(QWidget& view, QEvent::Type type, QPointF at, Qt::MouseButton button = Qt::NoButton) {
    QMouseEvent event(type, at, view.mapToGlobal(at), button, type == QEvent::MouseMove ? Qt::NoButton : button,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &event);
}
void move(QWidget& view, QPointF at) { send(view, QEvent::MouseMove, at); }
void click(QWidget& view, QPointF at) {
    send(view, QEvent::MouseButtonPress, at, Qt::LeftButton);
    send(view, QEvent::MouseButtonRelease, at, Qt::LeftButton);
}
void leave(QWidget& view) {
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(&view, &event);
}

// What the view itself draws (no window background), on transparency.
QImage paint(QWidget& view) {
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (!image.isNull()) view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

int paintedPixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) count += qAlpha(image.pixel(x, y)) != 0;
    return count;
}

// Counts the hover and selection signals of a view.
struct Recorder {
    explicit Recorder(MapView& view) {
        QObject::connect(&view, &MapView::hoveredChanged, [this](ScanNodePtr n) { hovers.push_back(n); });
        QObject::connect(&view, &MapView::selected, [this](ScanNodePtr n) { selections.push_back(n); });
    }
    std::vector<ScanNodePtr> hovers;
    std::vector<ScanNodePtr> selections;
};

ScanNodePtr sampleTree() {
    const ScanNodePtr docs = node("Documents", 500, {node("Work", 300), file("notes.pdf", 200)});
    return node("Home", 1000, {docs, node("Music", 300), file("movie.mov", 150), node("Empty", 0),
                               node("restricted", 50, {}, NodeKind::restricted)});
}

}  // namespace

TEST(MapViews, EveryRenderingPaintsOffscreenInAnyState) {
    std::vector<std::unique_ptr<MapView>> views;
    views.push_back(std::make_unique<SunburstView>());
    views.push_back(std::make_unique<TreemapView>());
    views.push_back(std::make_unique<BarsView>());
    views.push_back(std::make_unique<RingsView>());
    const ScanNodePtr allZero = node("zero", 0, {node("a", 0), node("b", 0)});
    for (auto& view : views) {
        SCOPED_TRACE(view->metaObject()->className());
        view->resize(480, 360);
        paint(*view);  // no root yet
        view->setRoot(sampleTree());
        EXPECT_GT(paintedPixels(paint(*view)), 1000);
        for (const ScanNodePtr& root : {node("leaf", 0), allZero, folderOfFiles(300)}) {
            view->setRoot(root);
            EXPECT_GT(paintedPixels(paint(*view)), 0);
        }
        view->resize(2, 3);
        EXPECT_NO_FATAL_FAILURE(paint(*view));
        view->resize(0, 0);
        EXPECT_NO_FATAL_FAILURE(paint(*view));
    }
    // Rings smaller than their margins draw nothing at all.
    RingsView rings;
    rings.setRoot(sampleTree());
    rings.resize(60, 400);
    EXPECT_EQ(paintedPixels(paint(rings)), 0);
}

TEST(MapViews, SunburstHoverClickAndCentre) {
    SunburstView view;
    view.resize(400, 400);
    const ScanNodePtr root = sampleTree();
    const ScanNodePtr docs = root->children[0], music = root->children[1];
    view.setRoot(root);
    Recorder record(view);
    int centreClicks = 0;
    QObject::connect(&view, &SunburstView::centerClicked, [&] { ++centreClicks; });
    const SunburstGeometry g = view.sunburstGeometry();
    const QPointF top = g.center - QPointF(0, g.hole + 5);  // Documents begins at the top

    move(view, top);
    EXPECT_EQ(view.hovered(), docs);
    EXPECT_EQ(view.hoveredSegmentId(), docs->id);
    move(view, top + QPointF(0.5, 0));  // same segment: no new signal
    EXPECT_EQ(record.hovers.size(), 1u);
    // Another view's hover does not move this view's highlight, and the next
    // pointer move takes the hover back.
    view.setHovered(music);
    EXPECT_EQ(view.hoveredSegmentId(), docs->id);
    move(view, top);
    EXPECT_EQ(view.hovered(), docs);
    // The hole and the outside clear the hover; so does leaving.
    move(view, g.center + QPointF(g.hole, 0));
    EXPECT_EQ(view.hovered(), nullptr);
    EXPECT_TRUE(view.hoveredSegmentId().isNull());
    move(view, top);
    leave(view);
    EXPECT_EQ(view.hovered(), nullptr);

    click(view, top);
    ASSERT_EQ(record.selections.size(), 1u);
    EXPECT_EQ(record.selections[0], docs);
    EXPECT_TRUE(view.hoveredSegmentId().isNull());  // a click never hovers
    click(view, g.center + QPointF(0, g.hole));  // the hole's edge is the hole
    EXPECT_EQ(centreClicks, 1);
    click(view, QPointF(2, 2));  // nothing there
    EXPECT_EQ(record.selections.size(), 1u);
    EXPECT_EQ(centreClicks, 1);
}

TEST(MapViews, SunburstLaysOutAgainOnEveryRadiusChange) {
    SunburstView view;
    const ScanNodePtr a = node("a", 60), b = node("b", 40);
    const ScanNodePtr root = node("r", 100, {a, b});
    view.setRoot(root);
    view.resize(400, 400);
    EXPECT_DOUBLE_EQ(view.layout().hole(), 56);
    // The height alone shrinks the disc: the rings follow it.
    view.resize(400, 300);
    EXPECT_DOUBLE_EQ(view.layout().hole(), 42);
    EXPECT_DOUBLE_EQ(view.layout().segments()[0].innerRadius, view.sunburstGeometry().hole);
    EXPECT_DOUBLE_EQ(view.layout().segments()[0].outerRadius - 42, view.sunburstGeometry().ringWidth);
    // The root's size is watched; its children's sizes alone are not.
    a->size = 20;
    view.setRoot(root);
    EXPECT_DOUBLE_EQ(view.layout().segments()[0].endAngle, 126);
    root->size = 60;
    view.setRoot(root);
    EXPECT_DOUBLE_EQ(view.layout().segments()[0].endAngle, 30);
    view.setMaxDepth(1);
    EXPECT_DOUBLE_EQ(view.layout().ringWidth(), view.sunburstGeometry().ringWidth);
}

TEST(MapViews, HighlightIsRedrawnAndRemoved) {
    // The hovered item is drawn fully opaque over the layer, and only it.
    SunburstView sunburst;
    sunburst.resize(400, 400);
    sunburst.setRoot(sampleTree());
    const QPointF at = sunburst.sunburstGeometry().center - QPointF(0, 70);
    const int before = qAlpha(paint(sunburst).pixel(at.toPoint()));
    move(sunburst, at);
    EXPECT_EQ(qAlpha(paint(sunburst).pixel(at.toPoint())), 255);
    EXPECT_LT(before, 255);
    leave(sunburst);
    EXPECT_EQ(qAlpha(paint(sunburst).pixel(at.toPoint())), before);

    TreemapView treemap;
    treemap.resize(400, 300);
    const ScanNodePtr root = sampleTree();
    treemap.setRoot(root);
    const QPoint inside = treemap.itemBounds(root->children[1]).center();
    const QRgb plain = paint(treemap).pixel(inside);
    treemap.setHovered(root->children[1]);  // highlighted from outside too
    EXPECT_NE(paint(treemap).pixel(inside), plain);
    treemap.setHovered(nullptr);
    EXPECT_EQ(paint(treemap).pixel(inside), plain);
}

TEST(MapViews, TreemapHoverCompareAndClearAndSelect) {
    TreemapView view;
    view.resize(424, 324);  // a 400 x 300 drawing area
    const ScanNodePtr root = sampleTree();
    view.setRoot(root);
    Recorder record(view);
    const ScanNodePtr docs = root->children[0], music = root->children[1];
    const QPointF inDocs = view.itemBounds(docs).center(), inMusic = view.itemBounds(music).center();
    ASSERT_NE(view.nodeAt(inDocs), view.nodeAt(inMusic));

    move(view, inDocs);
    EXPECT_EQ(view.hovered(), docs);
    move(view, inMusic);  // straight to the next tile: the newer one stays
    EXPECT_EQ(view.hovered(), music);
    EXPECT_EQ(record.hovers, (std::vector<ScanNodePtr>{docs, music}));
    // Someone else hovers another node: leaving this tile keeps it.
    const ScanNodePtr elsewhere = node("elsewhere", 1);
    view.setHovered(elsewhere);
    leave(view);
    EXPECT_EQ(view.hovered(), elsewhere);
    move(view, inDocs);
    move(view, QPointF(3, 3));  // into the margin: leaving the tile clears it
    EXPECT_EQ(view.hovered(), nullptr);
    view.setHovered(nullptr);  // no change, no signal
    EXPECT_EQ(record.hovers.back(), nullptr);
    EXPECT_EQ(record.hovers.size(), 5u);

    click(view, inMusic);
    click(view, QPointF(3, 3));
    EXPECT_EQ(record.selections, (std::vector<ScanNodePtr>{music}));
    // The tree is read, never written.
    EXPECT_EQ(root->children.size(), 5u);
    EXPECT_EQ(root->size, 1000);
}

TEST(MapViews, BarsAndRingsHoverSelectAndScroll) {
    BarsView bars;
    bars.resize(400, 300);
    const ScanNodePtr root = folderOfFiles(100);
    bars.setRoot(root);
    Recorder barRecord(bars);
    ASSERT_EQ(bars.layout().rows().size(), 40u);
    QScrollBar* scroll = bars.verticalScrollBar();
    EXPECT_TRUE(scroll->isVisibleTo(&bars));
    EXPECT_EQ(scroll->maximum(), int(std::ceil(bars.layout().contentHeight())) - 300);
    const QPointF firstRow = bars.layout().rows()[0].rect.center();
    move(bars, firstRow);
    EXPECT_EQ(bars.hovered(), root->children[0]);
    click(bars, firstRow);
    EXPECT_EQ(barRecord.selections, (std::vector<ScanNodePtr>{root->children[0]}));
    // Scrolled down, the same point lies over a later row.
    scroll->setValue(scroll->maximum());
    EXPECT_NE(bars.nodeAt(firstRow), root->children[0]);
    EXPECT_EQ(bars.nodeAt(bars.layout().rows()[39].rect.center() - QPointF(0, scroll->value())),
              root->children[39]);
    EXPECT_GT(paintedPixels(paint(bars)), 1000);
    // A new root starts at the top again.
    bars.setRoot(sampleTree());
    EXPECT_FALSE(scroll->isVisibleTo(&bars));
    EXPECT_EQ(bars.nodeAt(bars.layout().rows()[0].rect.center()), bars.layout().rows()[0].node);

    RingsView rings;
    rings.resize(424, 424);
    rings.setRoot(root);
    Recorder ringRecord(rings);
    const RingArc& arc = rings.layout().arcs()[0];
    const double mid = (arc.shape.from + arc.shape.to) / 2 * 2 * M_PI - M_PI / 2;
    const QPointF onArc = rings.layout().center() + arc.shape.radius * QPointF(std::cos(mid), std::sin(mid));
    move(rings, onArc);
    EXPECT_EQ(rings.hovered(), root->children[0]);
    move(rings, rings.layout().center());  // the disc takes nothing
    EXPECT_EQ(rings.hovered(), nullptr);
    click(rings, onArc);
    click(rings, rings.layout().center());
    EXPECT_EQ(ringRecord.selections, (std::vector<ScanNodePtr>{root->children[0]}));
}
