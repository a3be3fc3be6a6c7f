#pragma once

#include "models/InstalledApp.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <stop_token>

namespace tarnwick {

// The app uninstaller finder: the applications a user installed, each
// measured, with the data it left behind. Reads only; never moves anything
// and runs no tool. Synchronous: callers run it off the UI thread.
//
// Listed are the application bundles of "/Applications" and "~/Applications";
// the Flatpak apps of the user's installation and of the system ones (read
// from their deployed metadata and exported desktop entry); and the AppImages
// in ~/Applications, ~/AppImages, ~/.local/bin and the Downloads folder (see
// AppImageFile), with the desktop entries that start them. An app's size is
// what the app itself occupies: the bundle, the AppImage file, the Flatpak
// app's folder of its installation.
//
// Leftovers: a Flatpak app's own data folder ~/.var/app/<id>; and the entries
// of seven folders of the user's Library and of the XDG config, data, state
// and cache folders that the app's keys claim (AppMatchKeys) and no other
// application's keys do. Every listed application counts as another (also a
// ".app" link or the program itself), and so does every program of the
// menu's desktop entries (the system's and the user's own): the program an
// entry starts claims its name. Never leftovers: the system's entries
// ("com.apple..."), the entries the desktop and every program share
// ("applications", "autostart", "flatpak", "fonts", ...), and the program's
// own folders. An application that shares its name or id with another listed
// one gets no leftovers of its keys: the data would be the other's as well.
namespace AppUninstallerService {

using Progress = std::function<void(const QString& label)>;

inline constexpr int kBundleSteps = 25000;
inline constexpr int kLeftoverSteps = 8000;
inline constexpr qsizetype kLibraryEntriesLooked = 500;
inline constexpr qsizetype kLeftoversKept = 12;

// The applications, largest first by size plus leftovers (the program
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
