#include "state/SafeBinChange.h"

#include "StateTestSupport.h"
#include "TestSupport.h"
#include "services/safebin/SafeBinService.h"
#include "state/AppState.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

SafeBinEntry entry(const QString& name) {
    return SafeBinEntry::create(QUuid::createUuid(), "/home/u/" + name, name, name, 10,
                                QDateTime(QDate(2024, 6, 1), QTime(12, 0), Qt::UTC));
}

// The list before with the change applied as its rules say.
std::vector<SafeBinEntry> applied(std::vector<SafeBinEntry> before, const SafeBinChange& change,
                                  const std::vector<SafeBinEntry>& after) {
    for (auto row = change.removed.rbegin(); row != change.removed.rend(); ++row) before.erase(before.begin() + *row);
    for (qsizetype row : change.inserted) before.insert(before.begin() + row, after[size_t(row)]);
    for (qsizetype row : change.updated) before[size_t(row)] = after[size_t(row)];
    return before;
}

// A manifest whose ids repeat gives no row-by-row account, and neither does
// a list whose entries changed order.
TEST(SafeBinChangeTest, RepeatedIdsOrANewOrderMeanTheWholeList) {
    const SafeBinEntry a = entry("a");
    const SafeBinEntry b = entry("b");
    EXPECT_TRUE(SafeBinChange::between({a, a}, {a}).whole);
    EXPECT_TRUE(SafeBinChange::between({a}, {a, a}).whole);
    EXPECT_TRUE(SafeBinChange::between({a, b}, {b, a}).whole);
    EXPECT_TRUE(SafeBinChange::between({a, b}, {a, b}).isEmpty());
}

// Every publication of the Safe Bin list (start-up, a clean, a restore, a
// delete, a reload) hands the screens the change from the list they had,
// numbered one after the other; a reload that finds the list as it was
// publishes nothing.
TEST(SafeBinChangeTest, EachPublicationLeadsOnFromTheOneBefore) {
    test::FakeEnvironment env;
    const QString kept = test::writeFile(env.home() + "/kept.txt", "k");
    ASSERT_FALSE(SafeBinService::moveToSafeBin({kept}).error);
    AppState state{test::testServices(), test::quietModules()};

    std::vector<SafeBinEntry> shown;
    std::vector<quint64> versions;
    QObject context;
    QObject::connect(&state, &AppState::changed, &context, [&](AppState::Field field) {
        if (field != AppState::Field::safeBinItems) return;
        const SafeBinChange& change = state.safeBinChange();
        EXPECT_FALSE(change.whole);
        versions.push_back(change.version);
        shown = applied(shown, change, state.safeBinItems());
        EXPECT_EQ(shown, state.safeBinItems());
    });

    state.start();
    ASSERT_TRUE(test::safeBinSettled(state));
    QList<CleanupItem> junk;
    for (const char* name : {"x.log", "y.log"}) {
        CleanupItem item;
        item.path = test::writeFile(env.home() + "/junk/" + name, "j");
        item.isSelected = true;
        junk.append(item);
    }
    AppStateTesting::setCleanupItems(state, junk);
    state.cleanSelectedToSafeBin();
    ASSERT_TRUE(test::safeBinSettled(state));
    ASSERT_EQ(state.safeBinItems().size(), 3u);
    state.restoreSafeBin(state.safeBinItems()[0]);
    state.destroySafeBin(state.safeBinItems()[1]);
    state.reloadSafeBin();
    ASSERT_TRUE(test::safeBinSettled(state));

    EXPECT_EQ(versions, (std::vector<quint64>{1, 2, 3, 4}));
    ASSERT_EQ(state.safeBinItems().size(), 1u);
    EXPECT_EQ(shown, state.safeBinItems());
}

}  // namespace
}  // namespace tarnwick
