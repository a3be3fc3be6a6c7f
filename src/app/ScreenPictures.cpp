#include "app/ScreenPictures.h"

#include "app/MainWindow.h"
#include "app/TarnwickApp.h"
#include "platform/Environment.h"
#include "services/health/BatterySource.h"
#include "services/health/DiskSource.h"
#include "services/health/MemorySource.h"
#include "services/health/MonitorSources.h"
#include "services/health/ProcessSource.h"
#include "services/health/ProcessorSource.h"
#include "services/health/SystemMonitor.h"
#include "services/health/UptimeSource.h"
#include "services/cleanup/AppUninstallerService.h"
#include "services/cleanup/AppUpdaterService.h"
#include "services/scan/CachedScan.h"
#include "services/store/SafeBinService.h"
#include "support/AtomicFile.h"
#include "state/AppState.h"
#include "state/MapServices.h"
#include "support/PathRules.h"
#include "views/shell/AppShell.h"
#include "views/shell/DetailArea.h"
#include "views/cleanup/AppsView.h"
#include "views/cleanup/InstalledAppRow.h"
#include "views/health/MenuBarPanel.h"
#include "views/health/MenuBarView.h"
#include "views/health/ProtectionView.h"
#include "views/map/SpaceMapView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
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
        folder(QStringLiteral("VirtualBox VMs"), {
            folder(QStringLiteral("Windows 11"), {file(QStringLiteral("Windows 11.vdi"), 48 * kGB),
                                                  file(QStringLiteral("Logs.zip"), 300 * kMB)}),
            folder(QStringLiteral("Fedora"), {file(QStringLiteral("Fedora.vdi"), 17 * kGB)}),
        }),
        folder(QStringLiteral(".local"), {
            folder(QStringLiteral("share"), {
                folder(QStringLiteral("Steam"), {
                    folder(QStringLiteral("steamapps"), {
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

// The tray panel's readings of a made-up laptop: the first processor reading
// is the base, every later one adds 23 busy ticks in 100.
struct DemoProcessor : ProcessorSource {
    quint64 step = 0;
    std::optional<Ticks> read() override {
        ++step;
        return Ticks{23 * step, 77 * step};
    }
};

struct DemoMemory : MemorySource {
    std::optional<Reading> read() override { return Reading{16LL << 30, 6LL << 30}; }
};

struct DemoDisk : DiskSource {
    std::optional<Reading> read() override { return Reading{512 * kGB, 131 * kGB}; }
};

struct DemoBattery : BatterySource {
    std::optional<Reading> read() override { return Reading{78, true, true, 214}; }
};

struct DemoUptime : UptimeSource {
    std::optional<qint64> bootTime() override {
        return QDateTime::currentSecsSinceEpoch() - (3 * 86'400 + 4 * 3600 + 12 * 60);
    }
};

struct DemoProcesses : ProcessSource {
    QList<SystemMonitor::Proc> sample() const override {
        QList<SystemMonitor::Proc> processes;
        const std::pair<const char*, const char*> rows[] = {
            {"firefox", "18.4"}, {"Isolated Web Co", "9.7"}, {"gnome-shell", "6.2"},
            {"code", "4.9"},     {"pipewire", "1.3"},
        };
        qint32 pid = 2140;
        for (const auto& [name, cpu] : rows) {
            processes.append(SystemMonitor::Proc{pid, QString::fromUtf8(name), QString::fromUtf8(cpu),
                                                 ProcessIdentity{QString::fromUtf8(name), 0}});
            pid += 317;
        }
        return processes;
    }
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

QList<CleanupItem> demoJunk() {
    struct Row {
        CleanupCategory category;
        const char* title;
        const char* path;  // below the demo home
        qint64 size;
        bool safe;
    };
    const Row rows[] = {
        {CleanupCategory::caches, "User Caches", "/.cache", 3100 * kMB, true},
        {CleanupCategory::caches, "Browser cache", "/.cache/mozilla", 1400 * kMB, true},
        {CleanupCategory::logs, "User Logs", "/.local/state/log", 240 * kMB, true},
        {CleanupCategory::temp, "Incomplete download", "/Downloads/fedora-40.iso.part", 1800 * kMB, true},
        {CleanupCategory::node, "node_modules", "/Projects/old-site/node_modules", 640 * kMB, false},
        {CleanupCategory::docker, "Docker disk image", "/.docker/desktop/vms/0/data/Docker.raw", 24 * kGB, false},
        {CleanupCategory::ai, "Hugging Face models", "/.cache/huggingface/hub", 7400 * kMB, false},
        {CleanupCategory::downloads, "installer.tar.gz", "/Downloads/installer.tar.gz", 1200 * kMB, false},
        {CleanupCategory::duplicates, "2023.zip", "/Pictures/Camera Roll/2023 copy.zip", 5 * kGB, false},
    };
    QList<CleanupItem> items;
    for (const Row& row : rows) {
        CleanupItem item;
        item.title = QString::fromUtf8(row.title);
        item.path = kDemoHome + QString::fromUtf8(row.path);
        item.detail = QLatin1Char('~') + QString::fromUtf8(row.path);
        item.size = row.size;
        item.category = row.category;
        item.isSelected = row.safe;
        item.isSafeDefault = row.safe;
        items.append(item);
    }
    items[8].detail = QStringLiteral("Same content as ~/Pictures/Camera Roll/2023.zip");
    return items;
}

QList<PerformanceItem> demoPerformance() {
    using Kind = PerformanceItem::Kind;
    struct Process {
        const char* name;
        qint32 pid;
        const char* metric;
    };
    const Process processes[] = {
        {"firefox", 2140, "38% CPU \u00B7 6.2% MEM \u00B7 1 GB"},
        {"Isolated Web Co", 2457, "21% CPU \u00B7 3.1% MEM \u00B7 508.4 MB"},
        {"code", 3091, "9% CPU \u00B7 4.8% MEM \u00B7 786.2 MB"},
        {"gnome-shell", 1388, "6% CPU \u00B7 2.4% MEM \u00B7 392 MB"},
        {"pipewire", 1203, "2% CPU \u00B7 0.1% MEM \u00B7 18.5 MB"},
    };
    QList<PerformanceItem> items;
    for (const Process& process : processes) {
        PerformanceItem item;
        item.title = QString::fromUtf8(process.name);
        item.detail = QStringLiteral("PID ") + QString::number(process.pid);
        item.kind = Kind::process;
        item.metric = QString::fromUtf8(process.metric);
        item.pid = process.pid;
        item.canQuit = true;
        items.append(item);
    }
    struct Launch {
        const char* label;
        const char* path;
        Kind kind;
    };
    const Launch launches[] = {
        {"chat-client", "/home/demo/.config/autostart/chat-client.desktop", Kind::loginItem},
        {"cloud-sync", "/home/demo/.config/autostart/cloud-sync.desktop", Kind::loginItem},
        {"updater-tray", "/etc/xdg/autostart/updater-tray.desktop", Kind::loginItem},
        {"photo-backup", "/home/demo/.config/systemd/user/photo-backup.service", Kind::launchAgent},
        {"printer-helper", "/etc/systemd/system/printer-helper.service", Kind::launchDaemon},
    };
    for (const Launch& launch : launches) {
        PerformanceItem item;
        item.title = QString::fromUtf8(launch.label);
        item.path = QString::fromUtf8(launch.path);
        item.detail = item.path->startsWith(kDemoHome) ? QLatin1Char('~') + item.path->mid(kDemoHome.size()) : *item.path;
        item.kind = launch.kind;
        item.metric = launch.kind == Kind::loginItem ? QStringLiteral("Starts at login") : rawValue(launch.kind);
        items.append(item);
    }
    return items;
}

namespace {

// A file of logical length bytes without blocks: the finders count its
// length, and the made-up computer takes no room.
bool sparseFile(const QString& path, qint64 bytes, const QByteArray& text = {}) {
    if (!QDir().mkpath(PathRules::deletingLastPathComponent(path))) return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    if (!text.isEmpty() && file.write(text) != text.size()) return false;
    return text.isEmpty() ? file.resize(bytes) : true;
}

bool flatpakApp(const QString& appsFolder, const QString& id, const QString& name, const QString& version,
                qint64 bytes) {
    const QString app = appsFolder + QLatin1Char('/') + id;
    const QString active = app + QStringLiteral("/x86_64/stable/5d1c0ffee");
    return sparseFile(active + QStringLiteral("/metadata"), 0, "[Application]\nname=" + id.toUtf8() + "\n") &&
           sparseFile(active + QStringLiteral("/export/share/applications/") + id + QStringLiteral(".desktop"), 0,
                      "[Desktop Entry]\nType=Application\nName=" + name.toUtf8() + "\nExec=run\n") &&
           sparseFile(active + QStringLiteral("/files/share/metainfo/") + id + QStringLiteral(".metainfo.xml"), 0,
                      "<component><releases><release version=\"" + version.toUtf8() + "\"/></releases></component>") &&
           sparseFile(active + QStringLiteral("/files/bin/") + name.toLower().remove(QLatin1Char(' ')), bytes) &&
           QFile::link(QStringLiteral("5d1c0ffee"), app + QStringLiteral("/x86_64/stable/active")) &&
           QFile::link(QStringLiteral("x86_64/stable"), app + QStringLiteral("/current"));
}

}  // namespace

bool writeDemoApps(const QString& home, const QString& tool) {
    struct Leftover {
        const char* path;  // below the home folder
        qint64 size;
    };
    struct AppImage {
        const char* path;   // below the home folder
        const char* name;   // of its desktop entry, or null
        qint64 size;
        std::vector<Leftover> leftovers;
    };
    const AppImage images[] = {
        {"/Applications/Fernwood-Studio-3.4.1-x86_64.AppImage", "Fernwood Studio", 340 * kMB,
         {{"/.local/share/Fernwood Studio/library.db", 2100 * kMB}, {"/.cache/fernwoodstudio/previews.bin", 640 * kMB},
          {"/.local/state/Fernwood Studio/session.log", 12 * kMB}, {"/.config/Fernwood Studio/settings.json", 48000}}},
        {"/AppImages/Lumen-Player-4.1.2-x86_64.AppImage", "Lumen Player", 410 * kMB,
         {{"/.cache/Lumen Player/artwork.bin", 260 * kMB}}},
        {"/Downloads/Lumen-Player-4.2.0-x86_64.AppImage", nullptr, 415 * kMB, {}},
        {"/.local/bin/Quillpad.AppImage", "Quillpad", 88 * kMB, {}},
    };
    bool ok = true;
    for (const AppImage& image : images) {
        const QString path = home + QString::fromUtf8(image.path);
        ok &= sparseFile(path, image.size);
        ok &= QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner);
        if (image.name) {
            const QString name = QString::fromUtf8(image.name);
            ok &= sparseFile(home + QStringLiteral("/.local/share/applications/appimagekit-") +
                                 name.toLower().remove(QLatin1Char(' ')) + QStringLiteral(".desktop"),
                             0, "[Desktop Entry]\nType=Application\nName=" + name.toUtf8() + "\nExec=\"" +
                                    path.toUtf8() + "\" %U\n");
        }
        for (const Leftover& leftover : image.leftovers) {
            ok &= sparseFile(home + QString::fromUtf8(leftover.path), leftover.size);
        }
    }
    const QString userApps = home + QStringLiteral("/.local/share/flatpak/app");
    ok &= flatpakApp(userApps, QStringLiteral("org.pixelforge.Editor"), QStringLiteral("Pixelforge"),
                     QStringLiteral("5.0.1"), 1900 * kMB);
    ok &= sparseFile(home + QStringLiteral("/.var/app/org.pixelforge.Editor/data/brushes.bin"), 820 * kMB);
    ok &= sparseFile(home + QStringLiteral("/.var/app/org.pixelforge.Editor/config/pixelforge.conf"), 3 * kMB);
    ok &= flatpakApp(userApps, QStringLiteral("org.orbit.Mail"), QStringLiteral("Orbit Mail"), QStringLiteral("12.3"),
                     520 * kMB);
    // flatpak as it answers with an update for one app.
    ok &= sparseFile(tool, 0,
                     "#!/bin/sh\ncase \"$*\" in\n"
                     "*remote-ls*--user*) printf 'org.pixelforge.Editor\\t5.1.0\\n' ;;\n"
                     "esac\n");
    ok &= QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return ok;
}

QList<ClutterItem> demoClutter() {
    using Kind = ClutterItem::Kind;
    struct Row {
        Kind kind;
        const char* path;  // below the demo home
        const char* detail;
        qint64 size;
        bool safe;
    };
    const Row rows[] = {
        {Kind::trash, "/.local/share/Trash/files/old-backup.tar.gz", "~/.local/share/Trash/files", 4 * kGB, true},
        {Kind::trash, "/.local/share/Trash/files/render-cache.bin", "~/.local/share/Trash/files", 1500 * kMB, true},
        {Kind::downloads, "/Downloads/ubuntu-22.04-desktop-amd64.iso", "Not touched since Feb 2, 2024", 4700 * kMB,
         true},
        {Kind::duplicates, "/Documents/Books/library (1).zip", "Duplicate of ~/Documents/Books/library.zip",
         1100 * kMB, false},
        {Kind::largeOld, "/Movies/Holiday 2023.mov", "Last modified Aug 19, 2023", 18 * kGB, false},
        {Kind::largeOld, "/VirtualBox VMs/Fedora/Fedora.vdi", "Last modified Mar 3, 2023", 17 * kGB, false},
        {Kind::similarImages, "/Pictures/Camera Roll/IMG_2231 (edited).jpg", "Similar to ~/Pictures/Camera Roll/IMG_2231.jpg",
         6400 * 1000, false},
        {Kind::similarImages, "/Pictures/panorama-small.png", "Similar to ~/Pictures/panorama.png", 3100 * 1000, false},
        {Kind::screenshots, "/Pictures/Screenshots/Screenshot from 2024-01-12 09-41-07.png", "~/Pictures/Screenshots",
         2300 * 1000, false},
        {Kind::mailDownloads, "/Library/Containers/com.apple.mail/Data/Library/Mail Downloads",
         "~/Library/Containers/com.apple.mail/\u2026/Mail Downloads", 260 * kMB, false},
    };
    QList<ClutterItem> items;
    for (const Row& row : rows) {
        ClutterItem item;
        item.path = kDemoHome + QString::fromUtf8(row.path);
        item.title = row.kind == Kind::mailDownloads ? QStringLiteral("Mail Downloads")
                                                     : PathRules::lastPathComponent(item.path);
        item.detail = QString::fromUtf8(row.detail);
        item.size = row.size;
        item.kind = row.kind;
        item.isSelected = row.safe;
        item.isSafeDefault = row.safe;
        items.append(item);
    }
    return items;
}

QList<ProtectionFinding> demoThreats() {
    using K = ProtectionFinding::Kind;
    using S = ProtectionFinding::Severity;
    struct Row {
        K kind;
        S severity;
        const char* title;
        const char* path;  // below the demo home
        const char* detail;
    };
    const Row rows[] = {
        {K::suspiciousAgent, S::high, "session-sync", "/.config/autostart/session-sync.desktop",
         "Entry references \u201Ccurl\u201D"},
        {K::suspiciousAgent, S::high, "update-notifier-helper", "/.config/systemd/user/update-notifier-helper.service",
         "Entry references \u201Cbase64\u201D"},
        {K::quarantined, S::medium, "vpn-client_2.4.1_amd64.deb", "/Downloads/vpn-client_2.4.1_amd64.deb",
         "Still quarantined \u2014 review before opening"},
        {K::quarantined, S::medium, "notes-1.5.3.AppImage", "/Downloads/notes-1.5.3.AppImage",
         "Still quarantined \u2014 review before opening"},
        {K::unsignedExec, S::medium, "install.sh", "/Downloads/install.sh", "Runnable program \u2014 check where it came from before running it"},
        {K::browserExtension, S::low, "jcajnmlegioahoadcpnanlbgblfglljk",
         "/.config/google-chrome/Default/Extensions/jcajnmlegioahoadcpnanlbgblfglljk",
         "Browser extension \u2014 review permissions in the browser"},
        {K::browserExtension, S::low, "cpfpofffkgdcdnbiikdljjogieddphke",
         "/.config/chromium/Default/Extensions/cpfpofffkgdcdnbiikdljjogieddphke",
         "Browser extension \u2014 review permissions in the browser"},
    };
    QList<ProtectionFinding> findings;
    for (const Row& row : rows) {
        ProtectionFinding finding;
        finding.title = QString::fromUtf8(row.title);
        finding.path = kDemoHome + QString::fromUtf8(row.path);
        finding.detail = QString::fromUtf8(row.detail);
        finding.kind = row.kind;
        finding.severity = row.severity;
        findings.append(finding);
    }
    findings[0].isSelected = true;  // ticked by the user after review
    return findings;
}

QList<PrivacyItem> demoPrivacy() {
    struct Row {
        const char* title;
        const char* path;  // below the demo home
        qint64 size;
        bool selected;
    };
    const Row rows[] = {
        {"Firefox caches", "/.cache/mozilla", 1240 * kMB, true},
        {"Recent files", "/.local/share/recently-used.xbel", 64'000, true},
        {"Thumbnail cache", "/.cache/thumbnails", 380 * kMB, false},
        {"Firefox History", "/.mozilla/firefox/k3v9x2d1.default-release/places.sqlite", 48 * kMB, false},
        {"Chrome History", "/.config/google-chrome/Default/History", 22 * kMB, false},
        {"Firefox Cookies", "/.mozilla/firefox/k3v9x2d1.default-release/cookies.sqlite", 2100 * 1000, false},
    };
    QList<PrivacyItem> items;
    for (const Row& row : rows) {
        PrivacyItem item;
        item.title = QString::fromUtf8(row.title);
        item.path = kDemoHome + QString::fromUtf8(row.path);
        item.detail = QLatin1Char('~') + QString::fromUtf8(row.path);
        item.size = row.size;
        item.isSelected = row.selected;
        items.append(item);
    }
    return items;
}

std::vector<SafeBinEntry> demoSafeBin(const QString& home, const QDateTime& now) {
    struct Row {
        const char* path;  // below the home folder
        qint64 size;
        qint64 secondsAgo;
    };
    const Row rows[] = {
        {"/.cache/thumbnails", 1400 * kMB, 2 * 60},
        {"/Downloads/ubuntu-22.04-desktop-amd64.iso", 4700 * kMB, 3 * 3600},
        {"/Projects/tarnwick/build", 3500 * kMB, 2 * 86400},
        {"/Documents/Work/old-recordings.m4a", 1200 * kMB, 9 * 86400},
        {"/Pictures/Scans/archive-scan (copy).tiff", 2 * kGB, 23 * 86400},
    };
    std::vector<SafeBinEntry> entries;
    for (const Row& row : rows) {
        const QString path = home + QString::fromUtf8(row.path);
        const QString name = PathRules::lastPathComponent(path);
        const QUuid id = QUuid::createUuid();
        entries.push_back(SafeBinEntry::create(id, path, SafeBinService::storedNameFor(id, name), name, row.size,
                                               now.addSecs(-row.secondsAgo)));
    }
    return entries;
}

QStringList render(const QString& outputDirectory, QString* error) {
    QStringList written;
    auto fail = [&](const QString& reason) {
        if (error) *error = reason;
        return written;
    };
    if (!QDir().mkpath(outputDirectory)) return fail(QStringLiteral("cannot make ") + outputDirectory);

    QTemporaryDir scratch;
    if (!scratch.isValid()) return fail(QStringLiteral("no scratch folder"));
    Environment environment = Environment::system();
    environment.homeDirectory = scratch.path() + QStringLiteral("/home");
    environment.applicationSupport = scratch.path() + QStringLiteral("/support");
    environment.tempDirectory = scratch.path();
    environment.settingsFile = scratch.path() + QStringLiteral("/settings.ini");
    environment.rootPrefix = scratch.path() + QStringLiteral("/root");
    QDir().mkpath(environment.homeDirectory);
    QDir().mkpath(environment.applicationSupport);
    const QString flatpakTool = scratch.path() + QStringLiteral("/tools/flatpak");
    if (!writeDemoApps(environment.homeDirectory, flatpakTool)) {
        return fail(QStringLiteral("cannot write the demo apps"));
    }
    environment.toolPaths.insert(QStringLiteral("/usr/bin/flatpak"), flatpakTool);
    Environment::Scope scope(environment);

    const QDateTime now = QDateTime::currentDateTime();
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
                                    rootPath + QStringLiteral("/.local/share/Steam/steamapps/common/Skyrider/"
                                                              "content/textures/terrain/highlands_albedo_04.pak")});
            while (!walkCancelled->load()) QThread::msleep(2);
            return MapServices::WalkOutcome{};
        };
        walk.cancel = [walkCancelled] { walkCancelled->store(true); };
        return walk;
    };

    // The junk finder finds the demo junk, or nothing once junkFound is cleared.
    auto junkFound = std::make_shared<std::atomic_bool>(true);
    ModuleServices modules;
    modules.cleanupScan = [junkFound](const ModuleServices::Progress& progress, std::stop_token) {
        progress(QStringLiteral("Scanning caches\u2026"));
        return junkFound->load() ? demoJunk() : QList<CleanupItem>{};
    };
    modules.performanceScan = [](const ModuleServices::Progress&, std::stop_token) { return demoPerformance(); };
    // The apps of the made-up home, as the real finders see them.
    modules.appsScan = [](const ModuleServices::Progress& progress, std::stop_token stop) {
        return AppUninstallerService::scan(progress, std::move(stop));
    };
    modules.updatesScan = [](const ModuleServices::Progress& progress, std::stop_token stop) {
        return AppUpdaterService::scan(progress, std::move(stop));
    };
    modules.clutterScan = [](const ModuleServices::Progress&, std::stop_token) { return demoClutter(); };
    modules.protectionScan = [](const ModuleServices::Progress& progress, std::stop_token) {
        progress(QStringLiteral("Scanning startup entries\u2026"));
        return demoThreats();
    };
    modules.privacyScan = [](const ModuleServices::Progress& progress, std::stop_token) {
        progress(QStringLiteral("Scanning recent items\u2026"));
        return demoPrivacy();
    };

    TarnwickApp app(services, modules);
    app.start();
    AppState& state = app.state();
    MainWindow& window = app.mainWindow();
    window.resize(1280, 820);
    // The demo tree arrives as a cached scan does, after start-up.
    if (!pumpUntil([&] { return !state.isRestoringCache(); }) || !state.rootNode()) {
        return fail(QStringLiteral("the demo tree was not restored"));
    }
    settle();

    auto save = [&](const QString& name) {
        settle();
        const QString path = QDir(outputDirectory).filePath(name);
        if (!window.grab().toImage().save(path, "PNG")) return false;
        written.append(path);
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
    if (auto* space = qobject_cast<SpaceMapView*>(window.shell()->detailArea()->screen(AppSection::map))) {
        space->showChooser();
    }
    if (!save(QStringLiteral("volume-chooser.png"))) return fail(QStringLiteral("cannot write volume-chooser.png"));

    state.openSection(AppSection::cleanup);  // an empty list: the Junk scan starts
    pumpUntil([&] { return !state.isCleanupScanning(); });
    if (!save(QStringLiteral("junk.png"))) return fail(QStringLiteral("cannot write junk.png"));
    junkFound->store(false);
    state.runCleanupScan();
    pumpUntil([&] { return !state.isCleanupScanning(); });
    if (!save(QStringLiteral("junk-empty.png"))) return fail(QStringLiteral("cannot write junk-empty.png"));

    state.openSection(AppSection::clutter);  // an empty list: the Clutter scan starts
    pumpUntil([&] { return !state.isClutterScanning(); });
    if (!save(QStringLiteral("clutter.png"))) return fail(QStringLiteral("cannot write clutter.png"));

    // The Safe Bin's manifest with stand-ins for the stored items.
    const QString bin = SafeBinService::root();
    const std::vector<SafeBinEntry> binned = demoSafeBin(environment.homeDirectory, now);
    for (const SafeBinEntry& entry : binned) AtomicFile::write(bin + QLatin1Char('/') + entry.storedName, QByteArray());
    if (!AtomicFile::write(bin + QStringLiteral("/manifest.json"), SafeBinEntry::encodeManifest(binned))) {
        return fail(QStringLiteral("cannot write the demo Safe Bin"));
    }
    state.openSection(AppSection::safeBin);
    pumpUntil([&] { return !state.hasSafeBinWork() && state.safeBinItems().size() == binned.size(); });
    if (!save(QStringLiteral("safe-bin.png"))) return fail(QStringLiteral("cannot write safe-bin.png"));

    // The Apps screen: the largest app ticked with its leftovers opened, then the Updates tab.
    state.openSection(AppSection::apps);
    pumpUntil([&] { return !state.isAppsScanning() && !state.isUpdatesScanning(); });
    auto* apps = qobject_cast<AppsView*>(window.shell()->detailArea()->screen(AppSection::apps));
    if (!apps || apps->appRows().isEmpty()) return fail(QStringLiteral("the Apps screen shows no apps"));
    state.toggleInstalledApp(state.installedApps().front().id);
    apps->appRows().front()->setExpanded(true);
    if (!save(QStringLiteral("apps.png"))) return fail(QStringLiteral("cannot write apps.png"));
    apps->setTab(AppsView::updates);
    if (!save(QStringLiteral("apps-updates.png"))) return fail(QStringLiteral("cannot write apps-updates.png"));
    apps->setTab(AppsView::uninstaller);

    state.openSection(AppSection::protection);  // both lists empty: both scans start
    pumpUntil([&] { return !state.isProtectionScanning() && !state.isPrivacyScanning(); });
    auto* protection = qobject_cast<ProtectionView*>(window.shell()->detailArea()->screen(AppSection::protection));
    if (!protection || protection->threatRows().isEmpty()) {
        return fail(QStringLiteral("the Protection screen shows no threats"));
    }
    if (!save(QStringLiteral("protection.png"))) return fail(QStringLiteral("cannot write protection.png"));
    protection->setTab(ProtectionView::privacy);
    if (!save(QStringLiteral("protection-privacy.png"))) {
        return fail(QStringLiteral("cannot write protection-privacy.png"));
    }

    // The tray panel with the CPU tile open, over the demo laptop's readings.
    Environment::current().settings()->setValue(SystemMonitor::healthScoreKey(), 88);
    SystemMonitor monitor(MonitorSources{std::make_shared<DemoProcessor>(), std::make_shared<DemoMemory>(),
                                         std::make_shared<DemoDisk>(), std::make_shared<DemoBattery>(),
                                         std::make_shared<DemoUptime>(), std::make_shared<DemoProcesses>()});
    MenuBarPanel panel;
    auto* view = new MenuBarView(state, monitor);
    panel.setContent(view);
    view->toggle(MenuBarView::MonitorKind::cpu);
    panel.adjustSize();
    panel.show();
    monitor.refreshLight();
    pumpUntil([&] {
        return monitor.topProcesses().size() == 5 && monitor.batteryPercentText() != QStringLiteral("\u2014");
    });
    pumpUntil([] { return false; }, 250);  // the panel's fade-in
    settle();
    const QString panelPath = QDir(outputDirectory).filePath(QStringLiteral("menu-bar-panel.png"));
    if (!panel.grab().toImage().save(panelPath, "PNG")) {
        return fail(QStringLiteral("cannot write menu-bar-panel.png"));
    }
    written.append(panelPath);
    panel.hide();

    // The Performance screen, with the result of one maintenance run (a
    // stand-in tool that only says it is done).
    state.openSection(AppSection::performance);  // an empty list: the performance scan starts
    pumpUntil([&] { return !state.isPerformanceScanning(); });
    Environment withTool = Environment::current();
    withTool.toolPaths.insert(QStringLiteral("/usr/bin/fc-cache"), QStringLiteral("/bin/true"));
    Environment::Scope toolScope(withTool);
    state.runMaintenance(MaintenanceTask::Kind::clearFontCaches);
    pumpUntil([&] {
        const QList<MaintenanceTask>& tasks = state.maintenanceTasks();
        const bool running = std::any_of(tasks.begin(), tasks.end(), [](const MaintenanceTask& t) { return t.isRunning; });
        return !running && !state.hasSafeBinWork();
    });
    // Scrolled down to the Maintenance card and the result under its first task.
    if (QWidget* screen = window.shell()->detailArea()->screen(AppSection::performance)) {
        settle();
        if (auto* content = screen->findChild<QScrollArea*>(QStringLiteral("moduleContent"))) {
            content->verticalScrollBar()->setValue(content->verticalScrollBar()->maximum());
        }
    }
    if (!save(QStringLiteral("performance.png"))) return fail(QStringLiteral("cannot write performance.png"));

    // Home after a pass over the demo findings.
    junkFound->store(true);
    state.openSection(AppSection::home);
    state.runVidurAded();
    if (!pumpUntil([&] { return !state.isVidurAdedRunning() && !state.hasSafeBinWork(); }) ||
        !state.vidurAdedResult()) {
        return fail(QStringLiteral("the demo pass did not finish"));
    }
    if (!save(QStringLiteral("home-after-pass.png"))) return fail(QStringLiteral("cannot write home-after-pass.png"));
    return written;
}

}  // namespace tarnwick::ScreenPictures
