#include "models/ScanNode.h"

#include <QSet>
#include <QStringList>
#include <gtest/gtest.h>

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

QStringList names(const ScanNodePtr& n) {
    QStringList out;
    for (const auto& child : n->children) out << child->name;
    return out;
}

const QString kGroup = ScanNode::kSmallerObjectsName.toString();

}  // namespace

TEST(ScanNode, GroupNamesUseTheSingleEllipsisCharacter) {
    EXPECT_EQ(ScanNode::smallFilesName(12), QString::fromUtf8("\xE2\x80\xA6" "12 small files\xE2\x80\xA6"));
    EXPECT_EQ(kGroup, QString::fromUtf8("\xE2\x80\xA6smaller objects\xE2\x80\xA6"));
}

TEST(ScanNode, CreateAndAppendMaintainParentsAndSizesByKind) {
    auto a = file("a", 10);
    auto root = dir("root", {a, nullptr});
    EXPECT_EQ(root->children.size(), 1u);
    EXPECT_EQ(a->parent(), root);
    EXPECT_EQ(root->parent(), nullptr);
    EXPECT_EQ(root->size, 0);  // the given size is kept until something sums

    auto b = file("b", 30);
    root->appendChild(b);
    EXPECT_EQ(b->parent(), root);
    EXPECT_EQ(names(root), (QStringList{"a", "b"}));  // appending never sorts
    EXPECT_EQ(root->size, 40);
    root->resortChildren();
    EXPECT_EQ(names(root), (QStringList{"b", "a"}));

    auto f = file("f", 5);
    f->appendChild(file("x", 100));
    EXPECT_EQ(f->size, 5);
    auto r = node("r", NodeKind::restricted, 0);
    r->appendChild(file("y", 100));
    EXPECT_EQ(r->size, 0);
    r->resortChildren();
    EXPECT_EQ(r->size, 0);
    auto v = node("v", NodeKind::virtual_, 7);
    v->appendChild(file("z", 100));
    EXPECT_EQ(v->size, 100);
}

TEST(ScanNode, FinalizeMergesSmallChildrenAtTheCutoffBoundary) {
    // 1,000,000 bytes at 0.8 %: the cutoff is 8,000.
    auto big = file("big", 978901);
    auto atCutoff = file("atCutoff", 8000);
    auto justBelow = file("justBelow", 7999);
    auto smaller = file("smaller", 5000);
    auto empty = dir("empty", {});
    auto hidden = node("hidden", NodeKind::restricted, 100);
    auto root = dir("root", {empty, smaller, hidden, big, justBelow, atCutoff});
    root->finalize(0.008);

    EXPECT_EQ(root->size, 1000000);
    ASSERT_EQ(names(root), (QStringList{"big", kGroup, "atCutoff", "hidden", "empty"}));
    const auto& group = root->children[1];
    EXPECT_EQ(group->kind, NodeKind::smallGroup);
    EXPECT_EQ(group->path(), root->path());
    EXPECT_EQ(group->size, 12999);
    EXPECT_TRUE(group->isAggregate);
    EXPECT_FALSE(group->id.isNull());
    EXPECT_EQ(group->parent(), root);
    EXPECT_EQ(names(group), (QStringList{"justBelow", "smaller"}));
    EXPECT_EQ(justBelow->parent(), group);
    EXPECT_EQ(smaller->parent(), group);
    EXPECT_EQ(hidden->parent(), root);
}

TEST(ScanNode, FinalizeLeavesFoldersWithoutTwoSmallChildrenSorted) {
    // Exactly one child below the cutoff stays unwrapped.
    auto one = dir("one", {file("s", 7999), file("big", 992001)});
    one->finalize(0.008);
    EXPECT_EQ(names(one), (QStringList{"big", "s"}));

    // A 200-byte folder has the cutoff 1: nothing can be small.
    auto tiny = dir("tiny", {file("a", 50), file("b", 100), file("c", 50)});
    tiny->finalize(0.008);
    EXPECT_EQ(names(tiny), (QStringList{"b", "a", "c"}));
    EXPECT_EQ(tiny->size, 200);

    // Size 0 or a single child: sorted only.
    auto zero = dir("zero", {dir("e1", {}), dir("e2", {})});
    zero->finalize(0.5);
    EXPECT_EQ(names(zero), (QStringList{"e1", "e2"}));
    auto single = dir("single", {file("only", 3)});
    single->finalize(0.9);
    EXPECT_EQ(names(single), (QStringList{"only"}));

    // Restricted children never merge whatever their size; zero-size ones neither.
    auto guarded = dir("guarded", {file("big", 10000), node("r1", NodeKind::restricted, 5),
                                   node("r2", NodeKind::restricted, 5), dir("z1", {}), dir("z2", {})});
    guarded->finalize(0.008);
    EXPECT_EQ(names(guarded), (QStringList{"big", "r1", "r2", "z1", "z2"}));

    // Odd thresholds never crash and fall back to a cutoff of 1.
    auto odd = dir("odd", {file("a", 1), file("b", 1), file("c", 8)});
    odd->finalize(std::numeric_limits<double>::quiet_NaN());
    odd->finalize(-1.0);
    EXPECT_EQ(names(odd), (QStringList{"c", "a", "b"}));
    odd->finalize(1.0);  // everything below the full size is small
    EXPECT_EQ(names(odd), (QStringList{kGroup}));
}

TEST(ScanNode, TiesKeepTheirOrderAndAKeptChildPrecedesAGroupOfEqualSize) {
    auto plain = dir("plain", {file("a", 5), file("b", 7), file("c", 5), file("d", 7)});
    plain->finalize(0.0);
    EXPECT_EQ(names(plain), (QStringList{"b", "d", "a", "c"}));
    plain->resortChildren();
    EXPECT_EQ(names(plain), (QStringList{"b", "d", "a", "c"}));

    auto root = dir("root", {file("s1", 4000), file("kept", 8000), file("s2", 4000), file("big", 984000)});
    root->finalize(0.008);
    ASSERT_EQ(names(root), (QStringList{"big", "kept", kGroup}));
    EXPECT_EQ(names(root->children[2]), (QStringList{"s1", "s2"}));
}

TEST(ScanNode, FinalizeMergesOnlyUnderFoldersAndRollsUpPostOrder) {
    auto group = node("g", NodeKind::smallGroup, 0, {file("a", 1), file("b", 1), file("c", 1000)});
    auto virt = node("v", NodeKind::virtual_, 5, {file("a", 1), file("b", 1), file("c", 1000)});
    auto sub = dir("sub", {file("x", 300), dir("inner", {file("y", 700)})});
    auto root = dir("root", {group, virt, sub});
    root->finalize(0.5);
    EXPECT_EQ(group->size, 1002);
    EXPECT_EQ(names(group), (QStringList{"c", "a", "b"}));
    EXPECT_EQ(virt->size, 5);  // finalize keeps a virtual node's size
    EXPECT_EQ(names(virt), (QStringList{"c", "a", "b"}));
    EXPECT_EQ(sub->size, 1000);
    EXPECT_EQ(names(sub), (QStringList{"inner", "x"}));  // x is small but alone
    EXPECT_EQ(root->size, 2007);
    // root: cutoff 1003; sub (1000), g (1002) and v (5) are all small.
    ASSERT_EQ(names(root), (QStringList{kGroup}));
    EXPECT_EQ(names(root->children[0]), (QStringList{"g", "sub", "v"}));
    virt->resortChildren();
    EXPECT_EQ(virt->size, 1002);
}

TEST(ScanNode, RandomTreesKeepTheirInvariantsAfterFinalize) {
    std::mt19937 random(20240611);
    int groups = 0;
    for (int round = 0; round < 30; ++round) {
        std::unordered_map<const ScanNode*, int> order;  // creation order = listing order
        int counter = 0;
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
                    child = node("r", NodeKind::restricted, 0);
                } else {
                    const qint64 sizes[] = {0, 1, 2, 100, 5000, 5000, 262144, 3000000};
                    const qint64 size = sizes[random() % 8];
                    total += size;
                    child = file("f", size);
                }
                order[child.get()] = counter++;
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
            if (n->kind == NodeKind::dir || n->kind == NodeKind::smallGroup) {
                qint64 sum = 0;
                for (const auto& c : n->children) sum += c->size;
                EXPECT_EQ(n->size, sum);
            }
            const qint64 cutoff = std::max<qint64>(1, static_cast<qint64>(n->size * 0.008));
            int smallLeft = 0;
            bool hasGroup = false;
            for (size_t i = 0; i < n->children.size(); ++i) {
                const auto& c = n->children[i];
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
                    if (p->size == c->size) {
                        const int po = order.count(p.get()) ? order[p.get()] : INT_MAX;
                        const int co = order.count(c.get()) ? order[c.get()] : INT_MAX;
                        EXPECT_LT(po, co);
                    }
                }
                if (n->kind == NodeKind::smallGroup) {
                    EXPECT_NE(c->kind, NodeKind::smallGroup);
                }
                stack.push_back(c);
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

TEST(ScanNode, ReleasingTheRootKeepsSubtreesOthersStillHold) {
    ScanNodePtr held;
    std::weak_ptr<ScanNode> rootWatch;
    std::weak_ptr<ScanNode> siblingWatch;
    {
        held = dir("held", {file("a", 1), dir("deeper", {file("b", 2)})});
        auto sibling = dir("sibling", {file("c", 3)});
        siblingWatch = sibling;
        auto root = dir("root", {dir("mid", {held}), sibling});
        rootWatch = root;
    }
    EXPECT_TRUE(rootWatch.expired());
    EXPECT_TRUE(siblingWatch.expired());
    EXPECT_EQ(held->parent(), nullptr);
    ASSERT_EQ(held->children.size(), 2u);
    EXPECT_EQ(held->children[1]->children.size(), 1u);
    EXPECT_EQ(held->children[1]->parent(), held);
}

TEST(ScanNode, CollectabilityAndCollectorItems) {
    auto f = file("f", 300000);
    auto d = dir("d", {f});
    auto r = node("r", NodeKind::restricted, 0);
    auto smallFiles = ScanNode::create(QUuid::createUuid(), ScanNode::smallFilesName(3), d->path(),
                                       NodeKind::file, 30);
    smallFiles->isAggregate = true;
    EXPECT_TRUE(f->isCollectable());
    EXPECT_TRUE(d->isCollectable());
    EXPECT_TRUE(r->isCollectable());
    EXPECT_FALSE(smallFiles->isCollectable());
    EXPECT_FALSE(node("v", NodeKind::virtual_, 1)->isCollectable());
    EXPECT_FALSE(node("g", NodeKind::smallGroup, 1)->isCollectable());

    const CollectorItem fromDir = CollectorItem::fromNode(*d);
    EXPECT_EQ(fromDir, (CollectorItem{d->id, QStringLiteral("d"), d->path(), 0, true}));
    EXPECT_FALSE(CollectorItem::fromNode(*f).isDirectory);
    EXPECT_FALSE(CollectorItem::fromNode(*r).isDirectory);
}

namespace {

ScanNodePtr entry(const QString& name, NodeKind kind, qint64 size, std::vector<ScanNodePtr> children = {}) {
    return ScanNode::createEntry(ScanNode::makeId(), name, kind, size, std::move(children));
}

}  // namespace

TEST(ScanNode, PathsComeFromTheParentChainAndStayWhatTheyWere) {
    // As the walker builds: entries name their path component, aggregates carry the holder's path.
    auto photo = entry("photo.jpg", NodeKind::file, 300000);
    auto small = ScanNode::createInHolder(ScanNode::makeId(), ScanNode::smallFilesName(2), NodeKind::file, 20);
    auto pictures = entry("Pictures", NodeKind::dir, 0, {photo, small});
    auto tiny1 = entry("a", NodeKind::file, 1);
    auto tiny2 = entry("b", NodeKind::file, 1);
    auto root = ScanNode::create(ScanNode::makeId(), "Macintosh HD", "/", NodeKind::dir, 0,
                                 {pictures, entry("big", NodeKind::file, 10000000), tiny1, tiny2});
    EXPECT_EQ(photo->path(), "/Pictures/photo.jpg");  // no doubled slash below "/"
    EXPECT_EQ(small->path(), "/Pictures");
    EXPECT_EQ(root->path(), "/");
    EXPECT_FALSE(photo->storesPath());
    root->finalize(0.008);  // tiny1 and tiny2 merge into a group carrying the folder's path
    auto group = tiny1->parent();
    ASSERT_TRUE(group);
    EXPECT_EQ(group->kind, NodeKind::smallGroup);
    EXPECT_EQ(group->path(), "/");
    EXPECT_EQ(tiny1->path(), "/a");

    // Stored paths that follow from the holder stop being stored; others stay.
    auto cached = ScanNode::create(QUuid::createUuid(), "x", "/v/d/x", NodeKind::file, 1);
    auto elsewhere = ScanNode::create(QUuid::createUuid(), "y", "/somewhere/else/y", NodeKind::file, 1);
    auto inHolder = ScanNode::create(QUuid::createUuid(), ScanNode::smallFilesName(1), "/v/d", NodeKind::file, 1);
    auto d = ScanNode::create(QUuid::createUuid(), "d", "/v/d", NodeKind::dir, 0, {cached, elsewhere, inHolder});
    EXPECT_FALSE(cached->storesPath());
    EXPECT_FALSE(inHolder->storesPath());
    EXPECT_TRUE(elsewhere->storesPath());
    EXPECT_EQ(cached->path(), "/v/d/x");
    EXPECT_EQ(inHolder->path(), "/v/d");
    EXPECT_EQ(elsewhere->path(), "/somewhere/else/y");

    // Moved to a holder with another path, a node keeps its own.
    auto other = ScanNode::create(QUuid::createUuid(), "o", "/other", NodeKind::dir, 0);
    other->appendChild(cached);
    EXPECT_EQ(cached->parent(), other);
    EXPECT_EQ(cached->path(), "/v/d/x");

    // A node that outlives its tree keeps its path, and so does its subtree.
    ScanNodePtr keptPhoto = photo;
    ScanNodePtr keptPictures = pictures;
    photo.reset();
    pictures.reset();
    small.reset();
    group.reset();
    tiny1.reset();
    tiny2.reset();
    root.reset();
    EXPECT_EQ(keptPictures->parent(), nullptr);
    EXPECT_EQ(keptPictures->path(), "/Pictures");
    EXPECT_EQ(keptPhoto->path(), "/Pictures/photo.jpg");
    EXPECT_EQ(keptPhoto->parent(), keptPictures);
}

TEST(ScanNode, MadeIdsAreUniqueVersion4UuidsOnEveryThread) {
    constexpr int kThreads = 4;
    constexpr int kEach = 20000;
    std::vector<std::vector<QUuid>> made(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) made[t].push_back(ScanNode::makeId());
        });
    }
    for (auto& thread : threads) thread.join();
    QSet<QUuid> all;
    for (const auto& ids : made) {
        for (const QUuid& id : ids) {
            EXPECT_EQ(id.version(), QUuid::Random);
            EXPECT_EQ(id.variant(), QUuid::DCE);
            all.insert(id);
        }
    }
    EXPECT_EQ(all.size(), kThreads * kEach);
}

TEST(ScanNode, SumsSaturateInsteadOfTurningNegative) {
    constexpr qint64 kNearMax = std::numeric_limits<qint64>::max() - 10;
    auto huge = [&] { return entry("huge", NodeKind::file, kNearMax); };
    auto folder = ScanNode::create(ScanNode::makeId(), "f", "/f", NodeKind::dir, 0, {huge(), huge()});
    folder->finalize(0.008);
    EXPECT_EQ(folder->size, std::numeric_limits<qint64>::max());
    folder->appendChild(huge());
    EXPECT_EQ(folder->size, std::numeric_limits<qint64>::max());
    auto group = ScanNode::create(ScanNode::makeId(), "g", "/g", NodeKind::dir, 0,
                                  {entry("big", NodeKind::file, kNearMax), entry("s1", NodeKind::file, 5),
                                   entry("s2", NodeKind::file, 5)});
    group->finalize(0.5);
    EXPECT_EQ(group->size, std::numeric_limits<qint64>::max());
}
