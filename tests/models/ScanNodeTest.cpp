#include "models/FileRecord.h"
#include "models/ScanNode.h"

#include <QSet>
#include <QStringList>
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <random>
#include <thread>
#include <unordered_map>

using namespace tarnwick;

namespace {

ScanNodePtr node(const QString& name, NodeKind kind, qint64 size, std::vector<ScanNodePtr> children = {}) {
    return ScanNode::create(QUuid::createUuid(), name, QStringLiteral("/v/") + name, kind, size,
                            std::move(children));
}
ScanNodePtr file(const QString& name, qint64 size) { return node(name, NodeKind::file, size); }
ScanNodePtr dir(const QString& name, std::vector<ScanNodePtr> children) {
    return node(name, NodeKind::dir, 0, std::move(children));
}
ScanNodePtr locked(const QString& name, qint64 size = 0) { return node(name, NodeKind::restricted, size); }
ScanNodePtr entry(const QString& name, NodeKind kind, qint64 size, std::vector<ScanNodePtr> children = {}) {
    return ScanNode::createEntry(ScanNode::makeId(), name, kind, size, std::move(children));
}

QStringList names(const ScanNodePtr& n) {
    QStringList out;
    for (const auto& child : n->children) out << child->name;
    return out;
}

const QString kGroup = ScanNode::kSmallerObjectsName.toString();
constexpr qint64 kMax = std::numeric_limits<qint64>::max();

}  // namespace

TEST(ScanNode, ParentsAndSizesFollowTheKindAndOutliveNoHolder) {
    auto a = file("a", 10);
    auto root = dir("root", {a, nullptr});
    EXPECT_EQ(names(root), QStringList{"a"});  // a null child is left out
    EXPECT_EQ(a->parent(), root);
    root->appendChild(file("b", 30));
    EXPECT_EQ(names(root), (QStringList{"a", "b"}));  // appending never sorts
    EXPECT_EQ(root->size, 40);
    root->resortChildren();
    EXPECT_EQ(names(root), (QStringList{"b", "a"}));
    // A file keeps its own size, a restricted node stays empty, a virtual node sums.
    for (const auto& [kind, expected] :
         {std::pair{NodeKind::file, 5}, {NodeKind::restricted, 0}, {NodeKind::virtual_, 100}}) {
        auto holder = node("h", kind, kind == NodeKind::restricted ? 0 : 5);
        holder->appendChild(file("x", 100));
        EXPECT_EQ(holder->size, expected);
        holder->resortChildren();
        EXPECT_EQ(holder->size, expected);
    }

    // Releasing the root frees what nobody else holds; a held subtree stays whole.
    ScanNodePtr held = dir("held", {file("a", 1), dir("deeper", {file("b", 2)})});
    std::weak_ptr<ScanNode> rootWatch, siblingWatch;
    {
        auto sibling = dir("sibling", {file("c", 3)});
        siblingWatch = sibling;
        rootWatch = dir("root", {dir("mid", {held}), sibling});
    }
    EXPECT_TRUE(rootWatch.expired());
    EXPECT_TRUE(siblingWatch.expired());
    EXPECT_EQ(held->parent(), nullptr);
    EXPECT_EQ(held->children[1]->parent(), held);
    EXPECT_EQ(held->children[1]->children.size(), 1u);
}

TEST(ScanNode, FinalizeSortsStablyAndMergesSmallChildrenOfFolders) {
    // 1,000,000 bytes at 0.8 %: the cutoff is 8,000.
    auto justBelow = file("justBelow", 7999), smaller = file("smaller", 5000), hidden = locked("hidden", 100);
    auto root = dir("root", {dir("empty", {}), smaller, hidden, file("big", 978901), justBelow, file("atCutoff", 8000)});
    root->finalize(0.008);
    EXPECT_EQ(root->size, 1000000);
    ASSERT_EQ(names(root), (QStringList{"big", kGroup, "atCutoff", "hidden", "empty"}));
    const auto& group = root->children[1];
    EXPECT_EQ(group->kind, NodeKind::smallGroup);
    EXPECT_EQ(group->path(), root->path());
    EXPECT_EQ(group->size, 12999);
    EXPECT_TRUE(group->isAggregate);
    EXPECT_EQ(names(group), (QStringList{"justBelow", "smaller"}));
    EXPECT_EQ(justBelow->parent(), group);

    const struct Case {
        const char* what;
        std::vector<ScanNodePtr> children;
        double threshold;
        QStringList order;
    } cases[] = {
        {"one small child stays", {file("s", 7999), file("big", 992001)}, 0.008, {"big", "s"}},
        {"200 bytes: cutoff 1", {file("a", 50), file("b", 100), file("c", 50)}, 0.008, {"b", "a", "c"}},
        {"size 0", {dir("e1", {}), dir("e2", {})}, 0.5, {"e1", "e2"}},
        {"restricted and empty never merge",
         {file("big", 10000), locked("r1", 5), locked("r2", 5), dir("z1", {}), dir("z2", {})}, 0.008,
         {"big", "r1", "r2", "z1", "z2"}},
        {"NaN threshold: cutoff 1", {file("a", 1), file("b", 1), file("c", 8)},
         std::numeric_limits<double>::quiet_NaN(), {"c", "a", "b"}},
        {"negative threshold", {file("a", 1), file("b", 1), file("c", 8)}, -1.0, {"c", "a", "b"}},
        {"everything below the full size", {file("a", 1), file("b", 1), file("c", 8)}, 1.0, {kGroup}},
        {"ties keep their order", {file("a", 5), file("b", 7), file("c", 5), file("d", 7)}, 0.0, {"b", "d", "a", "c"}},
        {"a kept child precedes a group of equal size",
         {file("s1", 4000), file("kept", 8000), file("s2", 4000), file("big", 984000)}, 0.008, {"big", "kept", kGroup}},
    };
    for (const Case& c : cases) {
        auto folder = dir("f", c.children);
        folder->finalize(c.threshold);
        EXPECT_EQ(names(folder), c.order) << c.what;
        folder->resortChildren();
        EXPECT_EQ(names(folder), c.order) << c.what << " (sorted again)";
    }

    // Only folders merge; groups and virtual nodes are sorted; sizes roll up post-order.
    auto group2 = node("g", NodeKind::smallGroup, 0, {file("a", 1), file("b", 1), file("c", 1000)});
    auto virt = node("v", NodeKind::virtual_, 5, {file("a", 1), file("b", 1), file("c", 1000)});
    auto sub = dir("sub", {file("x", 300), dir("inner", {file("y", 700)})});
    auto top = dir("root", {group2, virt, sub});
    top->finalize(0.5);
    EXPECT_EQ(group2->size, 1002);
    EXPECT_EQ(names(group2), (QStringList{"c", "a", "b"}));
    EXPECT_EQ(virt->size, 5);  // finalize keeps a virtual node's size
    EXPECT_EQ(names(sub), (QStringList{"inner", "x"}));
    EXPECT_EQ(top->size, 2007);
    ASSERT_EQ(names(top), QStringList{kGroup});  // cutoff 1003: all three are small
    EXPECT_EQ(names(top->children[0]), (QStringList{"g", "sub", "v"}));
}

TEST(ScanNode, RandomTreesKeepTheirInvariantsAfterFinalize) {
    std::mt19937 random(20240611);
    int groups = 0;
    for (int round = 0; round < 30; ++round) {
        std::unordered_map<const ScanNode*, int> order;  // creation order = listing order
        qint64 total = 0;
        std::function<ScanNodePtr(int)> build = [&](int depth) -> ScanNodePtr {
            std::vector<ScanNodePtr> children;
            const int count = depth > 3 ? 0 : static_cast<int>(random() % 9);
            for (int i = 0; i < count; ++i) {
                const int pick = static_cast<int>(random() % 10);
                ScanNodePtr child;
                if (pick < 3) {
                    child = build(depth + 1);
                } else if (pick == 3) {
                    child = locked("r");
                } else {
                    const qint64 sizes[] = {0, 1, 2, 100, 5000, 5000, 262144, 3000000};
                    child = file("f", sizes[random() % 8]);
                    total += child->size;
                }
                order.emplace(child.get(), int(order.size()));
                children.push_back(child);
            }
            return dir("d", std::move(children));
        };
        ScanNodePtr root = build(0);
        root->finalize(0.008);
        EXPECT_EQ(root->size, total);

        std::vector<ScanNodePtr> stack{root};
        while (!stack.empty()) {
            ScanNodePtr n = stack.back();
            stack.pop_back();
            const qint64 cutoff = std::max<qint64>(1, static_cast<qint64>(n->size * 0.008));
            qint64 sum = 0;
            int smallLeft = 0;
            bool hasGroup = false;
            for (size_t i = 0; i < n->children.size(); ++i) {
                const auto& c = n->children[i];
                sum += c->size;
                EXPECT_EQ(c->parent(), n);
                if (c->kind == NodeKind::smallGroup) {
                    hasGroup = true;
                    ++groups;
                    EXPECT_EQ(n->kind, NodeKind::dir);
                } else if (c->size >= 1 && c->size < cutoff && c->kind != NodeKind::restricted) {
                    ++smallLeft;
                }
                if (i > 0) {
                    const auto& p = n->children[i - 1];
                    EXPECT_GE(p->size, c->size);
                    if (p->size == c->size && order.count(p.get()) && order.count(c.get())) {
                        EXPECT_LT(order[p.get()], order[c.get()]);
                    }
                }
                stack.push_back(c);
            }
            if (n->kind == NodeKind::dir || n->kind == NodeKind::smallGroup) {
                EXPECT_EQ(n->size, sum);
            }
            if (n->kind == NodeKind::dir) {
                EXPECT_LE(smallLeft, hasGroup ? 0 : 1);
            }
        }
    }
    EXPECT_GT(groups, 10);
}

TEST(ScanNode, MillionDeepChainIsFinalizedAndFreedWithoutRecursion) {
    std::weak_ptr<ScanNode> leafWatch;
    {
        ScanNodePtr current = file("leaf", 42);
        leafWatch = current;
        for (int i = 0; i < 1000000; ++i) current = dir("d", {current});
        current->finalize(0.008);
        EXPECT_EQ(current->size, 42);
        EXPECT_EQ(leafWatch.lock()->parent()->size, 42);
    }
    EXPECT_TRUE(leafWatch.expired());
}

TEST(ScanNode, OnlyRealFilesAndFoldersAreCollectable) {
    auto f = file("f", 300000);
    auto d = dir("d", {f});
    auto smallFiles = ScanNode::create(QUuid::createUuid(), ScanNode::smallFilesName(3), d->path(), NodeKind::file, 30);
    smallFiles->isAggregate = true;  // the folder's own path: collecting it would move the folder
    EXPECT_TRUE(f->isCollectable() && d->isCollectable() && locked("r")->isCollectable());
    EXPECT_FALSE(smallFiles->isCollectable());
    EXPECT_FALSE(node("v", NodeKind::virtual_, 1)->isCollectable());
    EXPECT_FALSE(node("g", NodeKind::smallGroup, 1)->isCollectable());
    EXPECT_TRUE(CollectorItem::fromNode(*d).isDirectory);
    EXPECT_FALSE(CollectorItem::fromNode(*f).isDirectory);
}

TEST(ScanNode, PathsComeFromTheParentChainAndStayWhatTheyWere) {
    // As the walker builds: entries name their path component, aggregates carry the holder's path.
    auto photo = entry("photo.jpg", NodeKind::file, 300000);
    auto small = ScanNode::createInHolder(ScanNode::makeId(), ScanNode::smallFilesName(2), NodeKind::file, 20);
    auto pictures = entry("Pictures", NodeKind::dir, 0, {photo, small});
    auto tiny = entry("a", NodeKind::file, 1);
    auto root = ScanNode::create(ScanNode::makeId(), "Computer", "/", NodeKind::dir, 0,
                                 {pictures, entry("big", NodeKind::file, 10000000), tiny, entry("b", NodeKind::file, 1)});
    EXPECT_EQ(photo->path(), "/Pictures/photo.jpg");  // no doubled slash below "/"
    EXPECT_EQ(small->path(), "/Pictures");
    EXPECT_FALSE(photo->storesPath());
    root->finalize(0.008);  // the two tiny files merge into a group carrying the folder's path
    EXPECT_EQ(tiny->parent()->path(), "/");
    EXPECT_EQ(tiny->path(), "/a");

    // Stored paths that follow from the holder stop being stored; others stay.
    auto cached = ScanNode::create(QUuid::createUuid(), "x", "/v/d/x", NodeKind::file, 1);
    auto elsewhere = ScanNode::create(QUuid::createUuid(), "y", "/somewhere/else/y", NodeKind::file, 1);
    auto d = ScanNode::create(QUuid::createUuid(), "d", "/v/d", NodeKind::dir, 0, {cached, elsewhere});
    EXPECT_FALSE(cached->storesPath());
    EXPECT_TRUE(elsewhere->storesPath());
    EXPECT_EQ(elsewhere->path(), "/somewhere/else/y");
    // Moved to a holder with another path, a node keeps its own.
    ScanNode::create(QUuid::createUuid(), "o", "/other", NodeKind::dir, 0)->appendChild(cached);
    EXPECT_EQ(cached->path(), "/v/d/x");

    // A node that outlives its tree keeps its path, and so does its subtree.
    std::weak_ptr<ScanNode> rootWatch = root;
    root.reset();
    small.reset();
    tiny.reset();
    ASSERT_TRUE(rootWatch.expired());
    EXPECT_EQ(pictures->parent(), nullptr);
    EXPECT_EQ(pictures->path(), "/Pictures");
    EXPECT_EQ(photo->path(), "/Pictures/photo.jpg");
}

TEST(ScanNode, MadeIdsAreUniqueVersion4UuidsOnEveryThread) {
    constexpr int kEach = 20000;
    std::vector<QUuid> made[2];
    std::thread other([&] {
        for (int i = 0; i < kEach; ++i) made[1].push_back(ScanNode::makeId());
    });
    for (int i = 0; i < kEach; ++i) made[0].push_back(ScanNode::makeId());
    other.join();
    QSet<QUuid> all;
    for (const auto& ids : made) {
        for (const QUuid& id : ids) {
            EXPECT_TRUE(id.version() == QUuid::Random && id.variant() == QUuid::DCE);
            all.insert(id);
        }
    }
    EXPECT_EQ(all.size(), 2 * kEach);
}

TEST(ScanNode, SumsSaturateInsteadOfTurningNegative) {
    auto huge = [] { return entry("huge", NodeKind::file, kMax - 10); };
    auto folder = ScanNode::create(ScanNode::makeId(), "f", "/f", NodeKind::dir, 0, {huge(), huge()});
    folder->finalize(0.008);
    EXPECT_EQ(folder->size, kMax);
    folder->appendChild(huge());
    EXPECT_EQ(folder->size, kMax);
    auto grouped = ScanNode::create(ScanNode::makeId(), "g", "/g", NodeKind::dir, 0,
                                    {huge(), entry("s1", NodeKind::file, 5), entry("s2", NodeKind::file, 5)});
    grouped->finalize(0.5);
    EXPECT_EQ(grouped->size, kMax);
}
