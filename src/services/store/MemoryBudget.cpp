#include "services/store/MemoryBudget.h"

#include "support/Saturating.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace tarnwick::MemoryBudget {

namespace {

inline constexpr qsizetype kSelectionSlack = 10;
inline constexpr qsizetype kProtectionSlack = 5;
inline constexpr qsizetype kKeptUpdates = 30;

// The priority items in input order, then the rest (already in the order
// wanted) until the list holds `budget`.
template <typename Item>
QList<Item> priorityThenRest(QList<Item> priority, const QList<Item>& rest, qsizetype budget) {
    const qsizetype room = std::max<qsizetype>(0, budget - priority.size());
    priority.append(rest.first(std::min(room, rest.size())));
    return priority;
}

template <typename Item>
QList<Item> selectedFirstBySize(const QList<Item>& items, qsizetype budget) {
    QList<Item> selected;
    QList<Item> rest;
    for (const Item& item : items) (item.isSelected ? selected : rest).append(item);
    std::stable_sort(rest.begin(), rest.end(), [](const Item& a, const Item& b) { return a.size > b.size; });
    return priorityThenRest(std::move(selected), rest, budget);
}

template <typename Item, typename Keep>
QList<Item> filtered(const QList<Item>& items, Keep keep) {
    QList<Item> kept;
    for (const Item& item : items) {
        if (keep(item)) kept.append(item);
    }
    return kept;
}

// The kept list, when it is more than `slack` items shorter than the list.
template <typename Item>
std::optional<QList<Item>> whenShorterBy(const QList<Item>& items, QList<Item> kept, qsizetype slack) {
    if (kept.size() + slack < items.size()) return kept;
    return std::nullopt;
}

bool isPriority(const ProtectionFinding& finding) {
    return finding.isSelected || finding.severity == ProtectionFinding::Severity::high;
}

}  // namespace

QList<CleanupItem> trimCleanup(const QList<CleanupItem>& items) {
    return selectedFirstBySize(items, kCleanupBudget);
}

QList<ClutterItem> trimClutter(const QList<ClutterItem>& items) {
    return selectedFirstBySize(items, kClutterBudget);
}

QList<PrivacyItem> trimPrivacy(const QList<PrivacyItem>& items) {
    return selectedFirstBySize(items, kPrivacyBudget);
}

QList<ProtectionFinding> trimProtection(const QList<ProtectionFinding>& findings) {
    QList<ProtectionFinding> priority;
    QList<ProtectionFinding> rest;
    for (const ProtectionFinding& finding : findings) (isPriority(finding) ? priority : rest).append(finding);
    return priorityThenRest(std::move(priority), rest, kProtectionBudget);
}

QList<InstalledApp> trimApps(const QList<InstalledApp>& apps) {
    // Totals are worked out once; the sort moves indices, not apps.
    std::vector<std::pair<qint64, qsizetype>> order;
    order.reserve(apps.size());
    for (qsizetype i = 0; i < apps.size(); ++i) {
        order.emplace_back(Saturating::add(apps[i].size, apps[i].leftoversBytes()), i);
    }
    std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first > b.first; });

    QList<InstalledApp> kept;
    const qsizetype count = std::min<qsizetype>(kAppsBudget, apps.size());
    kept.reserve(count);
    for (qsizetype i = 0; i < count; ++i) kept.append(apps[order[i].second]);
    return kept;
}

QList<PerformanceItem> trimPerformance(const QList<PerformanceItem>& items) {
    QList<PerformanceItem> processes;
    QList<PerformanceItem> others;
    for (const PerformanceItem& item : items) {
        if (item.kind == PerformanceItem::Kind::process) {
            if (processes.size() < kProcessBudget) processes.append(item);
        } else if (others.size() < kLaunchItemBudget) {
            others.append(item);
        }
    }
    processes.append(others);
    return processes;
}

std::optional<QList<CleanupItem>> purgedCleanup(const QList<CleanupItem>& items) {
    return whenShorterBy(items, filtered(items, [](const CleanupItem& i) { return i.isSelected; }), kSelectionSlack);
}

std::optional<QList<ClutterItem>> purgedClutter(const QList<ClutterItem>& items) {
    return whenShorterBy(items, filtered(items, [](const ClutterItem& i) { return i.isSelected; }), kSelectionSlack);
}

std::optional<QList<ProtectionFinding>> purgedProtection(const QList<ProtectionFinding>& findings) {
    return whenShorterBy(findings, filtered(findings, isPriority), kProtectionSlack);
}

std::optional<QList<PrivacyItem>> purgedPrivacy(const QList<PrivacyItem>& items) {
    return whenShorterBy(items, filtered(items, [](const PrivacyItem& i) { return i.isSelected; }), kProtectionSlack);
}

std::optional<QList<InstalledApp>> purgedApps(const QList<InstalledApp>& apps) {
    if (apps.isEmpty()) return std::nullopt;
    return QList<InstalledApp>{};
}

std::optional<QList<AppUpdateItem>> purgedUpdates(const QList<AppUpdateItem>& updates) {
    if (updates.size() <= kKeptUpdates) return std::nullopt;
    return updates.first(kKeptUpdates);
}

}  // namespace tarnwick::MemoryBudget
