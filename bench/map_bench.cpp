// Times the four map renderings on a synthetic tree of 100,000 nodes: the
// layout done when the root or the size changes, one full paint into an
// offscreen image, and one pointer hit test.
#include "models/ScanNode.h"
#include "views/map/BarsView.h"
#include "views/map/RingsView.h"
#include "views/map/SunburstView.h"
#include "views/map/TreemapView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QMouseEvent>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

using namespace tarnwick;

namespace {

constexpr int kNodes = 100'000;
constexpr QSize kImageSize(1200, 800);

qint64 fileSize(QRandomGenerator& random) {
    // Log-uniform between 256 KiB and about 4 GB.
    const double exponent = 18 + random.generateDouble() * 14;
    return qint64(std::pow(2.0, exponent));
}

// A folder tree of about `budget` nodes: folders of 2 to 40 entries, about a
// quarter of them folders, down to depth 9.
ScanNodePtr makeFolder(QRandomGenerator& random, int& budget, int depth, const QString& path) {
    auto folder = ScanNode::create(QUuid::createUuid(), path.section('/', -1), path, NodeKind::dir, 0);
    const int entries = 2 + int(random.bounded(39));
    for (int i = 0; i < entries && budget > 0; ++i) {
        --budget;
        const QString childPath = path + QStringLiteral("/item%1").arg(i);
        if (depth < 9 && random.bounded(4) == 0)
            folder->appendChild(makeFolder(random, budget, depth + 1, childPath));
        else
            folder->appendChild(ScanNode::create(QUuid::createUuid(), childPath.section('/', -1), childPath,
                                                 NodeKind::file, fileSize(random)));
    }
    return folder;
}

ScanNodePtr deepTree() {
    QRandomGenerator random(7);
    // 40 top folders of uneven shares.
    auto root = ScanNode::create(QUuid::createUuid(), "Volume", "/", NodeKind::dir, 0);
    int left = kNodes - 1;
    for (int i = 0; i < 40 && left > 0; ++i) {
        int budget = i == 39 ? left : std::min(left, 200 + int(random.bounded(4800)));
        left -= budget;
        --budget;
        auto top = ScanNode::create(QUuid::createUuid(), QStringLiteral("top%1").arg(i), QStringLiteral("/top%1").arg(i),
                                    NodeKind::dir, 0);
        while (budget > 0) {
            --budget;
            top->appendChild(makeFolder(random, budget, 2, top->path() + QStringLiteral("/d%1").arg(top->children.size())));
        }
        root->appendChild(top);
    }
    root->finalize(0.008);
    return root;
}

// Every folder has 7 children of uneven sizes, six levels deep: every ring
// of the sunburst fills up.
ScanNodePtr bushyFolder(QRandomGenerator& random, int& budget, int depth) {
    auto folder = ScanNode::create(QUuid::createUuid(), QStringLiteral("b%1").arg(budget), {}, NodeKind::dir, 0);
    for (int i = 0; i < 7 && budget > 0; ++i) {
        --budget;
        if (depth < 6)
            folder->appendChild(bushyFolder(random, budget, depth + 1));
        else
            folder->appendChild(ScanNode::create(QUuid::createUuid(), QStringLiteral("f%1").arg(budget), {},
                                                 NodeKind::file, fileSize(random)));
    }
    return folder;
}

ScanNodePtr bushyTree() {
    QRandomGenerator random(5);
    int budget = kNodes - 1;
    auto root = bushyFolder(random, budget, 1);
    root->finalize(0.0);
    return root;
}

ScanNodePtr flatFolder() {
    QRandomGenerator random(11);
    std::vector<ScanNodePtr> children;
    children.reserve(kNodes - 1);
    for (int i = 0; i < kNodes - 1; ++i)
        children.push_back(ScanNode::create(QUuid::createUuid(), QStringLiteral("f%1").arg(i), {}, NodeKind::file,
                                            fileSize(random)));
    auto root = ScanNode::create(QUuid::createUuid(), "Flat", "/flat", NodeKind::dir, 0, std::move(children));
    root->resortChildren();
    return root;
}

int countNodes(const ScanNode& node) {
    int count = 1;
    for (const ScanNodePtr& child : node.children) count += countNodes(*child);
    return count;
}

// Median wall time in ms.
double medianMs(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void measure(const char* name, MapView& view, const ScanNodePtr& root, const std::function<size_t()>& items) {
    view.resize(kImageSize);
    QImage image(kImageSize, QImage::Format_ARGB32_Premultiplied);
    const auto relayout = [&] {
        view.setRoot(nullptr);
        view.setRoot(root);
    };
    // Layout of a new root, and again after a change of the height.
    const double layout = medianMs(15, relayout);
    const double resize = medianMs(15, [&] {
        view.resize(kImageSize - QSize(0, 1 + int(random() % 50)));
        view.nodeAt(QPointF(0, 0));
    });
    view.resize(kImageSize);
    // The first paint after a layout draws every item into the layer.
    std::vector<double> firsts;
    for (int i = 0; i < 15; ++i) {
        relayout();
        image.fill(Qt::black);
        firsts.push_back(medianMs(1, [&] { view.render(&image); }));
    }
    std::sort(firsts.begin(), firsts.end());
    const double firstPaint = firsts[firsts.size() / 2];
    // Any later paint copies the layer.
    const double repaint = medianMs(15, [&] { view.render(&image); });
    // A hover change repaints the old and the new item only: the items under
    // 40 points spread over the view.
    double hoverPaint = 0;
    int hovers = 0;
    for (int i = 0; i < 40; ++i) {
        const QPointF at(150 + 22.5 * i, 120 + 14 * i);
        QMouseEvent move(QEvent::MouseMove, at, view.mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&view, &move);
        const QRect area = view.itemBounds(view.hovered());
        if (area.isEmpty()) continue;
        hoverPaint += medianMs(5, [&] { view.render(&image, area.topLeft(), QRegion(area)); });
        ++hovers;
    }
    if (hovers > 0) hoverPaint /= hovers;
    QRandomGenerator random(3);
    std::vector<QPointF> points;
    for (int i = 0; i < 20000; ++i)
        points.emplace_back(random.bounded(kImageSize.width()), random.bounded(kImageSize.height()));
    QElapsedTimer timer;
    timer.start();
    int hits = 0;
    for (const QPointF& p : points) hits += view.nodeAt(p) ? 1 : 0;
    const double hit = double(timer.nsecsElapsed()) / 1e3 / double(points.size());
    std::printf("  %-8s %6zu items | layout %6.2f ms, after resize %6.2f ms | paint: first %6.2f ms, "
                "again %5.2f ms, item %5.2f ms | hit test %5.2f us\n",
                name, items(), layout, resize, firstPaint, repaint, hoverPaint, hit);
}

void run(const char* title, const ScanNodePtr& root) {
    std::printf("%s: %d nodes, %zu children of the root, image %dx%d\n", title, countNodes(*root),
                root->children.size(), kImageSize.width(), kImageSize.height());
    SunburstView sunburst;
    measure("sunburst", sunburst, root, [&] { return sunburst.layout().segments().size(); });
    TreemapView treemap;
    measure("treemap", treemap, root, [&] { return treemap.layout().tiles().size(); });
    const auto& tiles = treemap.layout().tiles();
    std::printf("  (treemap: %zu tiles drawn, the others covered by later tiles)\n",
                size_t(std::count_if(tiles.begin(), tiles.end(), [](const TreemapTile& t) { return !t.covered; })));
    BarsView bars;
    measure("bars", bars, root, [&] { return bars.layout().rows().size(); });
    RingsView rings;
    measure("rings", rings, root, [&] { return rings.layout().arcs().size(); });
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QApplication app(argc, argv);
    // map_bench [folder|bushy|flat]...: the trees to run, all by default.
    QStringList trees = app.arguments().mid(1);
    if (trees.isEmpty()) trees = {"folder", "bushy", "flat"};
    if (trees.contains("folder")) run("Folder tree", deepTree());
    if (trees.contains("bushy")) run("Bushy tree", bushyTree());
    if (trees.contains("flat")) run("Flat folder", flatFolder());
    return 0;
}
