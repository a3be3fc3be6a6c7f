#include "services/care/VidurAdedService.h"

#include "platform/Environment.h"
#include "services/cleanup/DigestCache.h"
#include "services/store/MemoryBudget.h"
#include "support/Saturating.h"

#include <QMetaObject>
#include <QObject>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace tarnwick::VidurAdedService {

namespace {

const QString kPassName = QStringLiteral("Vidur Aded \u00B7 ");
const QString kSeparator = QStringLiteral(" \u00B7 ");
const QString kEllipsis = QStringLiteral("\u2026");

// A module on its way to the receiver's thread; the pass waits for applied.
struct Handoff {
    std::mutex mutex;
    std::condition_variable_any woken;
    bool applied = false;
};

// Calls onModule on the receiver's thread and waits until it has returned.
// False when the pass was stopped first (the module may still arrive later;
// the receiver drops what a replaced pass sends).
bool deliver(QObject* receiver, const OnModule& onModule, VidurAdedModule module, std::stop_token stop) {
    if (stop.stop_requested()) return false;
    if (!receiver || receiver->thread() == QThread::currentThread()) {
        if (onModule) onModule(module);
        return !stop.stop_requested();
    }
    auto handoff = std::make_shared<Handoff>();
    QMetaObject::invokeMethod(
        receiver,
        [handoff, onModule, module = std::move(module)] {
            if (onModule) onModule(module);
            {
                std::lock_guard lock(handoff->mutex);
                handoff->applied = true;
            }
            handoff->woken.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(handoff->mutex);
    return handoff->woken.wait(lock, stop, [&handoff] { return handoff->applied; });
}

// Reports the step's text, then runs its finder with every label the finder
// reports prefixed by the step's name. None when the pass was stopped.
template <class Item>
std::optional<QList<Item>> runStep(const Finder<Item>& finder, const QString& stepText, const QString& labelName,
                                   const Progress& progress, std::stop_token stop) {
    if (stop.stop_requested()) return std::nullopt;
    if (progress) progress(kPassName + stepText + kEllipsis);
    const QString prefix = kPassName + labelName + kSeparator;
    const Progress prefixed = [&progress, &prefix](const QString& label) {
        if (progress) progress(prefix + label);
    };
    QList<Item> found = finder ? finder(prefixed, stop) : QList<Item>{};
    if (stop.stop_requested()) return std::nullopt;
    return found;
}

// The selected items' count and summed size.
template <class Item>
std::pair<int, qint64> selectedTotals(const QList<Item>& items) {
    int count = 0;
    Saturating::Total bytes;
    for (const Item& item : items) {
        if (!item.isSelected) continue;
        ++count;
        bytes.add(item.size);
    }
    return {count, bytes.value()};
}

// A selected finding of a module the recommended clean moves.
struct Offered {
    QString path;
    qint64 size = 0;
};

template <typename Item>
void addSelected(const QList<Item>& items, std::vector<Offered>& offered) {
    for (const Item& item : items) {
        if (item.isSelected) offered.push_back({item.path, item.size});
    }
}

// The bytes of findings whose path is another's, or lies inside another's:
// the outer finding already holds them. Shorter paths go first, so an outer
// finding is seen before anything inside it, whichever module listed it.
qint64 sharedBytes(std::vector<Offered> offered) {
    std::stable_sort(offered.begin(), offered.end(),
                     [](const Offered& a, const Offered& b) { return a.path.size() < b.path.size(); });
    QSet<QString> held;
    Saturating::Total shared;
    for (const Offered& item : offered) {
        bool inside = false;
        for (QString at = item.path; !at.isEmpty();) {
            if (held.contains(at)) {
                inside = true;
                break;
            }
            const qsizetype cut = at.lastIndexOf(QLatin1Char('/'));
            if (cut <= 0) break;
            at.truncate(cut);
        }
        if (inside) {
            shared.add(item.size);
        } else {
            held.insert(item.path);
        }
    }
    return shared.value();
}

}  // namespace

int healthScore(const VidurAdedResult& totals, int leftoversHeavy) {
    auto capped = [](qint64 value, qint64 cap) { return std::min(value, cap); };
    const qint64 score = 100 - capped(2 * qint64(totals.junkCount), 30) - capped(totals.junkBytes / 500000000, 20) -
                         capped(5 * qint64(totals.protectionHigh), 15) - capped(totals.outdatedApps, 10) -
                         capped(leftoversHeavy, 10) - capped(totals.privacyCount, 10) -
                         capped(totals.performanceIssues, 10);
    return score < 6 ? 5 : int(score);
}

int launchItemCount(const QList<PerformanceItem>& items) {
    QSet<QString> seen;
    int count = 0;
    for (const PerformanceItem& item : items) {
        if (item.kind == PerformanceItem::Kind::process) continue;
        // One property list is one launch item, whatever kinds it is listed as.
        const QString key = item.path ? QStringLiteral("path:") + *item.path : QStringLiteral("title:") + item.title;
        if (seen.contains(key)) continue;
        seen.insert(key);
        ++count;
    }
    return count;
}

std::optional<VidurAdedResult> run(const Finders& finders, const Progress& progress, QObject* receiver,
                                   const OnModule& onModule, std::stop_token stop) {
    // The junk and the clutter steps look for duplicates in the same folders:
    // each file is read once in the pass.
    const DigestCache::Scope digests;
    VidurAdedResult result;
    result.finishedAt = Environment::current().now();
    auto hand = [&](auto payload) { return deliver(receiver, onModule, VidurAdedModule{std::move(payload)}, stop); };

    // 1. Junk: the selected findings count, in number and bytes.
    auto junk = runStep(finders.cleanup, QStringLiteral("Junk"), QStringLiteral("Junk"), progress, stop);
    if (!junk) return std::nullopt;
    QList<CleanupItem> junkItems = MemoryBudget::trimCleanup(*junk);
    std::tie(result.junkCount, result.junkBytes) = selectedTotals(junkItems);
    std::vector<Offered> offered;
    addSelected(junkItems, offered);
    if (!hand(VidurAdedModule::Junk{std::move(junkItems)})) return std::nullopt;

    // 2. Clutter: reported, never scored.
    auto clutter = runStep(finders.clutter, QStringLiteral("Clutter"), QStringLiteral("Clutter"), progress, stop);
    if (!clutter) return std::nullopt;
    QList<ClutterItem> clutterItems = MemoryBudget::trimClutter(*clutter);
    std::tie(result.clutterCount, result.clutterBytes) = selectedTotals(clutterItems);
    addSelected(clutterItems, offered);
    if (!hand(VidurAdedModule::Clutter{std::move(clutterItems)})) return std::nullopt;

    // 3. Protection: every kept finding counts, the high ones apart.
    auto protection =
        runStep(finders.protection, QStringLiteral("Protection"), QStringLiteral("Protection"), progress, stop);
    if (!protection) return std::nullopt;
    QList<ProtectionFinding> findings = MemoryBudget::trimProtection(*protection);
    result.protectionCount = int(findings.size());
    result.protectionHigh = int(std::count_if(findings.begin(), findings.end(), [](const ProtectionFinding& f) {
        return f.severity == ProtectionFinding::Severity::high;
    }));
    if (!hand(VidurAdedModule::Protection{std::move(findings)})) return std::nullopt;

    // 4. Privacy.
    auto privacy = runStep(finders.privacy, QStringLiteral("Privacy"), QStringLiteral("Privacy"), progress, stop);
    if (!privacy) return std::nullopt;
    QList<PrivacyItem> privacyItems = MemoryBudget::trimPrivacy(*privacy);
    std::tie(result.privacyCount, result.privacyBytes) = selectedTotals(privacyItems);
    addSelected(privacyItems, offered);
    result.sharedBytes = sharedBytes(std::move(offered));
    if (!hand(VidurAdedModule::Privacy{std::move(privacyItems)})) return std::nullopt;

    // 5. Apps: two counts only; the list never leaves this thread.
    auto apps = runStep(finders.apps, QStringLiteral("Apps (summary)"), QStringLiteral("Apps"), progress, stop);
    if (!apps) return std::nullopt;
    VidurAdedModule::AppsSummary summary;
    summary.count = int(apps->size());
    summary.leftoversHeavy = int(std::count_if(apps->begin(), apps->end(), [](const InstalledApp& app) {
        return app.leftoversBytes() > kHeavyLeftoversBytes;
    }));
    apps.reset();
    const int leftoversHeavy = summary.leftoversHeavy;
    if (!hand(summary)) return std::nullopt;

    // 6. Updates: the first candidates in the finder's order.
    auto updates = runStep(finders.updates, QStringLiteral("Updates"), QStringLiteral("Updates"), progress, stop);
    if (!updates) return std::nullopt;
    QList<AppUpdateItem> candidates = updates->first(std::min(updates->size(), kUpdatesHandedOn));
    updates.reset();
    result.outdatedApps = int(candidates.size());
    if (!hand(VidurAdedModule::Updates{std::move(candidates)})) return std::nullopt;

    // 7. Performance: launch items count, heavy processes do not.
    auto performance =
        runStep(finders.performance, QStringLiteral("Performance"), QStringLiteral("Performance"), progress, stop);
    if (!performance) return std::nullopt;
    QList<PerformanceItem> performanceItems = MemoryBudget::trimPerformance(*performance);
    result.performanceIssues = launchItemCount(performanceItems);
    if (!hand(VidurAdedModule::Performance{std::move(performanceItems)})) return std::nullopt;

    result.healthScore = healthScore(result, leftoversHeavy);
    result.finishedAt = Environment::current().now();
    if (!hand(VidurAdedModule::Finished{result})) return std::nullopt;
    return result;
}

}  // namespace tarnwick::VidurAdedService
