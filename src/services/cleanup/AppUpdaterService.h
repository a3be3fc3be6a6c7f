#pragma once

#include "models/AppUpdateItem.h"
#include "services/store/RevealService.h"

#include <QList>
#include <QString>

#include <chrono>
#include <functional>
#include <stop_token>

namespace tarnwick {

// The update finder: applications that may have a newer version, from local
// sources and the package tools' own lists: installers in Downloads newer
// than the installed bundle, and newer AppImages in Downloads (same name,
// higher version); bundles that declare a Sparkle update feed, and the
// Flatpak apps whose remote has an update ("flatpak remote-ls --updates",
// for the user's installation and the system's, each only when it holds
// apps); and what Homebrew reports as outdated. Reads only. Synchronous:
// callers run it off the UI thread.
namespace AppUpdaterService {

using Progress = std::function<void(const QString& label)>;

// How long `brew outdated` or `flatpak remote-ls` may run before it is killed
// and counts as no answer.
inline constexpr std::chrono::milliseconds kBrewTimeout{60000};
inline constexpr qsizetype kBrewLinesKept = 40;

// The candidates sorted by name (case-insensitive, in the user's language),
// one per application path. progress (may be empty) gets a label before each
// of the four stages. A stop request skips the stages not yet begun and ends
// a running brew or flatpak.
QList<AppUpdateItem> scan(const Progress& progress, std::stop_token stop = {},
                          std::chrono::milliseconds toolTimeout = kBrewTimeout);

// The outdated casks: `brew outdated --cask --quiet` from
// "/opt/homebrew/bin/brew", else "/usr/local/bin/brew" (whichever is an
// executable file); else the outdated formulae, `brew outdated --quiet`, from
// where Homebrew installs on this platform ("/home/linuxbrew/.linuxbrew/bin/brew",
// else "~/.linuxbrew/bin/brew"); with standard input closed, standard error
// dropped, Homebrew's self-update switched off and a timeout. A missing brew,
// one that cannot start, crashes or outlives the timeout, or output that is
// not UTF-8, gives none; otherwise one candidate for each of the first 40
// non-blank lines (a formula's at <brew prefix>/opt/<name>). A stop request
// ends the run at once, with none.
QList<AppUpdateItem> brewOutdated(std::chrono::milliseconds timeout = kBrewTimeout, const std::stop_token& stop = {});

// What Open hands to the desktop: the installer (a newer AppImage: its
// folder shows it) when there is one, else the application. A user Flatpak
// app's candidate is not opened: its Update button runs its update (FlatpakTool::update).
QString openTarget(const AppUpdateItem& item);
// Opens openTarget() with the desktop's default application. When nothing is
// there any more, or no application takes it, onFailure gets the reason (on
// the application's thread; at once for a missing path).
void openInstaller(const AppUpdateItem& item, const RevealService::FailureHandler& onFailure);

}  // namespace AppUpdaterService

}  // namespace tarnwick
