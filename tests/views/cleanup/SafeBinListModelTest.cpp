#include "views/cleanup/SafeBinListModel.h"

#include <gtest/gtest.h>

#include <QPersistentModelIndex>

#include <memory>
#include <random>

using namespace tarnwick;

namespace {

SafeBinEntry entry(int number, qint64 size = 100) {
    const QString name = QStringLiteral("item-%1").arg(number);
    return SafeBinEntry::create(QUuid::createUuid(), "/home/u/" + name, name, name, size,
                                QDateTime(QDate(2024, 6, 1), QTime(12, 0), Qt::UTC).addSecs(-number));
}

AppState::SafeBinList shared(std::vector<SafeBinEntry> entries) {
    return std::make_shared<const std::vector<SafeBinEntry>>(std::move(entries));
}

std::vector<QUuid> ids(const SafeBinListModel& model) {
    std::vector<QUuid> result;
    for (int row = 0; row < model.rowCount(); ++row) result.push_back(model.entry(row).id);
    return result;
}

std::vector<QUuid> ids(const std::vector<SafeBinEntry>& entries) {
    std::vector<QUuid> result;
    for (const SafeBinEntry& e : entries) result.push_back(e.id);
    return result;
}

// Any mix of rows leaving, coming anywhere and changing in place turns the
// rows shown into the new list without a reset; the rows kept stay the same
// rows (their persistent indexes follow them) and only changed ones redraw.
TEST(SafeBinListModelTest, FollowsAnyChangeRowByRow) {
    std::mt19937 random(20240601);
    auto chance = [&](int percent) { return int(random() % 100) < percent; };
    int next = 0;
    for (int round = 0; round < 300; ++round) {
        std::vector<SafeBinEntry> before;
        const int count = int(random() % 25);
        for (int i = 0; i < count; ++i) before.push_back(entry(next++));

        SafeBinListModel model;
        model.reset(shared(before), 7);
        std::vector<QPersistentModelIndex> kept;
        for (int row = 0; row < count; ++row) kept.emplace_back(model.index(row));

        std::vector<SafeBinEntry> after;
        std::vector<bool> stays(size_t(count), false);
        int updated = 0;
        for (int i = 0; i <= count; ++i) {
            while (chance(25)) after.push_back(entry(next++));
            if (i == count || chance(30)) continue;
            stays[size_t(i)] = true;
            SafeBinEntry item = before[size_t(i)];
            if (chance(20)) {
                item.size += 1;  // a grouped item that gave back some of its members
                ++updated;
            }
            after.push_back(item);
        }

        SafeBinChange change = SafeBinChange::between(before, after);
        ASSERT_FALSE(change.whole);
        change.version = 8;
        int resets = 0;
        int redrawn = 0;
        QObject::connect(&model, &QAbstractItemModel::modelAboutToBeReset, [&] { ++resets; });
        QObject::connect(&model, &QAbstractItemModel::dataChanged,
                         [&](const QModelIndex& first, const QModelIndex& last) {
                             redrawn += last.row() - first.row() + 1;
                         });
        model.apply(shared(after), change);

        ASSERT_EQ(ids(model), ids(after)) << "round " << round;
        EXPECT_EQ(resets, 0);
        EXPECT_EQ(redrawn, updated);
        EXPECT_EQ(model.version(), 8u);
        for (int i = 0; i < count; ++i) {
            ASSERT_EQ(kept[size_t(i)].isValid(), bool(stays[size_t(i)])) << "round " << round << " row " << i;
            if (stays[size_t(i)]) {
                EXPECT_EQ(model.entry(kept[size_t(i)].row()).id, before[size_t(i)].id);
                EXPECT_EQ(model.entry(kept[size_t(i)].row()), after[size_t(kept[size_t(i)].row())]);
            }
        }
    }
}

// A change that does not lead on from the list shown (one was missed, or it
// gives no row-by-row account) shows the new list whole.
TEST(SafeBinListModelTest, AChangeThatDoesNotFollowOnResets) {
    const std::vector<SafeBinEntry> first{entry(1), entry(2)};
    const std::vector<SafeBinEntry> second{entry(3), first[0], first[1]};
    SafeBinListModel model;
    model.reset(shared(first), 1);
    int resets = 0;
    QObject::connect(&model, &QAbstractItemModel::modelAboutToBeReset, [&] { ++resets; });

    SafeBinChange skipped = SafeBinChange::between(first, second);
    skipped.version = 3;  // the list after version 2, not after 1
    model.apply(shared(second), skipped);
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(ids(model), ids(second));

    const std::vector<SafeBinEntry> reordered{second[1], second[0], second[2]};
    const SafeBinChange whole = SafeBinChange::between(second, reordered);
    ASSERT_TRUE(whole.whole);
    model.apply(shared(reordered), whole);
    EXPECT_EQ(resets, 2);
    EXPECT_EQ(ids(model), ids(reordered));
}

}  // namespace
