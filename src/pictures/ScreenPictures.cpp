#include "pictures/ScreenPictures.h"

#include "app/MainWindow.h"
#include "app/TarnwickApp.h"
#include "pictures/DemoComputer.h"
#include "platform/Environment.h"
#include "services/health/DiskSource.h"
#include "services/health/MonitorSources.h"
#include "services/health/SystemMonitor.h"
#include "services/scan/CachedScan.h"
#include "state/AppState.h"
#include "state/MapServices.h"
#include "state/ModuleServices.h"
#include "support/PathRules.h"
#include "views/cleanup/AppsView.h"
#include "views/cleanup/FindingsScreen.h"
#include "views/cleanup/InstalledAppRow.h"
#include "views/cleanup/SafeBinListModel.h"
#include "views/cleanup/SafeBinView.h"
#include "views/cleanup/UpdateCandidateRow.h"
#include "views/health/MenuBarPanel.h"
#include "views/health/MenuBarView.h"
#include "views/health/PerformanceRow.h"
#include "views/health/PerformanceView.h"
#include "views/health/PrivacyRow.h"
#include "views/health/ProtectionView.h"
#include "views/health/ThreatRow.h"
#include "views/map/SpaceMapView.h"
#include "views/shell/AppShell.h"
#include "views/shell/DetailArea.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>

namespace tarnwick::ScreenPictures {

namespace {

constexpr qint64 kMB = 1000LL * 1000;
constexpr qint64 kGB = 1000LL * kMB;
const QString kDemoHome = QStringLiteral("/home/demo");

struct Entry {
    QString name;
    qint64 size = 0;                // files only
    std::vector<Entry> children;    // folders only
    bool folder = false;
    bool restricted = false;
};

Entry file(const QString& name, qint64 size) {
    return Entry{name, size, {}, false, false};
}

Entry folder(const QString& name, std::vector<Entry> children) {
    return Entry{name, 0, std::move(children), true, false};
}

Entry locked(const QString& name) {
    return Entry{name, 0, {}, true, true};
}

ScanNodePtr build(const Entry& entry, const QString& path) {
    if (!entry.folder) return ScanNode::create(QUuid::createUuid(), entry.name, path, NodeKind::file, entry.size);
    if (entry.restricted) return ScanNode::create(QUuid::createUuid(), entry.name, path, NodeKind::restricted, 0);
    std::vector<ScanNodePtr> children;
    for (const Entry& child : entry.children) {
        children.push_back(build(child, PathRules::appendingPathComponent(path, child.name)));
    }
    return ScanNode::create(QUuid::createUuid(), entry.name, path, NodeKind::dir, 0, std::move(children));
}

Entry demoEntries() {
    return folder(QStringLiteral("demo"), {
        folder(QStringLiteral("Movies"), {
            file(QStringLiteral("Holiday 2023.mov"), 18 * kGB),
            file(QStringLiteral("Interview raw.mkv"), 14 * kGB),
            folder(QStringLiteral("Drone footage"), {
                file(QStringLiteral("coast-01.mp4"), 6 * kGB), file(QStringLiteral("coast-02.mp4"), 5 * kGB),
                file(QStringLiteral("ridge.mp4"), 4 * kGB), file(QStringLiteral("harbour.mp4"), 3 * kGB)}),
            folder(QStringLiteral("Exports"), {
                file(QStringLiteral("wedding-final.mp4"), 5 * kGB), file(QStringLiteral("trailer.mov"), 4 * kGB),
                file(QStringLiteral("teaser.mp4"), 3 * kGB)}),
        }),
        folder(QStringLiteral("Virtual machines"), {
            folder(QStringLiteral("build-farm"), {file(QStringLiteral("build-farm.qcow2"), 48 * kGB),
                                                  file(QStringLiteral("Logs.zip"), 300 * kMB)}),
            folder(QStringLiteral("test-bench"), {file(QStringLiteral("test-bench.qcow2"), 17 * kGB)}),
        }),
        folder(QStringLiteral(".local"), {
            folder(QStringLiteral("share"), {
                folder(QStringLiteral("Games"), {
                    folder(QStringLiteral("library"), {
                        file(QStringLiteral("Skyrider.pak"), 28 * kGB), file(QStringLiteral("Harbor Days.pak"), 13 * kGB),
                        file(QStringLiteral("shadercache.bin"), 2 * kGB)})}),
                folder(QStringLiteral("flatpak"), {file(QStringLiteral("runtime.ostree"), 6 * kGB),
                                                   file(QStringLiteral("apps.ostree"), 2 * kGB)}),
                folder(QStringLiteral("Trash"), {file(QStringLiteral("old-backup.tar.gz"), 4 * kGB),
                                                 file(QStringLiteral("render-cache.bin"), 1500 * kMB)}),
            }),
        }),
        folder(QStringLiteral("Projects"), {
            folder(QStringLiteral("datasets"), {file(QStringLiteral("imagenet-subset.tar"), 11 * kGB),
                                                file(QStringLiteral("weather-2010-2020.csv"), 5 * kGB)}),
            folder(QStringLiteral("android-sdk"), {file(QStringLiteral("system-images.img"), 8 * kGB),
                                                   file(QStringLiteral("emulator.bin"), 3 * kGB)}),
            folder(QStringLiteral("tarnwick"), {
                folder(QStringLiteral("build"), {file(QStringLiteral("tests_views"), 2 * kGB),
                                                 file(QStringLiteral("libtarnwick_ui.a"), 1500 * kMB)}),
                folder(QStringLiteral(".git"), {file(QStringLiteral("pack-3f9e.pack"), 1200 * kMB)})}),
        }),
        folder(QStringLiteral("Pictures"), {
            folder(QStringLiteral("Camera Roll"), {file(QStringLiteral("2023.zip"), 5 * kGB),
                                                   file(QStringLiteral("2024.zip"), 4 * kGB)}),
            folder(QStringLiteral("Scans"), {file(QStringLiteral("archive-scan.tiff"), 2 * kGB)}),
            file(QStringLiteral("panorama.png"), 600 * kMB),
        }),
        folder(QStringLiteral("Music"), {
            folder(QStringLiteral("Library"), {file(QStringLiteral("Live at the Hall.flac"), 7 * kGB),
                                               file(QStringLiteral("Collected Works.flac"), 5 * kGB)}),
            folder(QStringLiteral("Podcasts"), {file(QStringLiteral("episodes.m4a"), 2 * kGB)}),
        }),
        folder(QStringLiteral(".cache"), {
            file(QStringLiteral("mozilla.db"), 3100 * kMB), file(QStringLiteral("yarn.tar"), 2200 * kMB),
            file(QStringLiteral("thumbnails.db"), 1400 * kMB), file(QStringLiteral("pip.db"), 900 * kMB)}),
        folder(QStringLiteral("Downloads"), {
            file(QStringLiteral("ubuntu-24.04-desktop-amd64.iso"), 6 * kGB),
            file(QStringLiteral("installer.tar.gz"), 1200 * kMB), file(QStringLiteral("video-call.mp4"), 800 * kMB),
            file(QStringLiteral("slides.pdf"), 90 * kMB)}),
        folder(QStringLiteral("Documents"), {
            folder(QStringLiteral("Work"), {file(QStringLiteral("quarterly.pptx"), 1800 * kMB),
                                            file(QStringLiteral("recordings.m4a"), 1200 * kMB)}),
            folder(QStringLiteral("Books"), {file(QStringLiteral("library.zip"), 1100 * kMB)}),
            folder(QStringLiteral("Taxes"), {file(QStringLiteral("2023.pdf"), 40 * kMB)})}),
        locked(QStringLiteral(".gnupg")),
    });
}

void collectFiles(const ScanNodePtr& node, std::vector<ScanNodePtr>& files) {
    if (node->kind == NodeKind::file) files.push_back(node);
    for (const ScanNodePtr& child : node->children) collectFiles(child, files);
}

QString kindOf(const QString& name) {
    static const QHash<QString, QString> kinds = {
        {"mov", "video"}, {"mkv", "video"}, {"mp4", "video"}, {"zip", "archives"}, {"gz", "archives"},
        {"tar", "archives"}, {"flac", "audio"}, {"m4a", "audio"}, {"png", "images"}, {"tiff", "images"},
        {"pdf", "documents"}, {"pptx", "documents"}, {"csv", "other"},
    };
    return kinds.value(PathRules::pathExtension(name).toLower(), QStringLiteral("other"));
}

// Spins the event loop until the condition holds or the time is up.
bool pumpUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

void settle() {
    for (int i = 0; i < 6; ++i) QApplication::processEvents();
}

// The start-up volume as the map's made-up volumes have it: the panel would
// otherwise show the disk of the machine that draws the pictures.
struct DemoDisk : DiskSource {
    std::optional<Reading> read() override { return Reading{512 * kGB, 131 * kGB}; }
};

ScanNodePtr childNamed(const ScanNodePtr& node, const QString& name) {
    for (const ScanNodePtr& child : node->children) {
        if (child->name == name) return child;
    }
    return nullptr;
}

ScanNodePtr nodeAt(const ScanNodePtr& root, const QStringList& names) {
    ScanNodePtr node = root;
    for (const QString& name : names) {
        if (!node) return nullptr;
        node = childNamed(node, name);
    }
    return node;
}

}  // namespace

QStringList fileNames() {
    return {
        QStringLiteral("home.png"),           QStringLiteral("home-after-pass.png"),
        QStringLiteral("map-sunburst.png"),   QStringLiteral("map-treemap.png"),
        QStringLiteral("map-bars.png"),       QStringLiteral("map-rings.png"),
        QStringLiteral("insights-largest.png"), QStringLiteral("insights-types.png"),
        QStringLiteral("collector.png"),      QStringLiteral("scanning.png"),
        QStringLiteral("volume-chooser.png"), QStringLiteral("junk.png"),
        QStringLiteral("junk-empty.png"),     QStringLiteral("safe-bin.png"),
        QStringLiteral("apps.png"),           QStringLiteral("apps-updates.png"),
        QStringLiteral("menu-bar-panel.png"), QStringLiteral("clutter.png"),
        QStringLiteral("performance.png"),
        QStringLiteral("protection.png"),     QStringLiteral("protection-privacy.png"),
    };
}

ScanNodePtr demoTree() {
    ScanNodePtr root = build(demoEntries(), kDemoHome);
    root->finalize(0.008);
    return root;
}

ScanInsights demoInsights(const QDateTime& now) {
    std::vector<ScanNodePtr> files;
    collectFiles(demoTree(), files);
    std::stable_sort(files.begin(), files.end(), [](const ScanNodePtr& a, const ScanNodePtr& b) { return a->size > b->size; });
    ScanInsights insights;
    QHash<QString, TypeBucket> buckets;
    int index = 0;
    for (const ScanNodePtr& node : files) {
        // Ages spread from a few days to a few years, the same on every run.
        const qint64 days = 3 + (index * 97) % 1400;
        FileRecord record{node->id, node->name, node->path(), node->size, now.addDays(-days), kindOf(node->name)};
        insights.largest.append(record);
        if (days >= 90) insights.oldest.append(record);
        TypeBucket& bucket = buckets[record.fileExtension];
        bucket.name = record.fileExtension;
        bucket.size += record.size;
        bucket.count += 1 + (index * 37) % 900;
        insights.totalFileBytes += record.size;
        ++index;
    }
    std::stable_sort(insights.oldest.begin(), insights.oldest.end(),
                     [](const FileRecord& a, const FileRecord& b) { return a.modified < b.modified; });
    for (const TypeBucket& bucket : buckets) insights.types.append(bucket);
    std::stable_sort(insights.types.begin(), insights.types.end(),
                     [](const TypeBucket& a, const TypeBucket& b) { return a.size > b.size; });
    for (const TypeBucket& bucket : std::as_const(insights.types)) insights.fileCount += bucket.count;
    return insights;
}

std::vector<VolumeInfo> demoVolumes() {
    return {
        VolumeInfo{"/", "Root", "/", "/", 512 * kGB, 131 * kGB, true, std::nullopt},
        VolumeInfo{"/home", "Home", "/home", "/home", 1000 * kGB, 402 * kGB, false, std::nullopt},
        VolumeInfo{"/media/demo/Backup", "Backup", "/media/demo/Backup", "/media/demo/Backup", 2000 * kGB,
                   140 * kGB, false, std::nullopt},
    };
}


namespace {

QString place(const QString& path) {
    return PathRules::abbreviatingWithTilde(path);
}

QList<Row> findingRows(QWidget* screen) {
    QList<Row> rows;
    if (auto* findings = qobject_cast<FindingsScreen*>(screen)) {
        for (const FindingRow* row : findings->rows()) rows.append(Row{place(row->content().path), row->content().size});
    }
    return rows;
}

QList<Row> appRows(const AppsView& apps) {
    QList<Row> rows;
    for (const InstalledAppRow* row : apps.appRows()) rows.append(Row{place(row->app().path), row->app().size});
    return rows;
}

QList<Row> updateRows(const AppsView& apps) {
    QList<Row> rows;
    for (const UpdateCandidateRow* row : apps.updateRows()) rows.append(Row{place(row->item().path), 0});
    return rows;
}

QList<Row> performanceRows(QWidget* screen) {
    QList<Row> rows;
    if (auto* performance = qobject_cast<PerformanceView*>(screen)) {
        for (const PerformanceRow* row : performance->rows()) {
            const PerformanceItem& item = row->item();
            rows.append(Row{item.path ? place(*item.path) : item.detail, 0});
        }
    }
    return rows;
}

QList<Row> threatRows(const ProtectionView& protection) {
    QList<Row> rows;
    for (const ThreatRow* row : protection.threatRows()) rows.append(Row{place(row->finding().path), 0});
    return rows;
}

QList<Row> privacyRows(const ProtectionView& protection) {
    QList<Row> rows;
    for (const PrivacyRow* row : protection.privacyRows()) rows.append(Row{place(row->item().path), row->item().size});
    return rows;
}

QList<Row> safeBinRows(QWidget* screen) {
    QList<Row> rows;
    if (auto* bin = qobject_cast<SafeBinView*>(screen)) {
        for (int i = 0; i < bin->model()->rowCount(); ++i) {
            const SafeBinEntry& entry = bin->model()->entry(i);
            rows.append(Row{place(entry.originalPath), entry.size});
        }
    }
    return rows;
}

}  // namespace

Outcome render(const QString& outputDirectory) {
    Outcome outcome;
    auto fail = [&](const QString& reason) {
        outcome.error = reason;
        return outcome;
    };
    if (!QDir().mkpath(outputDirectory)) return fail(QStringLiteral("cannot make ") + outputDirectory);

    QTemporaryDir scratch;
    if (!scratch.isValid()) return fail(QStringLiteral("no scratch folder"));
    QString problem;
    const std::optional<Environment> computer = DemoComputer::write(scratch.path() + QStringLiteral("/computer"), &problem);
    if (!computer) return fail(problem);
    Environment pictured = *computer;
    // The font cache tool of the maintenance run: one that only says it is done.
    pictured.toolPaths.insert(QStringLiteral("/usr/bin/fc-cache"), QStringLiteral("/bin/true"));
    // The computer's clock, moved on only between pictures while no work runs.
    const qint64 started = DemoComputer::now().toMSecsSinceEpoch();
    auto clock = std::make_shared<std::atomic<qint64>>(started);
    pictured.clock = [clock] { return QDateTime::fromMSecsSinceEpoch(clock->load(), Qt::UTC); };
    pictured.uptimeClock = [clock, started, boot = computer->uptime()] {
        return Environment::Uptime{boot.boot, boot.msecs + clock->load() - started};
    };
    Environment::Scope scope(pictured);
    // The same computer with an empty home folder, for the Junk screen without findings.
    Environment bare = pictured;
    bare.homeDirectory = scratch.path() + QStringLiteral("/bare/home");
    if (!QDir().mkpath(bare.homeDirectory)) return fail(QStringLiteral("cannot make ") + bare.homeDirectory);

    const QDateTime now = DemoComputer::now();
    const ScanNodePtr tree = demoTree();
    const ScanInsights insights = demoInsights(now);
    // The scanning picture's walk: one progress report, then it waits to be cancelled.
    auto walkCancelled = std::make_shared<std::atomic_bool>(false);

    MapServices services = MapServices::production();
    services.listVolumes = [] { return demoVolumes(); };
    services.loadCache = [tree, insights, now] {
        return std::optional<CachedScan>(CachedScan{kDemoHome, QStringLiteral("demo"), now.addSecs(-2 * 3600), tree,
                                                    insights});
    };
    services.saveCache = nullptr;
    services.enrichStartupVolume = [](const ScanNodePtr& root, const QString&) { return root; };
    services.makeWalk = [walkCancelled](const QString& rootPath) {
        MapServices::Walk walk;
        walk.run = [walkCancelled, rootPath](const MapServices::ProgressCallback& onProgress) {
            onProgress(ScanProgress{48213, 73'400'000'000,
                                    rootPath + QStringLiteral("/.local/share/Games/library/Skyrider/"
                                                              "content/textures/terrain/highlands_albedo_04.pak")});
            while (!walkCancelled->load()) QThread::msleep(2);
            return MapServices::WalkOutcome{};
        };
        walk.cancel = [walkCancelled] { walkCancelled->store(true); };
        return walk;
    };

    TarnwickApp app(services, ModuleServices::production());
    app.start();
    AppState& state = app.state();
    MainWindow& window = app.mainWindow();
    window.resize(1280, 820);
    // The demo tree arrives as a cached scan does, after start-up.
    if (!pumpUntil([&] { return !state.isRestoringCache(); }) || !state.rootNode()) {
        return fail(QStringLiteral("the demo tree was not restored"));
    }
    settle();

    auto screen = [&](AppSection section) { return window.shell()->detailArea()->screen(section); };
    auto save = [&](const QString& name) {
        settle();
        const QString path = QDir(outputDirectory).filePath(name);
        if (!window.grab().toImage().save(path, "PNG")) return false;
        outcome.written.append(path);
        return true;
    };

    // Home before any pass: the gauge shows the start-up volume's free space.
    state.openSection(AppSection::home);
    if (!save(QStringLiteral("home.png"))) return fail(QStringLiteral("cannot write home.png"));

    state.openSection(AppSection::map);
    state.setHoveredNode(childNamed(state.rootNode(), QStringLiteral("Movies")));
    const QStringList mapNames = {QStringLiteral("map-sunburst.png"), QStringLiteral("map-treemap.png"),
                                  QStringLiteral("map-bars.png"), QStringLiteral("map-rings.png")};
    for (int i = 0; i < mapNames.size(); ++i) {
        state.setMapStyle(allMapStyles().at(i));
        if (!save(mapNames[i])) return fail(QStringLiteral("cannot write ") + mapNames[i]);
    }

    state.setHoveredNode(nullptr);
    state.openSection(AppSection::insights);
    state.setAnalysisTab(AnalysisTab::largest);
    if (!save(QStringLiteral("insights-largest.png"))) return fail(QStringLiteral("cannot write insights-largest.png"));
    state.setAnalysisTab(AnalysisTab::types);
    if (!save(QStringLiteral("insights-types.png"))) return fail(QStringLiteral("cannot write insights-types.png"));

    state.openSection(AppSection::map);
    state.setAnalysisTab(AnalysisTab::map);
    state.setMapStyle(MapStyle::treemap);
    for (const QStringList& names : {QStringList{"Downloads", "ubuntu-24.04-desktop-amd64.iso"},
                                     QStringList{"Movies", "Interview raw.mkv"}, QStringList{".cache"}}) {
        if (ScanNodePtr node = nodeAt(state.rootNode(), names)) state.addToCollector(node);
    }
    state.setCountdownInterval(60);
    state.beginDelete();
    pumpUntil([&] { return state.deleteCountdown() <= 3; });
    const bool collectorSaved = save(QStringLiteral("collector.png"));
    state.cancelDelete();
    if (!collectorSaved) return fail(QStringLiteral("cannot write collector.png"));

    state.startScan(kDemoHome, QStringLiteral("demo"));
    pumpUntil([&] { return state.progress().scannedFiles > 0; });
    const bool scanningSaved = save(QStringLiteral("scanning.png"));
    state.cancelScan();
    if (!scanningSaved) return fail(QStringLiteral("cannot write scanning.png"));

    state.openSection(AppSection::map);
    if (auto* space = qobject_cast<SpaceMapView*>(screen(AppSection::map))) space->showChooser();
    if (!save(QStringLiteral("volume-chooser.png"))) return fail(QStringLiteral("cannot write volume-chooser.png"));

    // The module screens, each scanning the made-up computer as it first shows.
    const int scanTimeoutMs = 60000;
    state.openSection(AppSection::cleanup);
    pumpUntil([&] { return !state.isCleanupScanning(); }, scanTimeoutMs);
    outcome.rows.insert(QStringLiteral("junk.png"), findingRows(screen(AppSection::cleanup)));
    if (!save(QStringLiteral("junk.png"))) return fail(QStringLiteral("cannot write junk.png"));
    {
        Environment::Scope empty(bare);
        state.runCleanupScan();
        pumpUntil([&] { return !state.isCleanupScanning(); }, scanTimeoutMs);
        outcome.rows.insert(QStringLiteral("junk-empty.png"), findingRows(screen(AppSection::cleanup)));
        if (!save(QStringLiteral("junk-empty.png"))) return fail(QStringLiteral("cannot write junk-empty.png"));
    }

    state.openSection(AppSection::clutter);
    pumpUntil([&] { return !state.isClutterScanning(); }, scanTimeoutMs);
    outcome.rows.insert(QStringLiteral("clutter.png"), findingRows(screen(AppSection::clutter)));
    if (!save(QStringLiteral("clutter.png"))) return fail(QStringLiteral("cannot write clutter.png"));

    // The Apps screen: the largest app ticked with its leftovers opened, then the Updates tab.
    state.openSection(AppSection::apps);
    pumpUntil([&] { return !state.isAppsScanning() && !state.isUpdatesScanning(); }, scanTimeoutMs);
    auto* apps = qobject_cast<AppsView*>(screen(AppSection::apps));
    if (!apps || apps->appRows().isEmpty()) return fail(QStringLiteral("the Apps screen shows no apps"));
    state.toggleInstalledApp(state.installedApps().front().id);
    apps->appRows().front()->setExpanded(true);
    outcome.rows.insert(QStringLiteral("apps.png"), appRows(*apps));
    if (!save(QStringLiteral("apps.png"))) return fail(QStringLiteral("cannot write apps.png"));
    apps->setTab(AppsView::updates);
    outcome.rows.insert(QStringLiteral("apps-updates.png"), updateRows(*apps));
    if (!save(QStringLiteral("apps-updates.png"))) return fail(QStringLiteral("cannot write apps-updates.png"));
    apps->setTab(AppsView::uninstaller);

    state.openSection(AppSection::protection);  // both lists empty: both scans start
    pumpUntil([&] { return !state.isProtectionScanning() && !state.isPrivacyScanning(); }, scanTimeoutMs);
    auto* protection = qobject_cast<ProtectionView*>(screen(AppSection::protection));
    if (!protection || protection->threatRows().isEmpty()) {
        return fail(QStringLiteral("the Protection screen shows no threats"));
    }
    outcome.rows.insert(QStringLiteral("protection.png"), threatRows(*protection));
    if (!save(QStringLiteral("protection.png"))) return fail(QStringLiteral("cannot write protection.png"));
    protection->setTab(ProtectionView::privacy);
    outcome.rows.insert(QStringLiteral("protection-privacy.png"), privacyRows(*protection));
    if (!save(QStringLiteral("protection-privacy.png"))) {
        return fail(QStringLiteral("cannot write protection-privacy.png"));
    }
    protection->setTab(ProtectionView::threats);

    // The Performance screen, with the result of one maintenance run.
    state.openSection(AppSection::performance);  // an empty list: the performance scan starts
    pumpUntil([&] { return !state.isPerformanceScanning(); }, scanTimeoutMs);
    state.runMaintenance(MaintenanceTask::Kind::clearFontCaches);
    pumpUntil([&] {
        const QList<MaintenanceTask>& tasks = state.maintenanceTasks();
        const bool running = std::any_of(tasks.begin(), tasks.end(), [](const MaintenanceTask& t) { return t.isRunning; });
        return !running && !state.hasSafeBinWork();
    });
    outcome.rows.insert(QStringLiteral("performance.png"), performanceRows(screen(AppSection::performance)));
    // Scrolled down to the Maintenance card and the result under its first task.
    if (QWidget* performance = screen(AppSection::performance)) {
        settle();
        if (auto* content = performance->findChild<QScrollArea*>(QStringLiteral("moduleContent"))) {
            content->verticalScrollBar()->setValue(content->verticalScrollBar()->maximum());
        }
    }
    if (!save(QStringLiteral("performance.png"))) return fail(QStringLiteral("cannot write performance.png"));

    // Home after a pass over the made-up computer.
    state.openSection(AppSection::home);
    state.runVidurAded();
    if (!pumpUntil([&] { return !state.isVidurAdedRunning() && !state.hasSafeBinWork(); }, scanTimeoutMs) ||
        !state.vidurAdedResult()) {
        return fail(QStringLiteral("the pass did not finish"));
    }
    if (!save(QStringLiteral("home-after-pass.png"))) return fail(QStringLiteral("cannot write home-after-pass.png"));

    // The tray panel with the CPU tile open, reading the made-up computer's
    // /proc and /sys and showing the score the pass stored.
    MonitorSources sources = MonitorSources::system();
    sources.disk = std::make_shared<DemoDisk>();
    SystemMonitor monitor(sources);
    MenuBarPanel panel;
    auto* view = new MenuBarView(state, monitor);
    panel.setContent(view);
    view->toggle(MenuBarView::MonitorKind::cpu);
    panel.adjustSize();
    panel.show();
    monitor.refreshLight();  // the processor's base reading
    if (!DemoComputer::advanceProcessor(pictured)) return fail(QStringLiteral("cannot write the processor counters"));
    monitor.refreshLight();
    pumpUntil([&] {
        return monitor.topProcesses().size() == SystemMonitor::topProcessLimit &&
               monitor.batteryPercentText() != QStringLiteral("\u2014") && monitor.cpuPercent();
    });
    pumpUntil([] { return false; }, 250);  // the panel's fade-in
    settle();
    const QString panelPath = QDir(outputDirectory).filePath(QStringLiteral("menu-bar-panel.png"));
    if (!panel.grab().toImage().save(panelPath, "PNG")) {
        return fail(QStringLiteral("cannot write menu-bar-panel.png"));
    }
    outcome.written.append(panelPath);
    panel.hide();

    // "Clean recommended", then the Safe Bin holding what it moved, seen a few minutes later.
    state.runVidurAdedRecommended();
    pumpUntil([&] { return !state.hasSafeBinWork(); }, scanTimeoutMs);
    clock->fetch_add(3 * 60 * 1000);
    state.openSection(AppSection::safeBin);
    auto* bin = qobject_cast<SafeBinView*>(screen(AppSection::safeBin));
    pumpUntil([&] {
        return !state.hasSafeBinWork() && bin && size_t(bin->model()->rowCount()) == state.safeBinItems().size();
    });
    outcome.rows.insert(QStringLiteral("safe-bin.png"), safeBinRows(bin));
    if (!save(QStringLiteral("safe-bin.png"))) return fail(QStringLiteral("cannot write safe-bin.png"));
    return outcome;
}

}  // namespace tarnwick::ScreenPictures
