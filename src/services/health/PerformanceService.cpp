#include "services/health/PerformanceService.h"

#include "platform/Environment.h"
#include "platform/FileDescriptor.h"
#include "platform/FileEntry.h"
#include "platform/FolderListing.h"
#include "platform/Locations.h"
#include "platform/PathCodec.h"
#include "platform/ToolRunner.h"
#include "services/shared/DesktopEntryFile.h"
#include "services/health/ProcPidStat.h"
#include "services/health/PsLine.h"
#include "support/AtomicFile.h"
#include "support/ByteCountFormatter.h"
#include "support/FileError.h"
#include "support/PathRules.h"

#include <QCollator>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <limits>

#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tarnwick::PerformanceService {

namespace {

// A descriptor for the process, or -1 with errno set (ENOSYS: no pidfds here).
int openProcess(qint32 pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0u));
#else
    errno = ENOSYS;
    return -1;
#endif
}

int signalProcess(const FileDescriptor& handle, qint32 pid) {
#ifdef SYS_pidfd_send_signal
    if (handle.valid()) return static_cast<int>(::syscall(SYS_pidfd_send_signal, handle.get(), SIGTERM, nullptr, 0u));
#endif
    return ::kill(static_cast<pid_t>(pid), SIGTERM);
}

QuitOutcome outcomeOfError(int error) {
    return error == ESRCH ? QuitOutcome::noLongerRunning : QuitOutcome::failed;
}

using Kind = PerformanceItem::Kind;
using Place = Locations::Place;

// ---- Processes ----

struct Row {
    qint32 pid = 0;
    double cpu = 0;
    double mem = 0;
    qint64 rssKB = 0;
    QString name;
};

// A share as the C locale prints it: digits, optionally a point and more digits.
std::optional<double> decimalNumber(const QByteArray& text) {
    qsizetype point = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && point < 0 && i > 0) {
            point = i;
        } else if (c < '0' || c > '9') {
            return std::nullopt;
        }
    }
    if (text.isEmpty() || point == text.size() - 1) return std::nullopt;
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

// A resident size in KiB whose byte count fits 64 bits.
std::optional<qint64> residentKB(const QByteArray& text) {
    if (text.isEmpty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value > std::numeric_limits<qint64>::max() / 1024) return std::nullopt;
    return value;
}

bool isLeftOut(const QString& name) {
    const QString lower = name.toLower();
    return lower == QLatin1String("tarnwick") || lower == QLatin1String("taldovane") || name == QLatin1String("ps") ||
           name.startsWith(QLatin1String("kernel_"));
}

// "12% CPU · 3.4% MEM · 512 MB"; QString::number keeps the point whatever the locale.
QString processMetric(const Row& row) {
    return QString::number(row.cpu, 'f', 0) + QStringLiteral("% CPU \u00B7 ") + QString::number(row.mem, 'f', 1) +
           QStringLiteral("% MEM \u00B7 ") + ByteCountFormatter::memoryStyle(row.rssKB * 1024);
}

QList<PerformanceItem> topProcesses(int limit) {
    const Environment& environment = Environment::current();
    const ToolResult result = ToolRunner::run(
        environment.toolPath(QStringLiteral("/usr/bin/ps")),
        {QStringLiteral("-e"), QStringLiteral("-o"), QStringLiteral("pid=,pcpu=,pmem=,rss=,comm=")},
        kListingTimeLimit, ToolRunner::Stderr::discard, {QStringLiteral("LC_ALL=C")});
    if (result.status != ToolResult::Status::finished) return {};
    return processItems(result.output, environment.rootPrefix, limit);
}

// ---- Launch items ----

struct Folder {
    Place place;
    Kind kind;
};

bool hasVendorPrefix(const QString& label) {
    const QStringList& prefixes = vendorPrefixes();
    return std::any_of(prefixes.begin(), prefixes.end(), [&](const QString& p) { return label.startsWith(p); });
}

// The label of an entry named "<label>.<extension>", or nothing.
std::optional<QString> labelOf(const QString& name, const QString& extension) {
    if (PathRules::pathExtension(name) != extension) return std::nullopt;
    return name.left(name.size() - extension.size() - 1);
}

PerformanceItem launchItem(const FileEntry& entry, const QString& label, Kind kind, const QString& metric) {
    PerformanceItem item;
    item.title = label;
    item.detail = PathRules::abbreviatingWithTilde(entry.path);
    item.kind = kind;
    item.metric = metric;
    item.path = entry.path;
    item.canQuit = false;
    return item;
}

// The entries of the folders that pass: the extension, not hidden, not a
// vendor's, each label once (the first folder's entry wins).
template <class Accept, class Make>
QList<PerformanceItem> listFolders(std::initializer_list<Folder> folders, const QString& extension, Accept accept,
                                   Make make) {
    const Locations locations(Environment::current());
    QSet<QString> seen;
    QList<PerformanceItem> items;
    for (const Folder& folder : folders) {
        const std::optional<QList<FileEntry>> entries =
            FolderListing::list(locations.path(folder.place), FolderListing::Hidden::skip);
        if (!entries) continue;
        for (const FileEntry& entry : *entries) {
            if (!accept(entry)) continue;
            const std::optional<QString> label = labelOf(entry.name, extension);
            if (!label || label->isEmpty() || hasVendorPrefix(*label) || seen.contains(*label)) continue;
            seen.insert(*label);
            items.append(make(entry, *label, folder.kind));
        }
    }
    return items;
}

// Whether a program named by TryExec is there: an absolute path as it
// stands, a bare name on the search path.
bool programExists(const QString& program, const Environment& environment) {
    auto executable = [&](const QString& path) {
        const QFileInfo info(environment.systemPath(path));
        return info.isFile() && info.isExecutable();
    };
    if (program.startsWith(QLatin1Char('/'))) return executable(program);
    if (program.contains(QLatin1Char('/'))) return true;  // relative to a folder we cannot know: assume it is there
    QString search = environment.variable(QStringLiteral("PATH"));
    if (search.isEmpty()) search = QStringLiteral("/usr/local/bin:/usr/bin:/bin");
    for (const QString& folder : search.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (folder.startsWith(QLatin1Char('/')) && executable(folder + QLatin1Char('/') + program)) return true;
    }
    return false;
}

struct Autostart {
    FileEntry file;
    QString label;
};

// The autostart entries of one folder by file name: files and the links
// users make to an application's entry (the link itself is what a disable
// renames), not hidden, not a vendor's.
QHash<QString, Autostart> autostartEntries(const QString& folder) {
    QHash<QString, Autostart> entries;
    const std::optional<QList<FileEntry>> listing = FolderListing::list(folder, FolderListing::Hidden::skip);
    if (!listing) return entries;
    for (const FileEntry& entry : *listing) {
        if (!entry.isRegularFile() && !entry.isSymbolicLink()) continue;
        const std::optional<QString> label = labelOf(entry.name, QStringLiteral("desktop"));
        if (!label || label->isEmpty() || hasVendorPrefix(*label)) continue;
        entries.insert(entry.name, Autostart{entry, *label});
    }
    return entries;
}

// What a login item is called: its entry's Name= in the messages locale, on
// one line; the file's label when it names nothing.
QString entryTitle(const DesktopEntryFile& entry, const QString& locale, const QString& label) {
    const QString name = entry.entryLocaleString(QStringLiteral("Name"), locale).value_or(QString()).simplified();
    return name.isEmpty() ? label : name;
}

// The login items: of each entry name the user's entry where there is one
// (it shadows the system's, to switch it off or otherwise), else the
// system's, and only those that start at login.
QList<PerformanceItem> loginItems() {
    const Locations locations(Environment::current());
    const QHash<QString, Autostart> user = autostartEntries(locations.path(Place::userAutostart));
    const QHash<QString, Autostart> system = autostartEntries(locations.path(Place::systemAutostart));
    const QString locale = Environment::current().messagesLocale();
    QList<PerformanceItem> items;
    auto consider = [&](const Autostart& autostart) {
        const DesktopEntryFile entry = DesktopEntryFile::read(autostart.file.path);
        if (!startsAtLogin(entry)) return;
        items.append(launchItem(autostart.file, entryTitle(entry, locale, autostart.label), Kind::loginItem,
                                QStringLiteral("Starts at login")));
    };
    for (const Autostart& autostart : user) consider(autostart);
    for (auto it = system.cbegin(); it != system.cend(); ++it) {
        if (!user.contains(it.key())) consider(it.value());
    }
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    // Equal titles: the user's folder first, then by path, whatever order the hash gave.
    std::stable_sort(items.begin(), items.end(), [&](const PerformanceItem& a, const PerformanceItem& b) {
        const int order = collator.compare(a.title, b.title);
        return order != 0 ? order < 0 : *a.path < *b.path;
    });
    return items;
}

// Service units: regular files only, since the links in a unit folder are
// enablement aliases and masks that systemctl manages.
QList<PerformanceItem> launchAgents() {
    return listFolders({{Place::userUnits, Kind::launchAgent},
                        {Place::systemUserUnits, Kind::launchAgent},
                        {Place::systemUnits, Kind::launchDaemon}},
                       QStringLiteral("service"), [](const FileEntry& entry) { return entry.isRegularFile(); },
                       [](const FileEntry& entry, const QString& label, Kind kind) {
                           return launchItem(entry, label, kind, rawValue(kind));
                       });
}

// ---- Disabling ----

enum class Manager { none, userUnits, systemUnits };

// Which folder of launch items holds path, and so what stops it; nothing
// for any other place.
std::optional<Manager> managerOf(const QString& path) {
    const Locations locations(Environment::current());
    const QString folder = PathRules::deletingLastPathComponent(PathRules::standardizingPath(path));
    const QString extension = PathRules::pathExtension(path);
    auto in = [&](Place place) { return PathRules::standardizingPath(locations.path(place)) == folder; };
    if (extension == QLatin1String("desktop") && (in(Place::userAutostart) || in(Place::systemAutostart))) {
        return Manager::none;
    }
    if (extension == QLatin1String("service")) {
        if (in(Place::userUnits) || in(Place::systemUserUnits)) return Manager::userUnits;
        if (in(Place::systemUnits)) return Manager::systemUnits;
    }
    return std::nullopt;
}

// The characters systemd allows in a unit name; anything else was never
// loaded as a unit, so there is nothing to stop.
bool isUnitName(const QString& name) {
    return !name.isEmpty() && std::all_of(name.begin(), name.end(), [](QChar c) {
        return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
               (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || QStringLiteral(":_.\\@-").contains(c);
    });
}

void stopUnit(Manager manager, const QString& unit, const std::stop_token& stop) {
    if (manager == Manager::none || !isUnitName(unit)) return;
    const QStringList arguments =
        manager == Manager::userUnits
            ? QStringList{QStringLiteral("--user"), QStringLiteral("disable"), QStringLiteral("--now"),
                          QStringLiteral("--"), unit}
            : QStringList{QStringLiteral("--no-ask-password"), QStringLiteral("disable"), QStringLiteral("--now"),
                          QStringLiteral("--"), unit};
    // The status is ignored: a unit that was never enabled or started has
    // nothing to undo, and the rename below is what keeps it from loading.
    ToolRunner::run(Environment::current().toolPath(QStringLiteral("/usr/bin/systemctl")), arguments,
                    kDisableTimeLimit, ToolRunner::Stderr::discard, {}, stop);
}

// Why the file at path cannot be renamed in its folder by this process
// (the folder is not writable, is on a read-only file system, or is sticky
// and neither it nor the file is ours); nothing when it can.
std::optional<QString> renameBlocker(const QString& path) {
    const QByteArray folder = PathCodec::encode(PathRules::deletingLastPathComponent(path));
    if (::access(folder.constData(), W_OK | X_OK) != 0) return FileError::systemText(errno);
    struct stat folderInfo {};
    struct stat fileInfo {};
    if (::stat(folder.constData(), &folderInfo) == 0 && (folderInfo.st_mode & S_ISVTX) != 0 && ::geteuid() != 0 &&
        ::lstat(PathCodec::encode(path).constData(), &fileInfo) == 0 && fileInfo.st_uid != ::geteuid() &&
        folderInfo.st_uid != ::geteuid()) {
        return FileError::systemText(EPERM);
    }
    return std::nullopt;
}

// What keeps a system entry from starting: a user entry of the same name
// that says Hidden=true. Nothing else is in it, so no text of the system's
// entry (or of its name) ends up in a file this program writes.
QByteArray hiddenOverride() {
    return QByteArrayLiteral(
        "# Written by Tarnwick: keeps the system's login item of this name from starting.\n"
        "# Delete this file to let it start again.\n"
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Hidden=true\n");
}

// Makes the folder and any missing folders above it, as the freedesktop
// base folders are made: private to the user.
bool makePrivateFolder(const QString& folder) {
    const QByteArray encoded = PathCodec::encode(folder);
    struct stat info {};
    if (::stat(encoded.constData(), &info) == 0) return S_ISDIR(info.st_mode);
    const QString parent = PathRules::deletingLastPathComponent(folder);
    if (parent == folder || parent.isEmpty() || !makePrivateFolder(parent)) return false;
    return ::mkdir(encoded.constData(), 0700) == 0 || errno == EEXIST;
}

}  // namespace

QList<PerformanceItem> processItems(const QByteArray& output, const QString& root, int limit) {
    std::vector<Row> rows;
    for (const QByteArray& bytes : output.split('\n')) {
        if (bytes.isEmpty()) continue;
        const std::optional<PsLine> line = PsLine::parse(bytes, 3);
        if (!line) continue;
        const std::optional<double> cpu = decimalNumber(line->figures[0]);
        const std::optional<double> mem = decimalNumber(line->figures[1]);
        const std::optional<qint64> rss = residentKB(line->figures[2]);
        if (!cpu || !mem || !rss) continue;
        const QString name = line->name();
        if (name.isEmpty() || isLeftOut(name)) continue;
        rows.push_back(Row{line->pid, *cpu, *mem, *rss, name});
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row& a, const Row& b) { return 2 * a.cpu + a.mem > 2 * b.cpu + b.mem; });

    QList<PerformanceItem> items;
    for (const Row& row : rows) {
        if (items.size() >= limit) break;
        // Kernel threads, and processes gone or exited since the listing, are
        // nothing the user could quit.
        const std::optional<ProcPidStat> stat = ProcPidStat::read(root, row.pid);
        if (!stat || stat->isKernelThread() || stat->isZombie()) continue;
        PerformanceItem item;
        item.title = row.name;
        item.detail = QStringLiteral("PID ") + QString::number(row.pid);
        item.kind = Kind::process;
        item.metric = processMetric(row);
        item.pid = row.pid;
        item.canQuit = ProcPidStat::isQuittableBy(root, row.pid, Environment::current().effectiveUserId());
        item.identity = stat->identity();
        items.append(std::move(item));
    }
    return items;
}

const QStringList& vendorPrefixes() {
    static const QStringList prefixes{QStringLiteral("org.gnome."), QStringLiteral("org.freedesktop."),
                                      QStringLiteral("org.kde."),   QStringLiteral("gnome-"),
                                      QStringLiteral("at-spi"),     QStringLiteral("xdg-")};
    return prefixes;
}

bool startsAtLogin(const DesktopEntryFile& entry, const Environment& environment) {
    switch (entry.status()) {
    case DesktopEntryFile::Status::gone:
    case DesktopEntryFile::Status::notAFile: return false;
    case DesktopEntryFile::Status::unreadable:
    case DesktopEntryFile::Status::tooLarge: return true;
    case DesktopEntryFile::Status::ok: break;
    }
    const std::optional<QString> exec = entry.entryString(QStringLiteral("Exec"));
    if (!exec || exec->trimmed().isEmpty()) return false;
    if (entry.entryBoolean(QStringLiteral("Hidden")) == true) return false;
    if (entry.entryBoolean(QStringLiteral("X-GNOME-Autostart-enabled")) == false) return false;

    const QStringList desktops =
        environment.variable(QStringLiteral("XDG_CURRENT_DESKTOP")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    auto names = [&](const QStringList& list) {
        return std::any_of(desktops.begin(), desktops.end(), [&](const QString& d) { return list.contains(d); });
    };
    const std::optional<QString> onlyShowIn = entry.value(QStringLiteral("Desktop Entry"), QStringLiteral("OnlyShowIn"));
    if (onlyShowIn && !names(entry.entryList(QStringLiteral("OnlyShowIn")))) return false;
    if (names(entry.entryList(QStringLiteral("NotShowIn")))) return false;

    const std::optional<QString> tryExec = entry.entryString(QStringLiteral("TryExec"));
    if (tryExec && !tryExec->trimmed().isEmpty() && !programExists(tryExec->trimmed(), environment)) return false;
    return true;
}

QList<PerformanceItem> scan(const Progress& progress, std::stop_token stop) {
    auto report = [&](const QString& label) {
        if (progress) progress(label);
    };
    QList<PerformanceItem> items;
    report(QStringLiteral("Reading processes\u2026"));
    items += topProcesses(kProcessLimit);
    if (stop.stop_requested()) return items;
    report(QStringLiteral("Reading login items\u2026"));
    items += loginItems();
    if (stop.stop_requested()) return items;
    report(QStringLiteral("Reading services\u2026"));
    items += launchAgents();
    return items;
}

QuitOutcome quitProcess(qint32 pid, const ProcessIdentity& expected) {
    if (pid <= 1 || pid == static_cast<qint32>(::getpid())) return QuitOutcome::refused;

    // Holding the handle first pins the process: the pid cannot pass to a new
    // one between the check below and the signal.
    FileDescriptor handle(openProcess(pid));
    if (!handle.valid() && errno != ENOSYS) return outcomeOfError(errno);

    const std::optional<ProcPidStat> stat = ProcPidStat::read(Environment::current().rootPrefix, pid);
    if (!stat || stat->isZombie() || stat->identity() != expected) return QuitOutcome::noLongerRunning;

    if (signalProcess(handle, pid) != 0) return outcomeOfError(errno);
    return QuitOutcome::requested;
}

QString quitFailureText(qint32 pid, QuitOutcome outcome) {
    switch (outcome) {
    case QuitOutcome::requested: return QString();
    case QuitOutcome::noLongerRunning:
        return QStringLiteral("Process ") + QString::number(pid) + QStringLiteral(" is no longer running.");
    case QuitOutcome::refused:
    case QuitOutcome::failed: break;
    }
    return QStringLiteral("Could not quit process ") + QString::number(pid) + QLatin1Char('.');
}

DisableResult disableAgent(const QString& path, const std::stop_token& stop, const QString& title) {
    const QString name = PathRules::lastPathComponent(path);
    const QString extension = PathRules::pathExtension(name);
    const QString label =
        !title.isEmpty() ? title : extension.isEmpty() ? name : name.left(name.size() - extension.size() - 1);
    auto failure = [&](const QString& reason) {
        return DisableResult{false, QStringLiteral("Could not disable ") + label + QStringLiteral(": ") + reason};
    };
    const DisableResult done{true, QStringLiteral("Disabled ") + label};
    const std::optional<Manager> manager = managerOf(path);
    if (!manager) return failure(QStringLiteral("it is not a login item or service."));

    const Locations locations(Environment::current());
    const QString userOverride = locations.path(Place::userAutostart) + QLatin1Char('/') + name;
    const QString systemEntry = locations.path(Place::systemAutostart) + QLatin1Char('/') + name;
    const bool isSystemEntry =
        *manager == Manager::none &&
        PathRules::standardizingPath(path) != PathRules::standardizingPath(userOverride);

    if (isSystemEntry) {
        // No rights needed: the user's entry of the same name, hidden, keeps it from starting.
        if (FileEntry::at(userOverride)) {
            return failure(QStringLiteral("your autostart folder already has an entry of that name."));
        }
        QString error;
        if (!makePrivateFolder(PathRules::deletingLastPathComponent(userOverride)) ||
            !AtomicFile::write(userOverride, hiddenOverride(), &error)) {
            return failure(error.isEmpty() ? QStringLiteral("your autostart folder cannot be written.") : error);
        }
        return done;
    }

    // A unit is stopped only once it is certain that its file can be renamed,
    // so a disable never stops what it then cannot keep from starting again.
    if (*manager != Manager::none) {
        if (const std::optional<QString> blocker = renameBlocker(path)) return failure(*blocker);
        stopUnit(*manager, name, stop);
        // Ended before its tool finished (the program is closing): the file
        // stays, as nothing will be told that it moved.
        if (stop.stop_requested()) return failure(QStringLiteral("stopped."));
    }
    // rename() puts the file in place of an older ".disable" file in one
    // step: there is no moment where neither exists, and a failed rename
    // leaves both as they were.
    const QByteArray from = PathCodec::encode(path);
    const QByteArray to = PathCodec::encode(QString(path + QStringLiteral(".disable")));
    if (::rename(from.constData(), to.constData()) != 0) return failure(FileError::systemText(errno));

    // A user entry that shadowed a system entry of the same name: with it
    // gone the system's would start again, so a hidden entry takes its place.
    if (*manager == Manager::none && FileEntry::at(systemEntry)) {
        QString error;
        if (!AtomicFile::write(userOverride, hiddenOverride(), &error)) {
            ::rename(to.constData(), from.constData());  // back as it was: the system entry stays off
            return failure(error);
        }
    }
    return done;
}

}  // namespace tarnwick::PerformanceService
