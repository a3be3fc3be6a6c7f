#include "services/store/MemoryBudget.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <limits>

using namespace tarnwick;

namespace {

template <typename Item>
Item sized(int tag, qint64 size, bool selected = false) {
    Item item;
    item.title = QString::number(tag);
    item.size = size;
    item.isSelected = selected;
    return item;
}

QStringList range(int from, int to) {  // "from" .. "to - 1"
    QStringList list;
    for (int i = from; i < to; ++i) list.append(QString::number(i));
    return list;
}

template <typename Item>
void expectSelectedFirstTrim(QList<Item> (*trim)(const QList<Item>&), int budget) {
    SCOPED_TRACE(budget);
    // The `budget` largest, largest first; selected ones first in input order, even when smaller.
    QList<Item> items;
    for (int i = 0; i < budget + 20; ++i) items.append(sized<Item>(i, 1000 + i));
    items.prepend(sized<Item>(-1, 1, true));
    items.append(sized<Item>(-2, 2, true));
    QList<Item> kept = trim(items);
    ASSERT_EQ(kept.size(), budget);
    EXPECT_EQ(test::titlesOf(kept.first(3)), (QStringList{"-1", "-2", QString::number(budget + 19)}));
    EXPECT_EQ(kept.last().title, QString::number(22));

    // More selected than the budget: all of them, nothing else.
    items.clear();
    for (int i = 0; i < budget + 10; ++i) items.append(sized<Item>(i, i, true));
    items.insert(3, sized<Item>(999, 1'000'000));
    kept = trim(items);
    EXPECT_EQ(test::titlesOf(kept), range(0, budget + 10));

    // Equal sizes keep their input order; the trim is idempotent.
    items = {sized<Item>(0, 5), sized<Item>(1, 9), sized<Item>(2, 5), sized<Item>(3, 9), sized<Item>(4, 5)};
    kept = trim(items);
    EXPECT_EQ(test::titlesOf(kept), (QStringList{"1", "3", "0", "2", "4"}));
    EXPECT_EQ(trim(kept), kept);
}

PerformanceItem perf(int tag, PerformanceItem::Kind kind) {
    PerformanceItem item;
    item.title = QString::number(tag);
    item.kind = kind;
    return item;
}

ProtectionFinding finding(int tag, ProtectionFinding::Severity severity, bool selected = false) {
    ProtectionFinding f;
    f.title = QString::number(tag);
    f.severity = severity;
    f.isSelected = selected;
    return f;
}

InstalledApp app(const QString& name, qint64 size, QList<qint64> leftovers = {}) {
    InstalledApp a;
    a.name = name;
    a.size = size;
    for (qint64 bytes : leftovers) a.leftovers.append({.path = QStringLiteral("/x"), .size = bytes});
    return a;
}

}  // namespace

TEST(MemoryBudget, SelectedFirstTrimsAtTheirBudgets) {
    expectSelectedFirstTrim<CleanupItem>(&MemoryBudget::trimCleanup, 80);
    expectSelectedFirstTrim<ClutterItem>(&MemoryBudget::trimClutter, 60);
    expectSelectedFirstTrim<PrivacyItem>(&MemoryBudget::trimPrivacy, 40);
}

TEST(MemoryBudget, ProtectionKeepsHighAndSelectedThenInputOrder) {
    using S = ProtectionFinding::Severity;
    QList<ProtectionFinding> findings;
    for (int i = 0; i < 50; ++i) findings.append(finding(i, i % 2 ? S::low : S::medium));
    findings[10] = finding(10, S::high);
    findings[40] = finding(40, S::low, true);
    const auto kept = MemoryBudget::trimProtection(findings);
    ASSERT_EQ(kept.size(), 40);
    EXPECT_EQ(test::titlesOf(kept.first(3)), (QStringList{"10", "40", "0"})) << "high and selected first, then input order";
    EXPECT_EQ(kept.last().title, "38");
}

TEST(MemoryBudget, AppsByTotalWithLeftovers) {
    constexpr qint64 MB = 1'000'000;
    auto kept = MemoryBudget::trimApps({app("big", 1000 * MB), app("leftovers", 600 * MB, {300 * MB, 200 * MB}),
                                        app("tie1", 10), app("tie2", 4, {6})});
    auto names = [](const QList<InstalledApp>& apps) {
        QStringList out;
        for (const auto& a : apps) out << a.name;
        return out;
    };
    EXPECT_EQ(names(kept), (QStringList{"leftovers", "big", "tie1", "tie2"}));
    QList<InstalledApp> many;
    for (int i = 0; i < 100; ++i) many.append(app(QString::number(i), i % 10));
    EXPECT_EQ(MemoryBudget::trimApps(many).size(), 80);

    // Totals that would overflow hold at the top instead of turning negative.
    constexpr qint64 kMax = std::numeric_limits<qint64>::max();
    EXPECT_EQ(names(MemoryBudget::trimApps({app("small", 1), app("huge", kMax, {kMax})})).first(), "huge");
}

TEST(MemoryBudget, PerformanceTakesProcessesFirst) {
    using K = PerformanceItem::Kind;
    QList<PerformanceItem> items;
    for (int i = 0; i < 3; ++i) items.append(perf(100 + i, K::launchAgent));
    for (int i = 0; i < 20; ++i) items.append(perf(i, K::process));
    const auto kept = MemoryBudget::trimPerformance(items);
    EXPECT_EQ(test::titlesOf(kept), range(0, 12) + range(100, 103));
    EXPECT_EQ(MemoryBudget::trimPerformance(kept), kept);
}

TEST(MemoryBudget, InactiveSectionCutsOnlyWhenWorthIt) {
    // Clutter: 15 unselected items go, 10 stay.
    QList<ClutterItem> clutter;
    for (int i = 0; i < 15; ++i) clutter.append(sized<ClutterItem>(i, i));
    auto purged = MemoryBudget::purgedClutter(clutter);
    ASSERT_TRUE(purged);
    EXPECT_TRUE(purged->isEmpty());
    EXPECT_FALSE(MemoryBudget::purgedClutter(clutter.first(10)));
    // 11 dropped is more than 10; the selected remain in order.
    QList<CleanupItem> junk{sized<CleanupItem>(0, 1, true)};
    for (int i = 1; i <= 11; ++i) junk.append(sized<CleanupItem>(i, i));
    junk.append(sized<CleanupItem>(12, 1, true));
    auto purgedJunk = MemoryBudget::purgedCleanup(junk);
    ASSERT_TRUE(purgedJunk);
    EXPECT_EQ(test::titlesOf(*purgedJunk), (QStringList{"0", "12"}));
    junk.removeAt(1);
    EXPECT_FALSE(MemoryBudget::purgedCleanup(junk));

    // Protection keeps high or selected findings when more than 5 go.
    using S = ProtectionFinding::Severity;
    QList<ProtectionFinding> findings{finding(0, S::high), finding(1, S::low, true)};
    for (int i = 2; i < 7; ++i) findings.append(finding(i, S::medium));
    EXPECT_FALSE(MemoryBudget::purgedProtection(findings));  // 5 would go
    findings.append(finding(7, S::low));
    auto purgedFindings = MemoryBudget::purgedProtection(findings);
    ASSERT_TRUE(purgedFindings);
    EXPECT_EQ(test::titlesOf(*purgedFindings), (QStringList{"0", "1"}));

    EXPECT_EQ(MemoryBudget::purgedApps({app("a", 1)}), QList<InstalledApp>());
    QList<AppUpdateItem> updates(31);
    for (int i = 0; i < 31; ++i) updates[i].name = QString::number(i);
    ASSERT_EQ(MemoryBudget::purgedUpdates(updates).value_or(updates).size(), 30);
    EXPECT_FALSE(MemoryBudget::purgedUpdates(updates.first(30)));
}
