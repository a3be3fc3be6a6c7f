// The module patterns of AppState: one scan pattern and one clean-to-Safe-Bin
// pattern that every module's table entry runs through, the toggles and status
// texts they share, and the Safe Bin actions with the one thread every move
// into or out of the Safe Bin runs on. The modules' own entries and actions
// live in AppStateCleanups.cpp, AppStateApps.cpp and AppStateHealth.cpp.

#include "state/AppState.h"

#include "platform/FileIdentity.h"
#include "services/store/ActivityService.h"
#include "services/store/TrashService.h"
#include "state/LabelRelay.h"
#include "support/ByteCountFormatter.h"
#include "support/FileError.h"
#include "support/PathRules.h"
#include "support/Saturating.h"

#include <QMetaObject>

#include <algorithm>
#include <utility>

namespace tarnwick {

namespace {

// True when path or one of its ancestors is in the set.
bool isSameOrBelowAny(const QString& path, const QSet<QString>& set) {
    QString current = PathRules::standardizingPath(path);
    while (!current.isEmpty()) {
        if (set.contains(current)) return true;
        if (current == QLatin1String("/")) break;
        current = PathRules::deletingLastPathComponent(current);
    }
    return false;
}

// True when path is in the set, below one of its paths or above one: an
// entry that went, or one that holds something that went (no longer what was
// measured).
bool touchesAny(const QString& path, const QSet<QString>& set) {
    if (isSameOrBelowAny(path, set)) return true;
    const QString prefix = PathRules::standardizingPath(path) + QLatin1Char('/');
    return std::any_of(set.begin(), set.end(), [&](const QString& gone) { return gone.startsWith(prefix); });
}

// The paths a target moves: the item, or the entries of a folder cleaned by its entries.
QStringList movingPaths(const SafeBinMover::Target& target) {
    if (!target.scope.contentsOnly) return {PathRules::standardizingPath(target.path)};
    if (!target.scope.measured) return {PathRules::standardizingPath(target.path)};
    QStringList paths;
    for (const ScopeEntry& entry : *target.scope.measured) paths.append(PathRules::standardizingPath(entry.path));
    return paths;
}

// The row's word for a finding the clean left in place (the message names
// its paths and the Safe Bin's reasons).
QString whyNotMoved(const QList<SafeBinMover::Target>& targets, bool partly) {
    for (const SafeBinMover::Target& target : targets) {
        if (!TrashService::canCollect(target.path)) return QStringLiteral("Not moved: a protected place");
        if (!target.seen) continue;
        const std::optional<FileIdentity> now = FileIdentity::of(target.path);
        if (now && !target.seen->matches(*now)) return QStringLiteral("Not moved: changed since the scan");
    }
    return partly ? QStringLiteral("Partly moved") : QStringLiteral("Not moved");
}

// Drops what went from a list of findings; true when anything changed.
template <class Item>
bool dropGone(QList<Item>& items, const QSet<QString>& gone) {
    bool changed = false;
    for (qsizetype i = items.size() - 1; i >= 0; --i) {
        Item& item = items[i];
        bool drop = isSameOrBelowAny(item.path, gone);
        if constexpr (requires(const Item& i) { i.keptCopy; }) {
            drop = drop || (item.keptCopy && isSameOrBelowAny(item.keptCopy->path, gone));
        }
        if constexpr (requires(const Item& i) { i.scope; }) {
            MoveScope& scope = item.scope;
            if (!drop && scope.contentsOnly && scope.measured) {
                const qsizetype before = scope.measured->size();
                qint64 lost = 0;
                scope.measured->removeIf([&](const ScopeEntry& entry) {
                    if (!touchesAny(entry.path, gone)) return false;
                    lost += entry.bytes;
                    return true;
                });
                if (scope.measured->size() != before) {
                    item.size = std::max<qint64>(0, item.size - lost);
                    drop = scope.measured->isEmpty();
                    changed = true;
                }
            }
        }
        if (drop) {
            items.removeAt(i);
            changed = true;
        }
    }
    return changed;
}

}  // namespace

void AppState::appendCompanions(QList<SafeBinMover::Target>& targets, const QStringList& paths,
                      const QHash<QString, FileIdentity>& seen) {
    for (const QString& path : paths) {
        const auto found = seen.constFind(path);
        targets.append({path, {}, found == seen.constEnd() ? std::nullopt : std::optional<FileIdentity>(*found)});
    }
}

// ---- The module-scan pattern ----

template <class Item>
void AppState::runModuleScan(const ModuleScan<Item>& scan) {
    ModuleScanSlot& slot = this->*scan.slot;
    slot.stop.request_stop();  // the replaced scan ends early and publishes nothing
    slot.stop = std::stop_source();
    const quint64 generation = ++slot.generation;
    (this->*scan.scanning).set(true);
    (this->*scan.label).set(scan.startLabel);

    const ModuleScan<Item>* kind = &scan;
    QPointer<AppState> self(this);
    // Runs on the finder's thread; the labels reach this one newest last.
    const ModuleServices::Progress progress = LabelRelay::make(this, [self, kind, generation](const QString& label) {
        if (self && (self.data()->*kind->slot).generation == generation) (self.data()->*kind->label).set(label);
    });
    const ModuleServices::Finder<Item> finder = modules_.*scan.finder;
    modulePool_.start([this, self, kind, generation, finder, progress, stop = slot.stop.get_token()] {
        QList<Item> found = finder ? finder(progress, stop) : QList<Item>{};
        if (stop.stop_requested()) return;
        if (kind->budget) found = kind->budget(found);
        // Queued after every label this scan posted, so "Done" comes last.
        QMetaObject::invokeMethod(
            this,
            [self, kind, generation, found = std::move(found)]() mutable {
                if (self) self->finishModuleScan(*kind, generation, std::move(found));
            },
            Qt::QueuedConnection);
    });
}

template <class Item>
void AppState::finishModuleScan(const ModuleScan<Item>& scan, quint64 generation, QList<Item> found) {
    if ((this->*scan.slot).generation != generation) return;  // a newer scan owns the module now
    if (scan.current) found = (this->*scan.current)(std::move(found));
    (this->*scan.list).set(std::move(found));
    (this->*scan.scanning).set(false);
    if (scan.finalLabel) (this->*scan.label).set(*scan.finalLabel);
}

void AppState::stopModuleScans() {
    for (ModuleScanSlot AppState::*slot : {&AppState::cleanupTask_, &AppState::appsTask_, &AppState::updatesTask_,
                                           &AppState::clutterTask_, &AppState::performanceTask_,
                                           &AppState::protectionTask_, &AppState::privacyTask_}) {
        (this->*slot).stop.request_stop();
        ++(this->*slot).generation;
    }
    vidurAdedTask_.stop.request_stop();
    ++vidurAdedTask_.generation;
}

// ---- Toggles and status texts ----

template <class Item>
void AppState::toggleItem(Published<QList<Item>> AppState::*list, const QUuid& id) {
    QList<Item> items = (this->*list).get();
    const auto found = std::find_if(items.begin(), items.end(), [&](const Item& item) { return item.id == id; });
    if (found == items.end()) return;
    found->isSelected = !found->isSelected;
    (this->*list).set(std::move(items));
}

template <class Item>
qint64 AppState::selectedBytes(const QList<Item>& items) {
    Saturating::Total total;
    QSet<QString> counted;
    for (const Item& item : items) {
        if (!item.isSelected) continue;
        const QString path = PathRules::standardizingPath(item.path);
        if (counted.contains(path)) continue;
        counted.insert(path);
        total.add(item.size);
    }
    return total.value();
}

template <class Item>
QString AppState::findingsLine(const QList<Item>& items, qint64 bytes) {
    const auto selected = std::count_if(items.begin(), items.end(), [](const Item& item) { return item.isSelected; });
    return selectionLine(items.size(), QStringLiteral("findings"), selected, bytes);
}

QString AppState::statusText(bool scanning, const QString& label, bool empty, const QString& emptySentence,
                             const std::function<QString()>& countLine) {
    if (scanning) return label;
    if (empty) return emptySentence;
    return countLine();
}

QString AppState::selectionLine(qsizetype count, const QString& noun, qsizetype selected, qint64 bytes) {
    return QString::number(count) + QLatin1Char(' ') + noun + QStringLiteral(" \u00B7 ") + QString::number(selected) +
           QStringLiteral(" selected \u00B7 ") + ByteCountFormatter::fileStyle(bytes);
}

// ---- The clean-to-Safe-Bin pattern ----

template <class Item>
void AppState::cleanSelected(const ModuleClean<Item>& clean) {
    std::vector<QList<SafeBinMover::Target>> targets;
    QList<Item> selected;
    QList<qsizetype> items;
    for (const Item& item : (this->*clean.list).get()) {
        if (!item.isSelected) continue;
        targets.push_back(clean.targets(item));
        selected.append(item);
        items.append(clean.items ? clean.items(item) : 1);
    }
    if (selected.isEmpty()) return;

    const ModuleClean<Item>* kind = &clean;
    std::shared_ptr<CleanTally> tally = cleanTally_;
    const bool counted = cleanTallyCounts_;
    runSafeBinJob(true, [this, kind, targets = std::move(targets), selected, items, tally, counted]() -> SafeBinApply {
        CleanDone done;
        QStringList messages;
        // A refused finding stays out of the move: not cleaned, nothing moved for it.
        std::vector<bool> staying(size_t(selected.size()), false);
        for (qsizetype i = 0; i < selected.size(); ++i) {
            if (!kind->refusal) break;
            if (const std::optional<QString> reason = kind->refusal(selected[i])) {
                staying[size_t(i)] = true;
                done.notMoved.insert(selected[i].id, QStringLiteral("Not moved: ") + *reason);
                if (!messages.contains(*reason)) messages.append(*reason);
            }
        }
        // A copy moves only while the copy it names stays: in place, unchanged
        // and not moving with this clean. Otherwise it is the last copy.
        if constexpr (requires(const Item& item) { item.keptCopy; }) {
            QSet<QString> moving;
            for (size_t i = 0; i < targets.size(); ++i) {
                if (staying[i]) continue;
                for (const SafeBinMover::Target& target : targets[i]) {
                    for (const QString& path : movingPaths(target)) moving.insert(path);
                }
            }
            QStringList lastCopies;
            for (qsizetype i = 0; i < selected.size(); ++i) {
                const Item& item = selected[i];
                if (staying[size_t(i)] || !item.keptCopy) continue;
                if (!isSameOrBelowAny(item.keptCopy->path, moving) && item.keptCopy->isInPlace()) continue;
                staying[size_t(i)] = true;
                done.lastCopies.insert(item.id);
                lastCopies.append(item.path);
            }
            if (!lastCopies.isEmpty()) {
                messages.append(QStringLiteral("Kept as the last copy (the file it duplicates is gone, changed or "
                                               "moving too): ") +
                                SafeBinMover::pathListText(lastCopies) + QLatin1Char('.'));
            }
        }
        std::vector<QList<SafeBinMover::Target>> moving;
        std::vector<qsizetype> movingIndex;
        for (qsizetype i = 0; i < selected.size(); ++i) {
            if (staying[size_t(i)]) continue;
            moving.push_back(targets[size_t(i)]);
            movingIndex.push_back(i);
        }
        SafeBinMover::Outcome outcome = SafeBinMover::move(moving);
        qsizetype movedCount = 0;
        qsizetype movedItems = 0;
        Saturating::Total movedBytes;
        QSet<QString> stillThere;  // folders cleaned by their entries stay
        QStringList wentPaths;     // what left its place and stays out of it
        QStringList putBack;
        for (size_t m = 0; m < movingIndex.size(); ++m) {
            const qsizetype i = movingIndex[m];
            SafeBinMover::FindingResult result = outcome.findings[m];
            // What is left to do once the finding's paths are gone; only then.
            // The action goes whole or not at all: when the move or the step
            // after it did not go through, what moved goes back.
            if (kind->afterMove) {
                std::optional<QString> failure;
                if (result.cleaned) failure = kind->afterMove(selected[i]);
                if (failure || !result.cleaned) {
                    result.cleaned = false;
                    if (result.entry) {
                        const QStringList held = result.movedPaths + result.partlyMoved;
                        const std::optional<FileError> kept = SafeBinService::restore(*result.entry);
                        // Put back without what the bin kept of its attributes is still put back.
                        if (kept && !(kept->domain == FileError::kTarnwickDomain &&
                                      kept->code == SafeBinService::kAttributesUnreadableCode)) {
                            const QString stays = QStringLiteral("It stays in the Safe Bin: ") + kept->description;
                            failure = failure ? *failure + QLatin1Char(' ') + stays : stays;
                        } else {
                            putBack.append(held);
                            result.movedPaths.clear();
                            result.partlyMoved.clear();
                        }
                    }
                    result.moved = false;  // not done: never counted as done
                    if (failure) {
                        done.notMoved.insert(selected[i].id, *failure);
                        if (!messages.contains(*failure)) messages.append(*failure);
                    }
                } else {
                    result.moved = true;
                }
            }
            wentPaths.append(result.movedPaths);
            if (result.cleaned) {
                done.cleaned.insert(selected[i].id);
            } else if (!done.notMoved.contains(selected[i].id)) {
                // A copy in the Safe Bin with part of the original in place
                // (the message says why) is partly moved, however it looks now.
                done.notMoved.insert(selected[i].id, !result.partlyMoved.isEmpty()
                                                         ? QStringLiteral("Partly moved")
                                                         : whyNotMoved(targets[size_t(i)], result.moved));
            }
            for (const SafeBinMover::Target& target : targets[size_t(i)]) {
                if (!target.scope.contentsOnly) continue;
                stillThere.insert(PathRules::standardizingPath(target.path));
                // The entries that went, whoever the mover names.
                for (const QString& path : movingPaths(target)) {
                    if (path != PathRules::standardizingPath(target.path) && !FileIdentity::of(path)) {
                        done.gone.append(path);
                    }
                }
            }
            if (!result.moved) continue;
            ++movedCount;
            movedItems += !kind->items ? 1 : result.cleaned ? items[i] : result.movedItems;
            movedBytes.add(result.movedBytes);  // what reached the Safe Bin
        }
        for (const QString& path : std::as_const(wentPaths)) {
            if (!stillThere.contains(PathRules::standardizingPath(path))) done.gone.append(path);
        }
        if (tally && counted) tally->add(movedCount);
        if (outcome.error) messages.append(*outcome.error);
        if (!putBack.isEmpty()) {
            messages.append(QStringLiteral("Put back from the Safe Bin: ") + SafeBinMover::pathListText(putBack) +
                            QLatin1Char('.'));
        }
        // The event counts what moved: nothing moved, nothing to record.
        std::optional<QList<ActivityEvent>> events;
        if (movedCount > 0) {
            ActivityService::log(kind->kind, kind->summary(movedCount), movedBytes.value(), int(movedItems));
            events = ActivityService::list(kActivityLimit);
        }
        SafeBinUpdate safeBin = purgedSafeBinList();
        std::optional<QString> error;
        if (tally) {
            tally->messages.append(messages);  // told once, when all the cleans of the batch are done
        } else if (!messages.isEmpty()) {
            error = messages.join(QLatin1Char(' '));
        }
        return [kind, done = std::move(done), error = std::move(error), events = std::move(events),
                safeBin = std::move(safeBin)](AppState& state) mutable {
            state.finishClean(*kind, done);
            state.publishSafeBin(std::move(safeBin));
            if (events) state.activityEvents_.set(std::move(*events));
            if (error) state.errorMessage_.set(*error);
        };
    });
}

template <class Item>
void AppState::finishClean(const ModuleClean<Item>& clean, const CleanDone& done) {
    // The module's own list, whether or not a scan replaced it meanwhile: what
    // was cleaned or is the last copy leaves; what stayed says why.
    QList<Item> items = (this->*clean.list).get();
    bool changed = items.removeIf([&](const Item& item) {
        return done.cleaned.contains(item.id) || done.lastCopies.contains(item.id);
    }) > 0;
    if constexpr (requires(Item& item) { item.notMoved; }) {
        for (Item& item : items) {
            const auto reason = done.notMoved.constFind(item.id);
            if (reason == done.notMoved.constEnd() || item.notMoved == *reason) continue;
            item.notMoved = *reason;
            changed = true;
        }
    }
    if (changed) (this->*clean.list).set(std::move(items));
    dropGoneFromLists(done.gone);
}

void AppState::dropGoneFromLists(const QStringList& gone) {
    if (gone.isEmpty()) return;
    QSet<QString> set;
    for (const QString& path : gone) set.insert(PathRules::standardizingPath(path));
    auto apply = [&](auto& field) {
        auto items = field.get();
        if (dropGone(items, set)) field.set(std::move(items));
    };
    apply(cleanupItems_);
    apply(clutterItems_);
    apply(privacyItems_);
    apply(protectionFindings_);
    QList<InstalledApp> apps = installedApps();
    bool appsChanged = false;
    for (qsizetype i = apps.size() - 1; i >= 0; --i) {
        if (isSameOrBelowAny(apps[i].path, set)) {
            apps.removeAt(i);
            appsChanged = true;
            continue;
        }
        appsChanged |= apps[i].leftovers.removeIf([&](const InstalledApp::Leftover& leftover) {
            return isSameOrBelowAny(leftover.path, set);
        }) > 0;
    }
    if (appsChanged) installedApps_.set(std::move(apps));
    QList<PerformanceItem> performance = performanceItems();
    if (performance.removeIf([&](const PerformanceItem& item) {
            return item.path && isSameOrBelowAny(*item.path, set);
        }) > 0) {
        performanceItems_.set(std::move(performance));
    }
}

// ---- Safe Bin ----

void AppState::runSafeBinJob(bool busy, std::function<SafeBinApply()> work) {
    ++safeBinJobs_;
    if (busy && ++busySafeBinJobs_ == 1) isSafeBinBusy_.set(true);
    QPointer<AppState> self(this);
    safeBinPool_.start([this, self, busy, work = std::move(work)] {
        SafeBinApply apply = work();
        QMetaObject::invokeMethod(
            this,
            [self, busy, apply = std::move(apply)] {
                if (!self) return;
                if (apply) apply(*self);
                --self->safeBinJobs_;
                if (busy && --self->busySafeBinJobs_ == 0) self->isSafeBinBusy_.set(false);
            },
            Qt::QueuedConnection);
    });
}

AppState::SafeBinUpdate AppState::purgedSafeBinList() {
    SafeBinService::purgeExpired(SafeBinService::kExpiryDays);
    auto list = std::make_shared<const std::vector<SafeBinEntry>>(SafeBinService::list());
    SafeBinChange change = SafeBinChange::between(*safeBinRead_, *list);
    if (change.isEmpty()) {
        // The list as it was: the one handed over before stands.
        change.version = safeBinReadVersion_;
        return {safeBinRead_, std::move(change)};
    }
    change.version = ++safeBinReadVersion_;
    safeBinRead_ = list;
    return {std::move(list), std::move(change)};
}

void AppState::publishSafeBin(SafeBinUpdate update) {
    const quint64 version = update.change.version;
    if (update.change.isEmpty() && version == safeBinChange_.version) return;
    if (version != safeBinChange_.version + 1) {
        // Not the list after the one shown: no row-by-row account.
        update.change = SafeBinChange();
        update.change.version = version;
        update.change.whole = true;
    }
    SafeBinList previous = std::exchange(safeBin_, std::move(update.list));
    safeBinChange_ = std::move(update.change);
    emit changed(Field::safeBinItems);
    // A long list takes a while to free: not on this thread.
    releasePool_.start([previous = std::move(previous)]() mutable { previous.reset(); });
}

void AppState::reloadSafeBin() {
    runSafeBinJob(false, [this] {
        return SafeBinApply([safeBin = purgedSafeBinList()](AppState& state) mutable {
            state.publishSafeBin(std::move(safeBin));
        });
    });
}

void AppState::restoreSafeBin(const SafeBinEntry& entry) {
    runSafeBinEntryJob(entry, &SafeBinService::restore);
}

void AppState::destroySafeBin(const SafeBinEntry& entry) {
    runSafeBinEntryJob(entry, &SafeBinService::destroy);
}

void AppState::runSafeBinEntryJob(const SafeBinEntry& entry,
                                  std::optional<FileError> (*action)(const SafeBinEntry& entry)) {
    runSafeBinJob(true, [this, entry, action]() -> SafeBinApply {
        const std::optional<FileError> error = action(entry);
        // The list is read again after a failure too: a restore that put the
        // item back without its kept attributes, or a group of which part
        // stays, changed the bin, and the list agrees with the message.
        return [safeBin = purgedSafeBinList(), error](AppState& state) mutable {
            state.publishSafeBin(std::move(safeBin));
            if (error) state.errorMessage_.set(error->description);
        };
    });
}

void AppState::logActivity(const QString& kind, const QString& summary) {
    runSafeBinJob(false, [kind, summary]() -> SafeBinApply {
        ActivityService::log(kind, summary, 0, 1);
        return [events = ActivityService::list(kActivityLimit)](AppState& state) { state.activityEvents_.set(events); };
    });
}

// ---- The modules these patterns serve ----

template void AppState::runModuleScan(const ModuleScan<CleanupItem>&);
template void AppState::runModuleScan(const ModuleScan<PerformanceItem>&);
template void AppState::runModuleScan(const ModuleScan<InstalledApp>&);
template void AppState::runModuleScan(const ModuleScan<AppUpdateItem>&);
template void AppState::runModuleScan(const ModuleScan<ClutterItem>&);
template void AppState::runModuleScan(const ModuleScan<ProtectionFinding>&);
template void AppState::runModuleScan(const ModuleScan<PrivacyItem>&);
template void AppState::toggleItem(Published<QList<CleanupItem>> AppState::*, const QUuid&);
template void AppState::toggleItem(Published<QList<InstalledApp>> AppState::*, const QUuid&);
template void AppState::toggleItem(Published<QList<ClutterItem>> AppState::*, const QUuid&);
template void AppState::toggleItem(Published<QList<ProtectionFinding>> AppState::*, const QUuid&);
template void AppState::toggleItem(Published<QList<PrivacyItem>> AppState::*, const QUuid&);
template void AppState::cleanSelected(const ModuleClean<CleanupItem>&);
template void AppState::cleanSelected(const ModuleClean<InstalledApp>&);
template void AppState::cleanSelected(const ModuleClean<ClutterItem>&);
template void AppState::cleanSelected(const ModuleClean<ProtectionFinding>&);
template void AppState::cleanSelected(const ModuleClean<PrivacyItem>&);
template qint64 AppState::selectedBytes(const QList<CleanupItem>&);
template qint64 AppState::selectedBytes(const QList<ClutterItem>&);
template QString AppState::findingsLine(const QList<CleanupItem>&, qint64);
template QString AppState::findingsLine(const QList<ClutterItem>&, qint64);

}  // namespace tarnwick
