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

// The first point of a coarse grid over the view where it shows `target`
// (null: where it shows nothing).
QPointF pointOn(MapView& view, const ScanNodePtr& target) {
    for (int y = 2; y < view.height(); y += 4)
        for (int x = 2; x < view.width(); x += 4)
            if (view.nodeAt(QPointF(x, y)) == target) return QPointF(x, y);
    ADD_FAILURE() << "no point shows " << (target ? target->name.toStdString() : "nothing");
    return {};
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

std::vector<std::unique_ptr<MapView>> everyRendering() {
    std::vector<std::unique_ptr<MapView>> views;
    views.push_back(std::make_unique<SunburstView>());
    views.push_back(std::make_unique<TreemapView>());
    views.push_back(std::make_unique<BarsView>());
    views.push_back(std::make_unique<RingsView>());
    return views;
}

}  // namespace

TEST(MapViews, EveryRenderingPaintsOffscreenInAnyState) {
    const ScanNodePtr allZero = node("zero", 0, {node("a", 0), node("b", 0)});
    for (auto& view : everyRendering()) {
        SCOPED_TRACE(view->metaObject()->className());
        view->resize(480, 360);
        paint(*view);  // no root yet
        view->setRoot(sampleTree());
        EXPECT_GT(paintedPixels(paint(*view)), 1000);
        for (const ScanNodePtr& root : {node("leaf", 0), allZero, folderOfFiles(300)}) {
            view->setRoot(root);
            EXPECT_GT(paintedPixels(paint(*view)), 0);
        }
        for (QSize size : {QSize(2, 3), QSize(0, 0)}) {
            view->resize(size);
            EXPECT_NO_FATAL_FAILURE(paint(*view));
        }
    }
    // Rings smaller than their margins draw nothing at all.
    RingsView rings;
    rings.setRoot(sampleTree());
    rings.resize(60, 400);
    EXPECT_EQ(paintedPixels(paint(rings)), 0);
}

TEST(MapViews, EveryRenderingHoversLeavesAndSelectsWhatThePointerIsOn) {
    for (auto& view : everyRendering()) {
        SCOPED_TRACE(view->metaObject()->className());
        view->resize(424, 424);
        const ScanNodePtr root = sampleTree();
        const ScanNodePtr docs = root->children[0], music = root->children[1];
        view->setRoot(root);
        Recorder record(*view);
        const QPointF inDocs = pointOn(*view, docs), inMusic = pointOn(*view, music), empty = pointOn(*view, nullptr);

        move(*view, inDocs);
        move(*view, inDocs);  // same item: no new signal
        EXPECT_EQ(view->hovered(), docs);
        move(*view, inMusic);  // straight to the next item: the newer one stays
        EXPECT_EQ(record.hovers, (std::vector<ScanNodePtr>{docs, music}));
        // Someone else hovers another node: leaving this item keeps it (the
        // sunburst's own highlight ignores outside hovers, below).
        if (!qobject_cast<SunburstView*>(view.get())) {
            const ScanNodePtr elsewhere = node("elsewhere", 1);
            view->setHovered(elsewhere);
            leave(*view);
            EXPECT_EQ(view->hovered(), elsewhere);
        }
        move(*view, inDocs);
        move(*view, empty);  // off every item: leaving it clears the hover
        EXPECT_EQ(view->hovered(), nullptr);

        click(*view, inMusic);
        click(*view, empty);
        EXPECT_EQ(record.selections, (std::vector<ScanNodePtr>{music}));
        // The tree is read, never written.
        EXPECT_EQ(root->children.size(), 5u);
        EXPECT_EQ(root->size, 1000);
    }
}

TEST(MapViews, SunburstHighlightCentreAndLayoutOnEveryRadiusChange) {
    SunburstView view;
    view.resize(400, 400);
    const ScanNodePtr root = sampleTree();
    const ScanNodePtr docs = root->children[0], music = root->children[1];
    view.setRoot(root);
    int centreClicks = 0;
    QObject::connect(&view, &SunburstView::centerClicked, [&] { ++centreClicks; });
    const SunburstGeometry g = view.sunburstGeometry();
    const QPointF top = g.center - QPointF(0, g.hole + 5);  // Documents begins at the top

    // Another view's hover does not move this view's highlight; the next
    // pointer move takes the hover back; a click never hovers.
    move(view, top);
    EXPECT_EQ(view.hoveredSegmentId(), docs->id);
    view.setHovered(music);
    EXPECT_EQ(view.hoveredSegmentId(), docs->id);
    move(view, top);
    EXPECT_EQ(view.hovered(), docs);
    leave(view);
    EXPECT_TRUE(view.hoveredSegmentId().isNull());
    click(view, top);
    EXPECT_TRUE(view.hoveredSegmentId().isNull());
    click(view, g.center + QPointF(0, g.hole));  // the hole's edge is the hole
    EXPECT_EQ(centreClicks, 1);

    // The height alone shrinks the disc: the rings follow it.
    view.resize(400, 300);
    const SunburstSegment first = view.layout().segments()[0];
    EXPECT_DOUBLE_EQ(first.innerRadius, view.sunburstGeometry().hole);
    EXPECT_LT(first.innerRadius, g.hole);
    EXPECT_DOUBLE_EQ(first.outerRadius - first.innerRadius, view.sunburstGeometry().ringWidth);
    // The root's size is watched; its children's sizes alone are not.
    docs->size = 100;
    view.setRoot(root);
    EXPECT_DOUBLE_EQ(view.layout().segments()[0].endAngle, -90 + 0.5 * 360);
    root->size = 400;
    view.setRoot(root);
    EXPECT_DOUBLE_EQ(view.layout().segments()[0].endAngle, -90 + 360.0 * 100 / 600);  // of the children's sum
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

TEST(MapViews, BarsScrollAndStartAtTheTopForANewRoot) {
    BarsView bars;
    bars.resize(400, 300);
    const ScanNodePtr root = folderOfFiles(100);
    bars.setRoot(root);
    QScrollBar* scroll = bars.verticalScrollBar();
    EXPECT_TRUE(scroll->isVisibleTo(&bars));
    const QPointF firstRow = bars.layout().rows()[0].rect.center();
    EXPECT_EQ(bars.nodeAt(firstRow), root->children[0]);
    // Scrolled down, the same point lies over a later row.
    scroll->setValue(scroll->maximum());
    EXPECT_NE(bars.nodeAt(firstRow), root->children[0]);
    EXPECT_EQ(bars.nodeAt(bars.layout().rows()[39].rect.center() - QPointF(0, scroll->value())),
              root->children[39]);
    EXPECT_GT(paintedPixels(paint(bars)), 1000);
    bars.setRoot(sampleTree());
    EXPECT_FALSE(scroll->isVisibleTo(&bars));
    EXPECT_EQ(bars.nodeAt(bars.layout().rows()[0].rect.center()), bars.layout().rows()[0].node);
}
