#pragma once

#include "models/InstalledApp.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <stop_token>

namespace tarnwick {

// The app uninstaller finder: the application bundles of "/Applications"
// and "~/Applications", each measured, with the data it left in seven
// folders of the user's Library ("~/Library/Application Support", "Caches",
// "Logs", "Preferences", "Containers", "Group Containers" and "Saved
// Application State"). Reads only; never moves anything. Synchronous:
// callers run it off the UI thread.
//
// A Library entry is an application's leftover when that application's keys
// claim it (AppMatchKeys) and no other installed application's keys do (every
// ".app" entry of the two folders counts, also a link or the program itself),
// when it is not the system's ("com.apple...") and not one of the program's
// own folders. An application that shares its name or bundle identifier with
// another installed copy gets no leftovers at all: the data would be the
// other copy's as well. Only real folders are listed as applications.
namespace AppUninstallerService {

using Progress = std::function<void(const QString& label)>;

inline constexpr int kBundleSteps = 25000;
inline constexpr int kLeftoverSteps = 8000;
inline constexpr qsizetype kLibraryEntriesLooked = 500;
inline constexpr qsizetype kLeftoversKept = 12;

// The applications, largest first by bundle plus leftovers (the program
// itself left out), at most 80, each with its 12 largest leftovers. progress
// (may be empty) gets "Listing applications…" and then "Inspecting <name>…"
// for each application. A stop request ends the scan early; what it returns
// then is incomplete.
QList<InstalledApp> scan(const Progress& progress, std::stop_token stop = {});

// The paths a reset moves: the application's leftovers in list order.
QStringList resetPaths(const InstalledApp& app);

// The bytes below path, bounded: a file's allocated size (its logical size
// when nothing is allocated); for a folder the same over the regular files
// among the first maxSteps entries of its subtree, hidden ones included,
// packages inside it counted but not entered. 0 when nothing is there.
qint64 shallowSize(const QString& path, int maxSteps, const std::stop_token& stop = {});

}  // namespace AppUninstallerService

}  // namespace tarnwick
