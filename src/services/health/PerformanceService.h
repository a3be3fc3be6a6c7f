#pragma once

#include "models/PerformanceItem.h"
#include "models/ProcessIdentity.h"
#include "platform/Environment.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <chrono>
#include <functional>
#include <stop_token>

namespace tarnwick {

class DesktopEntryFile;

// The performance finder: heavy processes and launch items, and the actions
// on them. Stateless functions.
//
// Launch items are this platform's: login items are the desktop's autostart
// entries that start at login (of each name the user's entry where there is
// one, else the system's), user services the systemd user units
// ("*.service" in the user's unit folder, then the system's user units),
// system services the system's own units ("*.service" files in
// /etc/systemd/system; the links there are enablement aliases and masks, not
// units). A login item is titled by its entry's Name= in the messages
// locale (LC_ALL, LC_MESSAGES, LANG), by its file name where it has none; a
// service by its file name. Entries of the desktop's own vendors are left
// out. Every folder
// comes from the locations table of the current environment.
namespace PerformanceService {

using Progress = std::function<void(const QString& label)>;

// How many processes a scan lists at most.
inline constexpr int kProcessLimit = 18;
// How long "ps" may take.
inline constexpr std::chrono::seconds kListingTimeLimit{10};
// How long one systemctl call of a disable may take.
inline constexpr std::chrono::seconds kDisableTimeLimit{15};

// The heaviest processes, then the login items sorted by title, then the
// user and system services in folder order; progress (may be empty) gets a
// label before each of the three on the calling thread. Synchronous: callers
// run it off the UI thread. Never fails: a listing that cannot be read adds
// nothing. A stop request ends the scan before its next listing.
QList<PerformanceItem> scan(const Progress& progress, std::stop_token stop = {});

// The items of one "ps -e -o pid=,pcpu=,pmem=,rss=,comm=" listing: the
// `limit` heaviest processes by 2 × cpu + mem, heaviest first (equal loads
// in listing order). Lines that do not parse, this program's own processes,
// "ps" itself and kernel threads are left out, and so is a process whose
// stat file under root is gone; each item carries the identity read there,
// and offers Quit only for the user's own processes (never pid 1 or this
// program).
QList<PerformanceItem> processItems(const QByteArray& output, const QString& root, int limit);

// The labels the desktop's own entries start with; such entries are not listed.
const QStringList& vendorPrefixes();

// Whether an autostart entry starts at login, as the freedesktop autostart
// standard reads it on the desktops the environment's XDG_CURRENT_DESKTOP
// names (colon-separated): it has an Exec line, is not Hidden=true nor
// X-GNOME-Autostart-enabled=false, OnlyShowIn names one of the desktops
// (when given) and NotShowIn none, and the program TryExec names (when
// given) is there. An entry that cannot be read whole starts, as far as
// anything here can tell; one that is gone or not a file does not.
bool startsAtLogin(const DesktopEntryFile& entry, const Environment& environment = Environment::current());

enum class QuitOutcome {
    requested,        // the process was asked to quit (SIGTERM)
    noLongerRunning,  // it has exited, or its pid now belongs to another process
    refused,          // pid 1 and below, and this program itself, are never signalled
    failed,           // the system refused the signal (another user's process)
};

// Asks the process to quit when it is still the one listed: the command name
// and start time read from /proc/<pid>/stat must equal `expected`, captured
// when the process was listed. The check and the signal are made on a handle
// to the process itself (a pidfd) where the kernel offers one, so a pid that
// is reused in between is never signalled. Runs on the calling thread; reads
// /proc under the environment's root prefix.
QuitOutcome quitProcess(qint32 pid, const ProcessIdentity& expected);
// What the user reads when a quit did not go through; empty for `requested`.
QString quitFailureText(qint32 pid, QuitOutcome outcome);

struct DisableResult {
    bool disabled = false;
    // "Disabled <label>", or "Could not disable <label>: <reason>"; the label
    // is the title the item is listed by when given, else its file name.
    QString text;
};

// Disables a login item or launch item listed by scan(). A system autostart
// entry is kept from starting by a user entry of the same name holding
// Hidden=true, written into the user's autostart folder (no rights needed);
// the system's file is not touched. Any other item's file is renamed to its
// path + ".disable", replacing an older file of that name in one step; it is
// never deleted. A user unit is first disabled and stopped ("systemctl
// --user disable --now -- <unit>"), a system unit likewise without asking
// for a password, both with their status ignored, but only once it is known
// that the file can be renamed. A user entry that shadowed a system entry
// of the same name leaves a hidden entry in its place, so the system's does
// not start instead. A path outside the launch-item folders is refused.
// Blocks for the tool's run: callers run it off the UI thread. A stop
// request ends the tool's run, and the file is then left where it was.
DisableResult disableAgent(const QString& path, const std::stop_token& stop = {}, const QString& title = {});

}  // namespace PerformanceService

}  // namespace tarnwick
