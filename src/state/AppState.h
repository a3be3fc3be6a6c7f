#pragma once

#include "models/ActivityEvent.h"
#include "models/AnalysisTab.h"
#include "models/AppSection.h"
#include "models/AppUpdateItem.h"
#include "models/CleanupItem.h"
#include "models/ClutterItem.h"
#include "models/CollectorItem.h"
#include "models/FileRecord.h"
#include "models/InstalledApp.h"
#include "models/MaintenanceTask.h"
#include "models/MapStyle.h"
#include "models/PerformanceItem.h"
#include "models/PrivacyItem.h"
#include "models/ProtectionFinding.h"
#include "models/SafeBinEntry.h"
#include "models/ScanInsights.h"
#include "models/ScanNode.h"
#include "models/ScanProgress.h"
#include "models/VidurAdedModule.h"
#include "models/VidurAdedResult.h"
#include "models/VolumeInfo.h"
#include "services/safebin/SafeBinMover.h"
#include "services/safebin/SafeBinService.h"
#include "state/MapServices.h"
#include "state/ModuleServices.h"
#include "state/SafeBinChange.h"
#include "support/Saturating.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QThreadPool>
#include <QUrl>

#include <atomic>
#include <concepts>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <vector>

class QTimer;

namespace tarnwick {

class ScanProgressRelay;

// The one object behind every screen: what they show and the actions they
// call. Lives on the UI thread and is written only there; background work
// (walks, cache saves) hands its results back through queued calls and never
// touches the object itself.
//
// Every published field notifies through the single signal changed(Field)
// after its value changed (never when a write leaves it as it was), so a view
// subscribes to the fields it shows.
class AppState : public QObject {
    Q_OBJECT

public:
    enum class Screen { idle, scanning };
    Q_ENUM(Screen)

    // The published fields, in their documented order.
    enum class Field {
        screen,
        section,
        volumes,
        scanRootPath,
        scanRootName,
        progress,
        rootNode,
        focusNode,
        hoveredNode,
        insights,
        analysisTab,
        mapStyle,
        searchQuery,
        collector,
        errorMessage,
        isDeleting,
        deleteCountdown,
        lastScanDate,
        hasCachedScan,
        cleanupItems,
        isCleanupScanning,
        cleanupProgressLabel,
        safeBinItems,
        installedApps,
        isAppsScanning,
        appsProgressLabel,
        clutterItems,
        isClutterScanning,
        clutterProgressLabel,
        performanceItems,
        isPerformanceScanning,
        performanceProgressLabel,
        maintenanceTasks,
        protectionFindings,
        isProtectionScanning,
        protectionProgressLabel,
        privacyItems,
        isPrivacyScanning,
        privacyProgressLabel,
        appUpdates,
        isUpdatesScanning,
        updatesProgressLabel,
        vidurAdedResult,
        isVidurAdedRunning,
        vidurAdedProgress,
        activityEvents,
        scheduleEnabled,
        scheduleHour,
        showAbout,
        isSafeBinBusy,
    };
    Q_ENUM(Field)

    // Every field takes its initial value; nothing is read yet (see start()).
    explicit AppState(MapServices services = MapServices::production(),
                      ModuleServices modules = ModuleServices::production(), QObject* parent = nullptr);
    // Cancels running work and waits for the background threads to finish
    // (a move into or out of the Safe Bin that has begun is completed).
    ~AppState() override;

    // Start-up: schedule settings, volume list, cached scan, Safe Bin (purged
    // of entries older than 30 days), the newest 100 activity events, then the
    // home section on the idle screen, and last the schedule's minute timer
    // (the first test comes a minute later). Called once, by the application
    // or a test.
    // The cached scan is read on a background thread and published later on
    // this one, as loadCachedScan(false) publishes it, unless a map scan or
    // another cache load started meanwhile; cacheRestoreFinished() tells when.
    void start();
    // The start-up restore of the cached scan is still under way.
    bool isRestoringCache() const { return restoringCache_; }
    // Blocks until the cache saves (and the start-up cache load) asked for so
    // far have finished; for the application's last moments.
    void waitForCacheSaves();

    // ---- Published fields ----
    Screen screen() const { return screen_.get(); }
    AppSection section() const { return section_.get(); }
    const std::vector<VolumeInfo>& volumes() const { return volumes_.get(); }
    const QString& scanRootPath() const { return scanRootPath_.get(); }
    const QString& scanRootName() const { return scanRootName_.get(); }
    const ScanProgress& progress() const { return progress_.get(); }
    const ScanNodePtr& rootNode() const { return rootNode_.get(); }
    const ScanNodePtr& focusNode() const { return focusNode_.get(); }
    const ScanNodePtr& hoveredNode() const { return hoveredNode_.get(); }
    const ScanInsights& insights() const { return insights_.get(); }
    AnalysisTab analysisTab() const { return analysisTab_.get(); }
    MapStyle mapStyle() const { return mapStyle_.get(); }
    const QString& searchQuery() const { return searchQuery_.get(); }
    const QList<CollectorItem>& collector() const { return collector_.get(); }
    const std::optional<QString>& errorMessage() const { return errorMessage_.get(); }
    bool isDeleting() const { return isDeleting_.get(); }
    int deleteCountdown() const { return deleteCountdown_.get(); }
    const std::optional<QDateTime>& lastScanDate() const { return lastScanDate_.get(); }
    bool hasCachedScan() const { return hasCachedScan_.get(); }
    const QList<CleanupItem>& cleanupItems() const { return cleanupItems_.get(); }
    bool isCleanupScanning() const { return isCleanupScanning_.get(); }
    const QString& cleanupProgressLabel() const { return cleanupProgressLabel_.get(); }
    const std::vector<SafeBinEntry>& safeBinItems() const { return *safeBin_; }
    const QList<InstalledApp>& installedApps() const { return installedApps_.get(); }
    bool isAppsScanning() const { return isAppsScanning_.get(); }
    const QString& appsProgressLabel() const { return appsProgressLabel_.get(); }
    const QList<ClutterItem>& clutterItems() const { return clutterItems_.get(); }
    bool isClutterScanning() const { return isClutterScanning_.get(); }
    const QString& clutterProgressLabel() const { return clutterProgressLabel_.get(); }
    const QList<PerformanceItem>& performanceItems() const { return performanceItems_.get(); }
    bool isPerformanceScanning() const { return isPerformanceScanning_.get(); }
    const QString& performanceProgressLabel() const { return performanceProgressLabel_.get(); }
    const QList<MaintenanceTask>& maintenanceTasks() const { return maintenanceTasks_.get(); }
    const QList<ProtectionFinding>& protectionFindings() const { return protectionFindings_.get(); }
    bool isProtectionScanning() const { return isProtectionScanning_.get(); }
    const QString& protectionProgressLabel() const { return protectionProgressLabel_.get(); }
    const QList<PrivacyItem>& privacyItems() const { return privacyItems_.get(); }
    bool isPrivacyScanning() const { return isPrivacyScanning_.get(); }
    const QString& privacyProgressLabel() const { return privacyProgressLabel_.get(); }
    const QList<AppUpdateItem>& appUpdates() const { return appUpdates_.get(); }
    bool isUpdatesScanning() const { return isUpdatesScanning_.get(); }
    const QString& updatesProgressLabel() const { return updatesProgressLabel_.get(); }
    const std::optional<VidurAdedResult>& vidurAdedResult() const { return vidurAdedResult_.get(); }
    bool isVidurAdedRunning() const { return isVidurAdedRunning_.get(); }
    const QString& vidurAdedProgress() const { return vidurAdedProgress_.get(); }
    const QList<ActivityEvent>& activityEvents() const { return activityEvents_.get(); }
    bool scheduleEnabled() const { return scheduleEnabled_.get(); }
    int scheduleHour() const { return scheduleHour_.get(); }
    bool showAbout() const { return showAbout_.get(); }
    // A move into or out of the Safe Bin (a clean, the map's delete, a restore
    // or a delete for good) is queued or running; the screens disable their
    // buttons that would start another one.
    bool isSafeBinBusy() const { return isSafeBinBusy_.get(); }
    // Any Safe Bin work is queued or running, reloads of its list included.
    bool hasSafeBinWork() const { return safeBinJobs_ > 0; }
    // safeBinItems as shared data that never changes: a screen may keep it
    // while it shows it.
    using SafeBinList = std::shared_ptr<const std::vector<SafeBinEntry>>;
    const SafeBinList& safeBinList() const { return safeBin_; }
    // What the latest change of safeBinItems did to the list before it, row
    // by row; its version numbers the list now published.
    const SafeBinChange& safeBinChange() const { return safeBinChange_; }

    // ---- Fields the screens write ----
    // Centres the map on any node of the tree as it is (the breadcrumb's
    // direct write; drill() is the checked way down).
    void setFocusNode(ScanNodePtr node);
    void setHoveredNode(ScanNodePtr node);
    void setAnalysisTab(AnalysisTab tab);
    void setMapStyle(MapStyle style);
    void setSearchQuery(const QString& query);
    void clearErrorMessage();
    void setShowAbout(bool shown);

    // ---- Navigation ----
    // Restores the last scan from the cache, reading it on this thread; with
    // openMap also shows the map. Supersedes a start-up restore still running.
    void loadCachedScan(bool openMap);
    // Selects a section; unless a map scan runs, also trims the other sections'
    // lists and prepares the section (Insights tab, Safe Bin, activity).
    void openSection(AppSection section);
    // Lists the mounted volumes again, on a worker: a mount that does not
    // answer (a stale network share) never holds the window. `volumes` keeps
    // the last list meanwhile and follows when the reading is done; requests
    // made while one reading runs are answered by one reading after it.
    void refreshVolumes();
    // Reads the newest 100 activity events from the log again.
    void reloadActivity();
    // Removes for good what has been in the Safe Bin for more than 30 days,
    // then reads its list again (on the Safe Bin thread; safeBinItems follows).
    void reloadSafeBin();
    // "<root name> · 2 hr. ago" while a scanned or cached tree is loaded.
    std::optional<QString> lastScanSummary() const;
    // The focused folder's children, filtered by the search text (trimmed,
    // case-insensitive); all of them when the text is blank.
    std::vector<ScanNodePtr> filteredSidebarNodes() const;

    // ---- Map scan ----
    // Scans a folder or volume. Without a name the folder's last path
    // component names it. The start-up volume (the path "/", or the scan path
    // of the volume listed as the root) walks its Data volume where there is
    // one, gets its accounting, and is named after the root file system (its
    // label, else "Computer"). Stops the scan and the delete countdown running before.
    void startScan(const QString& path, const std::optional<QString>& name = std::nullopt);
    // Scans the current root again under its name; nothing without a root.
    void rescan();
    // Stops the running scan and returns to the map (with a tree) or home.
    void cancelScan();
    // Centres the map on a folder (or merged group) with children.
    void drill(const ScanNodePtr& node);
    // Centres the map on the focus's parent; at the root, opens home.
    void navigateUp();

    // ---- Collector ----
    void addToCollector(const ScanNodePtr& node);
    void addFileToCollector(const FileRecord& record);
    // Removes every item with the item's id.
    void removeFromCollector(const CollectorItem& item);
    // The collected bytes (held at the 64-bit maximum rather than wrapping).
    qint64 collectorTotal() const;
    // Asks for a preview of the hovered node, else the focused node.
    void previewHoveredOrFocus();

    // ---- Desktop ----
    // Shows the item in the File Manager (or opens its folder); when the
    // desktop takes neither, the reason becomes the error message.
    void revealInFileManager(const QString& path);
    // Opens a web address, file or folder with the desktop's default
    // application; when none takes it, the reason becomes the error message.
    void openURL(const QUrl& url);

    // ---- Delete countdown ----
    // Counts 5 down to 1, one tick apart, then moves the items collected when
    // the countdown began into the Safe Bin and rescans. Nothing while counting
    // or with an empty collector.
    void beginDelete();
    // Stops the countdown without deleting anything.
    void cancelDelete();
    // The time between two countdown ticks (1000 ms unless a test shortens it).
    void setCountdownInterval(int milliseconds);

    // ---- Junk ----
    // Starts the junk scan, replacing one that runs: the replaced scan is asked
    // to stop and publishes nothing.
    void runCleanupScan();
    // Bytes of the selected junk findings.
    qint64 cleanupSelectedBytes() const;
    // The Junk screen's status line: the progress label while scanning, a
    // sentence when there are no findings, else "24 findings · 9 selected · 1.3 GB".
    QString cleanupStatusText() const;
    // Flips the selection of the finding with this id; nothing for an unknown id.
    void toggleCleanupItem(const QUuid& id);
    // Moves the selected junk findings into the Safe Bin (off this thread).
    // Each finding moves or stays on its own: one that stays keeps its row
    // with the reason (CleanupItem::notMoved) and the message names it. A
    // copy moves only while the copy it names is in place, unchanged and not
    // moving with this clean; otherwise it leaves the list. After any move
    // every module's list drops what went (dropGoneFromLists).
    void cleanSelectedToSafeBin();

    // ---- Apps and updates ----
    // Start the installed-applications scan and the update scan, each
    // replacing its own scan that runs.
    void runAppsScan();
    void runUpdatesScan();
    // Bytes of the ticked applications with all their leftovers.
    qint64 appsSelectedBytes() const;
    // "80 apps · 2 selected · 1.4 GB" (the progress label while scanning, a
    // sentence when there are none); "12 update candidates" likewise.
    QString appsStatusText() const;
    QString updatesStatusText() const;
    // Flips the tick of the application with this id; nothing for an unknown id.
    void toggleInstalledApp(const QUuid& id);
    // Moves every ticked application, bundle first, with its leftovers into
    // the Safe Bin (off this thread); the ones that went leave the list. An
    // AppImage moves with its desktop entries. A Flatpak app of the user's
    // installation moves only its data, then flatpak uninstalls it (it comes
    // back from its remote, not from the Safe Bin); nothing of it moves while
    // flatpak is missing or cannot run, and when the uninstall fails its data
    // is put back. One of a system installation is refused.
    void uninstallSelectedApps();
    // Moves only the application's leftovers into the Safe Bin; the
    // application stays in its place with the leftovers that did not move.
    void resetApp(const InstalledApp& app);
    // Opens the candidate's installer, else its application, with the
    // desktop's default application; when it is gone or nothing takes it,
    // the reason becomes the error message. A user Flatpak app's candidate
    // is updated instead, by flatpak off this thread: marked updating
    // meanwhile, it leaves the list when the update went through.
    void openUpdateCandidate(const AppUpdateItem& item);
    // ---- Clutter ----
    // Starts the clutter scan, replacing one that runs (as the junk scan does).
    void runClutterScan();
    // Bytes of the selected clutter items, each path counted once.
    qint64 clutterSelectedBytes() const;
    // The Clutter screen's status line: the progress label while scanning, a
    // sentence when there are no items, else "24 findings · 9 selected · 1.3 GB".
    QString clutterStatusText() const;
    // Flips the selection of the item with this id; nothing for an unknown id.
    void toggleClutterItem(const QUuid& id);
    // Moves the selected clutter items into the Safe Bin (off this thread); a
    // path listed under two kinds moves once and both items leave the list.
    void cleanSelectedClutter();
    // ---- Protection ----
    // Start (or restart) the threat scan and the privacy-residue scan; each
    // replaces a scan of its own kind that runs, and the two run side by side.
    void runProtectionScan();
    void runPrivacyScan();
    // The Protection screen's status line: the threat scan's label while it
    // runs, else the privacy scan's while that runs, else
    // "3 threat findings · 2 privacy items".
    QString protectionStatusText() const;
    // Flip the selection of the finding or item with this id; nothing for an unknown id.
    void toggleProtection(const QUuid& id);
    void togglePrivacy(const QUuid& id);
    // Move the selected threat findings, or the selected privacy items (a
    // database with its journal files; a cache folder's entries), into the
    // Safe Bin. A database stays while its browser runs, and the message says so.
    void cleanSelectedProtection();
    void cleanSelectedPrivacy();

    // ---- Safe Bin ----
    // Puts an entry back where it came from, or removes it for good; on
    // success the Safe Bin list is read again, on failure the error is shown
    // and the list stays as it is. Both run on the Safe Bin thread.
    void restoreSafeBin(const SafeBinEntry& entry);
    void destroySafeBin(const SafeBinEntry& entry);

    // ---- Performance ----
    // Starts the performance scan, replacing one that runs.
    void runPerformanceScan();
    // The progress label while scanning, a sentence when nothing is listed,
    // else "12 processes · 9 login/services".
    QString performanceStatusText() const;
    // Asks the listed process with this pid to quit, when it is still the
    // process that was listed. On success its rows leave the list and the
    // quit is logged; a process that is gone leaves the list too; any
    // failure is shown as the error message.
    void quitPerformanceProcess(qint32 pid);
    // Disables a login item or launch item with a path on a worker thread;
    // the rows of its file are marked disabling meanwhile, in whatever list a
    // scan publishes then. On success the rows of that file leave the list,
    // whichever scan listed them, and the result is logged; on failure they
    // stay and the result text is shown as the error message. Nothing while
    // a disable of that file already runs.
    void disablePerformanceItem(const PerformanceItem& item);
    // Runs a maintenance task's tools on a worker thread; the task is marked
    // running meanwhile, and its result text is stored and logged when it
    // ends. Nothing while that task already runs.
    void runMaintenance(MaintenanceTask::Kind kind);

    // ---- Vidur Aded ----
    // Starts a pass over the seven module finders, one after the other off
    // this thread, each module's list landing in its section as it is done; at
    // the end the result and its score are published and stored, the day
    // counts as run, the pass is logged and the lists are cut as for sections
    // not in view. A pass still running is replaced: it stops and delivers
    // nothing more.
    void runVidurAded();
    // "Clean recommended": cleans the selected junk, clutter, privacy and
    // protection findings in that order (what any of them left is told in
    // one message once all are done), each clean logging what it moved,
    // then, after a pass, logs "Applied recommended cleanup" when the junk,
    // clutter or privacy clean moved something (at most once per pass). That
    // event counts no bytes and no items: the cleans' own events count them,
    // so every byte moved counts once in the lifetime figures.
    void runVidurAdedRecommended();
    // The daily schedule's switch: published and stored.
    void setScheduleEnabled(bool enabled);
    // The daily schedule's hour, 0 to 23: published, then stored. Any other
    // value is refused and changes nothing.
    void setScheduleHour(int hour);

    // ---- Module patterns ----
    // "24 findings · 9 selected · 1.3 GB": count, noun, selected count, bytes.
    static QString selectionLine(qsizetype count, const QString& noun, qsizetype selected, qint64 bytes);

signals:
    void changed(tarnwick::AppState::Field field);
    // The user asked to preview this path; the UI shows its preview window.
    void previewRequested(const QString& path);
    // The start-up restore has ended: the cached scan is published, or there
    // was none, or a map scan started meanwhile and it was dropped. Not sent
    // when loadCachedScan() superseded it.
    void cacheRestoreFinished();

private:
    friend class MemoryGovernor;
    friend struct AppStateTesting;

    // A published value: set() stores and notifies only when the value
    // changed (shared pointers compare by address; types without equality
    // always notify).
    template <class T>
    class Published {
    public:
        Published(AppState* owner, Field field, T initial = T{})
            : owner_(owner), field_(field), value_(std::move(initial)) {}
        const T& get() const { return value_; }
        void set(T value) {
            if constexpr (std::equality_comparable<T>) {
                if (value == value_) return;
            }
            value_ = std::move(value);
            emit owner_->changed(field_);
        }

    private:
        AppState* owner_;
        Field field_;
        T value_;
    };

    // The slot of the running map scan.
    struct ScanJob {
        quint64 generation = 0;
        std::shared_ptr<std::atomic_bool> cancelled;
        std::function<void()> cancelWalk;
        std::shared_ptr<ScanProgressRelay> relay;
    };

    void restoreCachedScanInBackground();
    void finishCacheRestore(quint64 generation, quint64 scanGeneration, std::optional<CachedScan> cached);
    void publishCachedScan(std::optional<CachedScan> cached, bool openMap);
    void cancelScanJob();
    void publishProgress(quint64 generation, const ScanProgress& progress);
    void finishScan(quint64 generation, const QString& rootPath, const QString& rootName,
                    const ScanNodePtr& root, const ScanInsights& insights);
    bool isStartupVolumePath(const QString& path) const;
    QString startupVolumeName() const;
    void releaseTree(ScanNodePtr tree);
    void onCountdownTick(quint64 generation);
    void performDelete();
    // A Safe Bin list read on the Safe Bin thread and what changed since the
    // list read there before.
    struct SafeBinUpdate {
        SafeBinList list;
        SafeBinChange change;
    };
    void finishDelete(const SafeBinMoveResult& result, const QSet<QString>& snapshotPaths, SafeBinUpdate safeBin);
    void stopCountdownTimer();
    void showCollectorRefusal(const QString& name);

    // ---- Module patterns (AppStateModules.cpp) ----

    // A module's task slot: the number of its newest scan and the stop
    // request of the one running.
    struct ModuleScanSlot {
        quint64 generation = 0;
        std::stop_source stop;
    };

    // One module's scan: where it keeps its state, which finder it runs and
    // how its result is published. Each module is one constant of this type.
    template <class Item>
    struct ModuleScan {
        ModuleScanSlot AppState::*slot;
        Published<bool> AppState::*scanning;
        Published<QString> AppState::*label;
        Published<QList<Item>> AppState::*list;
        QString startLabel;
        ModuleServices::Finder<Item> ModuleServices::*finder;
        QList<Item> (*budget)(const QList<Item>&);  // null: published whole
        std::optional<QString> finalLabel;          // none: the finder's last label stays
        // Makes what the finder found current with what the module's own
        // actions did while it ran (null: published as found).
        QList<Item> (AppState::*current)(QList<Item> found) const = nullptr;
    };

    // One module's clean into the Safe Bin: its list, what a finding moves
    // (with what the scan saw there), and the activity event it writes. The
    // event counts the bytes that reached the Safe Bin.
    template <class Item>
    struct ModuleClean {
        Published<QList<Item>> AppState::*list;
        QList<SafeBinMover::Target> (*targets)(const Item& item);
        QString kind;
        QString (*summary)(qsizetype count);
        // The items a wholly cleaned finding counts in the event (null: one
        // per finding; a partly cleaned one counts what moved on its behalf).
        qsizetype (*items)(const Item& item) = nullptr;
        // Why a finding must not move now (checked on the Safe Bin thread
        // just before the move), for the user; none: it may move.
        std::optional<QString> (*refusal)(const Item& item) = nullptr;
        // What remains to do for a finding once everything it names is gone
        // (on the Safe Bin thread); the reason when that failed, and the
        // finding then stays listed. Such a clean goes whole or not at all:
        // when a finding's move or this step fails, what moved for it is put
        // back from the Safe Bin and the event does not count it.
        std::optional<QString> (*afterMove)(const Item& item) = nullptr;
    };

    // What the UI thread does with the result of a Safe Bin job.
    using SafeBinApply = std::function<void(AppState& state)>;

    // The newest activity events the state holds.
    static constexpr qsizetype kActivityLimit = 100;

    // A finding's files that move with it (a database's journals, a trashed
    // file's record), each with what the scan saw of it when it was there.
    static void appendCompanions(QList<SafeBinMover::Target>& targets, const QStringList& paths,
                                 const QHash<QString, FileIdentity>& seen);

    static const ModuleScan<CleanupItem>& junkScan();
    static const ModuleClean<CleanupItem>& junkClean();
    static const ModuleScan<PerformanceItem>& performanceScan();
    static const ModuleScan<InstalledApp>& appsScan();
    static const ModuleScan<AppUpdateItem>& updatesScan();
    static const ModuleClean<InstalledApp>& appsClean();
    static const ModuleScan<ClutterItem>& clutterScan();
    static const ModuleClean<ClutterItem>& clutterClean();
    static const ModuleScan<ProtectionFinding>& protectionScan();
    static const ModuleScan<PrivacyItem>& privacyScan();
    static const ModuleClean<ProtectionFinding>& protectionClean();
    static const ModuleClean<PrivacyItem>& privacyClean();

    template <class Item>
    void runModuleScan(const ModuleScan<Item>& scan);
    template <class Item>
    void finishModuleScan(const ModuleScan<Item>& scan, quint64 generation, QList<Item> found);
    template <class Item>
    void toggleItem(Published<QList<Item>> AppState::*list, const QUuid& id);
    // The sizes of the selected items, an item whose path an earlier selected
    // item already named counted no more (what a clean would move).
    template <class Item>
    static qint64 selectedBytes(const QList<Item>& items);
    // "24 findings · 9 selected · 1.3 GB" for a list of findings.
    template <class Item>
    static QString findingsLine(const QList<Item>& items, qint64 bytes);
    // What a clean did, for the UI thread: the findings it cleaned, those it
    // left because the copy they name is gone or goes with this clean (the
    // last copy: they leave the list), why each other one stayed, and the
    // paths that are gone now.
    struct CleanDone {
        QSet<QUuid> cleaned;
        QSet<QUuid> lastCopies;
        QHash<QUuid, QString> notMoved;
        QStringList gone;
    };
    template <class Item>
    void cleanSelected(const ModuleClean<Item>& clean);
    template <class Item>
    void finishClean(const ModuleClean<Item>& clean, const CleanDone& done);
    // After any move into the Safe Bin: every module's list drops the
    // findings at or below a path that is gone, those whose named copy went,
    // and, from a folder cleaned by its entries, the entries that went (or
    // changed with what went); the selected totals follow.
    void dropGoneFromLists(const QStringList& gone);
    // The status-text pattern: the label while scanning, the sentence for an
    // empty list, else the count line.
    static QString statusText(bool scanning, const QString& label, bool empty, const QString& emptySentence,
                              const std::function<QString()>& countLine);

    // Runs work on the Safe Bin thread, one job at a time in the order asked,
    // then what it returns on this thread. busy marks the Safe Bin busy meanwhile.
    void runSafeBinJob(bool busy, std::function<SafeBinApply()> work);
    // ---- Vidur Aded (AppStateCare.cpp) ----

    // The pass's task slot: the number of the newest pass and its stop request.
    struct VidurAdedSlot {
        quint64 generation = 0;
        std::stop_source stop;
    };
    // How many findings the cleans of one "Clean recommended" moved, and what
    // they could not move, for one message at the end; added to on the Safe
    // Bin thread only, where those cleans run one after the other.
    struct CleanTally {
        qsizetype items = 0;
        QStringList messages;
        void add(qsizetype count) { items += count; }
    };

    void applyVidurAdedModule(quint64 generation, const VidurAdedModule& module);
    void finishVidurAded(const VidurAdedResult& result);
    void startScheduleTimer();
    void onScheduleTick();
    // Stores the Safe Bin's running time and purges what has spent its time,
    // on the Safe Bin thread (every tick); the list follows when anything went.
    void keepSafeBinTime();

    void runSafeBinEntryJob(const SafeBinEntry& entry,
                            std::optional<FileError> (*action)(const SafeBinEntry& entry));
    // Purges at 30 days and lists the Safe Bin; for the Safe Bin thread.
    // Every read of the list to be published is made here, and the change
    // since the one before is worked out here too.
    SafeBinUpdate purgedSafeBinList();
    // Publishes a list read by purgedSafeBinList(), on this thread.
    void publishSafeBin(SafeBinUpdate update);
    // Writes an activity event (no bytes, one item) on the Safe Bin thread,
    // where the cleans write theirs, then reloads the activity list.
    void logActivity(const QString& kind, const QString& summary);
    void finishMaintenance(MaintenanceTask::Kind kind, const QString& result);
    // Runs a user Flatpak app's update off this thread (see openUpdateCandidate).
    void updateFlatpakCandidate(const AppUpdateItem& item);
    void setCandidateUpdating(const QUuid& id, bool updating);
    // Publishes a disable's outcome: its text, and whether the file is off.
    void finishDisable(const QString& path, bool disabled, const QString& text);
    // Marks the rows of the file as disabling, or back to normal.
    void setPerformanceDisabling(const QString& path, bool disabling);
    // A performance list as a scan found it, made current with the disables:
    // the rows of a file whose disable runs are marked so, and those of a file
    // disabled after the scan began (at that count of disables) are left out.
    QList<PerformanceItem> withPerformanceDisables(QList<PerformanceItem> items, quint64 scannedFrom) const;
    // The same for the Performance scan's own list.
    QList<PerformanceItem> withDisablesSincePerformanceScan(QList<PerformanceItem> found) const;
    // Forgets the disables that no running performance scan began before.
    void forgetSettledDisables();
    void stopModuleScans();

    MapServices services_;
    ModuleServices modules_;

    Published<Screen> screen_{this, Field::screen, Screen::idle};
    Published<AppSection> section_{this, Field::section, AppSection::home};
    Published<std::vector<VolumeInfo>> volumes_{this, Field::volumes};
    Published<QString> scanRootPath_{this, Field::scanRootPath};
    Published<QString> scanRootName_{this, Field::scanRootName};
    Published<ScanProgress> progress_{this, Field::progress};
    Published<ScanNodePtr> rootNode_{this, Field::rootNode};
    Published<ScanNodePtr> focusNode_{this, Field::focusNode};
    Published<ScanNodePtr> hoveredNode_{this, Field::hoveredNode};
    Published<ScanInsights> insights_{this, Field::insights, ScanInsights::empty()};
    Published<AnalysisTab> analysisTab_{this, Field::analysisTab, AnalysisTab::map};
    Published<MapStyle> mapStyle_{this, Field::mapStyle, MapStyle::sunburst};
    Published<QString> searchQuery_{this, Field::searchQuery};
    Published<QList<CollectorItem>> collector_{this, Field::collector};
    Published<std::optional<QString>> errorMessage_{this, Field::errorMessage};
    Published<bool> isDeleting_{this, Field::isDeleting, false};
    Published<int> deleteCountdown_{this, Field::deleteCountdown, 0};
    Published<std::optional<QDateTime>> lastScanDate_{this, Field::lastScanDate};
    Published<bool> hasCachedScan_{this, Field::hasCachedScan, false};
    Published<QList<CleanupItem>> cleanupItems_{this, Field::cleanupItems};
    Published<bool> isCleanupScanning_{this, Field::isCleanupScanning, false};
    Published<QString> cleanupProgressLabel_{this, Field::cleanupProgressLabel, QStringLiteral("Scanning\u2026")};
    // The Safe Bin list (published as safeBinItems) and its latest change.
    SafeBinList safeBin_ = std::make_shared<const std::vector<SafeBinEntry>>();
    SafeBinChange safeBinChange_;
    Published<QList<InstalledApp>> installedApps_{this, Field::installedApps};
    Published<bool> isAppsScanning_{this, Field::isAppsScanning, false};
    Published<QString> appsProgressLabel_{this, Field::appsProgressLabel, QStringLiteral("Scanning\u2026")};
    Published<QList<ClutterItem>> clutterItems_{this, Field::clutterItems};
    Published<bool> isClutterScanning_{this, Field::isClutterScanning, false};
    Published<QString> clutterProgressLabel_{this, Field::clutterProgressLabel, QStringLiteral("Scanning\u2026")};
    Published<QList<PerformanceItem>> performanceItems_{this, Field::performanceItems};
    Published<bool> isPerformanceScanning_{this, Field::isPerformanceScanning, false};
    Published<QString> performanceProgressLabel_{this, Field::performanceProgressLabel,
                                                 QStringLiteral("Scanning\u2026")};
    Published<QList<MaintenanceTask>> maintenanceTasks_{this, Field::maintenanceTasks};
    Published<QList<ProtectionFinding>> protectionFindings_{this, Field::protectionFindings};
    Published<bool> isProtectionScanning_{this, Field::isProtectionScanning, false};
    Published<QString> protectionProgressLabel_{this, Field::protectionProgressLabel,
                                                QStringLiteral("Scanning\u2026")};
    Published<QList<PrivacyItem>> privacyItems_{this, Field::privacyItems};
    Published<bool> isPrivacyScanning_{this, Field::isPrivacyScanning, false};
    Published<QString> privacyProgressLabel_{this, Field::privacyProgressLabel, QStringLiteral("Scanning\u2026")};
    Published<QList<AppUpdateItem>> appUpdates_{this, Field::appUpdates};
    Published<bool> isUpdatesScanning_{this, Field::isUpdatesScanning, false};
    Published<QString> updatesProgressLabel_{this, Field::updatesProgressLabel, QStringLiteral("Scanning\u2026")};
    Published<std::optional<VidurAdedResult>> vidurAdedResult_{this, Field::vidurAdedResult};
    Published<bool> isVidurAdedRunning_{this, Field::isVidurAdedRunning, false};
    Published<QString> vidurAdedProgress_{this, Field::vidurAdedProgress, QStringLiteral("Starting\u2026")};
    Published<QList<ActivityEvent>> activityEvents_{this, Field::activityEvents};
    Published<bool> scheduleEnabled_{this, Field::scheduleEnabled, false};
    Published<int> scheduleHour_{this, Field::scheduleHour, 0};
    Published<bool> showAbout_{this, Field::showAbout, false};
    Published<bool> isSafeBinBusy_{this, Field::isSafeBinBusy, false};

    // The modules' task slots.
    ModuleScanSlot cleanupTask_;
    ModuleScanSlot appsTask_;
    ModuleScanSlot updatesTask_;
    ModuleScanSlot clutterTask_;
    ModuleScanSlot performanceTask_;
    ModuleScanSlot protectionTask_;
    ModuleScanSlot privacyTask_;

    VidurAdedSlot vidurAdedTask_;
    // Disables of performance items, by file: those that run, and those that
    // worked with the count of working disables when each ended. The scans
    // note that count when they begin, so a list read before a file was
    // disabled does not bring its row back.
    QSet<QString> disablingPaths_;
    QHash<QString, quint64> disabledPaths_;
    quint64 disablesDone_ = 0;
    quint64 performanceScanFrom_ = 0;
    quint64 vidurAdedFrom_ = 0;
    // Set while "Clean recommended" calls its cleans.
    std::shared_ptr<CleanTally> cleanTally_;
    // Whether the cleans called meanwhile count in the closing event.
    bool cleanTallyCounts_ = false;
    // The pass whose recommended cleanup is logged; read and written by Safe
    // Bin jobs only.
    QUuid recommendedLoggedPass_;
    // The list the Safe Bin jobs read last and its version; theirs alone.
    SafeBinList safeBinRead_ = safeBin_;
    quint64 safeBinReadVersion_ = 0;
    // Asks every minute whether the daily pass is due, and keeps the Safe Bin's time.
    QPointer<QTimer> scheduleTimer_;
    // A keepSafeBinTime() job waits: a long move holds the Safe Bin thread,
    // and one job then does for all the ticks meanwhile.
    bool safeBinTimeQueued_ = false;

    // Safe Bin jobs queued or running: all of them, and those that keep the
    // Safe Bin busy.
    int safeBinJobs_ = 0;
    int busySafeBinJobs_ = 0;

    // Map scan: the running scan's slot; generations number the scans so that
    // anything arriving from an older one is dropped.
    std::optional<ScanJob> scanJob_;
    quint64 lastScanGeneration_ = 0;
    // The name of the tree in rootNode (a running scan's root is in scanRootName).
    QString mapRootName_;
    // Set when the state goes, so a tree release stops waiting for other holders.
    std::shared_ptr<std::atomic_bool> stopping_ = std::make_shared<std::atomic_bool>(false);
    // Ends the maintenance tools still running when the state is destroyed.
    std::stop_source maintenanceStop_;

    // Cache loads: each one's generation, so that a restore that a later load
    // superseded is dropped.
    quint64 cacheLoadGeneration_ = 0;
    bool restoringCache_ = false;

    // Delete countdown: the timer of the running countdown, its generation and
    // the items the user saw when it began.
    QPointer<QTimer> deleteTimer_;
    quint64 deleteGeneration_ = 0;
    QList<CollectorItem> deleteSnapshot_;
    int countdownIntervalMs_ = 1000;

    // Walks (one thread each), and the start-up cache load and the cache saves
    // (one at a time, in order, so a save never races the load's conversion of
    // an older cache). Declared last: they are waited for before anything else goes.
    QThreadPool scanPool_;
    QThreadPool savePool_;
    // Module finders (one thread each) and the Safe Bin thread (one job at a
    // time, so the Safe Bin's store is only ever used from one thread).
    QThreadPool modulePool_;
    QThreadPool safeBinPool_;
    // Frees replaced trees and hands the memory back to the system.
    QThreadPool releasePool_;
    // The volume list is read one reading at a time, on a thread of its own.
    bool volumeReadRunning_ = false;
    bool volumeReadAgain_ = false;
};

}  // namespace tarnwick
