// The Vidur Aded actions of AppState: the one-pass run and its finish, the
// recommended cleanup, and the daily schedule's switch and minute timer (which
// keeps the Safe Bin's running time too).

#include "state/AppState.h"

#include "platform/Environment.h"
#include "services/care/ScheduleService.h"
#include "services/care/VidurAdedService.h"
#include "services/health/SystemMonitor.h"
#include "services/safebin/SafeBinService.h"
#include "services/store/ActivityService.h"
#include "state/LabelRelay.h"
#include "state/MemoryGovernor.h"
#include "support/ByteCountFormatter.h"

#include <QSettings>
#include <QTimer>

#include <utility>
#include <variant>

namespace tarnwick {

namespace {

constexpr int kScheduleTickMs = 60000;
const QString kVidurAdedKind = QStringLiteral("Vidur Aded");

}  // namespace

// ---- The pass ----

void AppState::runVidurAded() {
    vidurAdedTask_.stop.request_stop();  // the replaced pass stops and delivers nothing more
    vidurAdedTask_.stop = std::stop_source();
    const quint64 generation = ++vidurAdedTask_.generation;
    isVidurAdedRunning_.set(true);
    vidurAdedFrom_ = disablesDone_;
    forgetSettledDisables();
    vidurAdedProgress_.set(QStringLiteral("Starting Vidur Aded\u2026"));
    installedApps_.set({});  // the pass reports the apps only as two counts

    const VidurAdedService::Finders finders{modules_.cleanupScan,  modules_.clutterScan, modules_.protectionScan,
                                            modules_.privacyScan,  modules_.appsScan,    modules_.updatesScan,
                                            modules_.performanceScan};
    QPointer<AppState> self(this);
    // Runs on the pass's thread; the texts reach this one newest last.
    const VidurAdedService::Progress progress = LabelRelay::make(this, [self, generation](const QString& text) {
        if (self && self->vidurAdedTask_.generation == generation) self->vidurAdedProgress_.set(text);
    });
    // Runs on this thread, the pass waiting until it returns.
    const VidurAdedService::OnModule onModule = [self, generation](const VidurAdedModule& module) {
        if (self) self->applyVidurAdedModule(generation, module);
    };
    modulePool_.start([this, finders, progress, onModule, stop = vidurAdedTask_.stop.get_token()] {
        VidurAdedService::run(finders, progress, this, onModule, stop);
    });
}

void AppState::applyVidurAdedModule(quint64 generation, const VidurAdedModule& module) {
    if (generation != vidurAdedTask_.generation) return;  // a newer pass owns the lists now
    using M = VidurAdedModule;
    switch (module.which()) {
    case M::Case::junk:
        cleanupItems_.set(std::get<M::Junk>(module.value).items);
        break;
    case M::Case::clutter:
        clutterItems_.set(std::get<M::Clutter>(module.value).items);
        break;
    case M::Case::protection:
        protectionFindings_.set(std::get<M::Protection>(module.value).findings);
        break;
    case M::Case::privacy:
        privacyItems_.set(std::get<M::Privacy>(module.value).items);
        break;
    case M::Case::appsSummary:
        break;  // the counts only enter the score
    case M::Case::updates:
        appUpdates_.set(std::get<M::Updates>(module.value).items);
        break;
    case M::Case::performance:
        performanceItems_.set(withPerformanceDisables(std::get<M::Performance>(module.value).items, vidurAdedFrom_));
        break;
    case M::Case::finished:
        finishVidurAded(std::get<M::Finished>(module.value).result);
        break;
    }
}

void AppState::finishVidurAded(const VidurAdedResult& result) {
    vidurAdedResult_.set(result);
    isVidurAdedRunning_.set(false);
    const Environment& environment = Environment::current();
    environment.settings()->setValue(SystemMonitor::healthScoreKey(), result.healthScore);
    ScheduleService::setLastRun(environment.now());

    const qint64 reclaimable = result.reclaimableBytes();
    const QString summary = QStringLiteral("Health ") + QString::number(result.healthScore) +
                            QStringLiteral(" \u00B7 reclaimable ") + ByteCountFormatter::fileStyle(reclaimable);
    const qint64 items = qint64(result.junkCount) + result.clutterCount + result.protectionCount;
    // Written on the Safe Bin thread like every other event, so two writes of
    // the log never overlap.
    runSafeBinJob(false, [summary, items]() -> SafeBinApply {
        ActivityService::log(kVidurAdedKind, summary, 0, items);
        return [events = ActivityService::list(kActivityLimit)](AppState& state) { state.activityEvents_.set(events); };
    });

    // Home is in view: the lists just filled are cut as for the other
    // sections, keeping every selected finding for "Clean recommended".
    MemoryGovernor::purgeInactive(*this, AppSection::home);
}

// ---- Clean recommended ----

void AppState::runVidurAdedRecommended() {
    auto tally = std::make_shared<CleanTally>();
    // The cleans of the batch, in this order; each queues its move on the
    // Safe Bin thread and records its own event. The closing event counts
    // the moves of the first three; what stayed behind in any of the four is
    // told in one message at the end.
    cleanTally_ = tally;
    cleanTallyCounts_ = true;
    cleanSelectedToSafeBin();
    cleanSelectedClutter();
    cleanSelectedPrivacy();
    cleanTallyCounts_ = false;
    cleanSelectedProtection();
    cleanTally_.reset();

    const std::optional<QUuid> pass =
        vidurAdedResult() ? std::optional<QUuid>(vidurAdedResult()->id) : std::nullopt;
    // Queued behind the cleans above, so it runs once they are done. It is
    // logged after a pass, only when they moved something, and counts
    // nothing: their own events count what moved, so no byte counts twice.
    runSafeBinJob(false, [this, tally, pass]() -> SafeBinApply {
        std::optional<QList<ActivityEvent>> events;
        if (pass && tally->items > 0 && recommendedLoggedPass_ != *pass) {
            recommendedLoggedPass_ = *pass;
            ActivityService::log(kVidurAdedKind, QStringLiteral("Applied recommended cleanup"), 0, 0);
            events = ActivityService::list(kActivityLimit);
        }
        std::optional<QString> error;
        if (!tally->messages.isEmpty()) error = tally->messages.join(QLatin1Char(' '));
        if (!events && !error) return {};
        return [events = std::move(events), error = std::move(error)](AppState& state) mutable {
            if (events) state.activityEvents_.set(std::move(*events));
            if (error) state.errorMessage_.set(*error);
        };
    });
}

// ---- Daily schedule ----

void AppState::setScheduleEnabled(bool enabled) {
    scheduleEnabled_.set(enabled);
    Environment::current().settings()->setValue(ScheduleService::enabledKey(), enabled);
}

void AppState::setScheduleHour(int hour) {
    if (hour < 0 || hour > 23) return;
    scheduleHour_.set(hour);
    Environment::current().settings()->setValue(ScheduleService::hourKey(), hour);
}

void AppState::startScheduleTimer() {
    if (scheduleTimer_) {
        scheduleTimer_->stop();
        scheduleTimer_->deleteLater();
    }
    auto* timer = new QTimer(this);
    timer->setObjectName(QStringLiteral("scheduleTimer"));
    timer->setInterval(kScheduleTickMs);
    connect(timer, &QTimer::timeout, this, &AppState::onScheduleTick);
    timer->start();
    scheduleTimer_ = timer;
}

void AppState::onScheduleTick() {
    keepSafeBinTime();
    // A pass under way, started by hand or by an earlier tick, is left to
    // finish; its end counts as the day's pass.
    if (isVidurAdedRunning()) return;
    if (ScheduleService::shouldRunNow(Environment::current().now())) runVidurAded();
}

void AppState::keepSafeBinTime() {
    if (safeBinTimeQueued_) return;
    safeBinTimeQueued_ = true;
    runSafeBinJob(false, [this]() -> SafeBinApply {
        std::optional<SafeBinUpdate> update;
        if (SafeBinService::keepTime(SafeBinService::kExpiryDays)) update = purgedSafeBinList();
        return [update = std::move(update)](AppState& state) mutable {
            state.safeBinTimeQueued_ = false;
            if (update) state.publishSafeBin(std::move(*update));
        };
    });
}

}  // namespace tarnwick
