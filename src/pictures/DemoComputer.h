#pragma once

#include "platform/Environment.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace tarnwick {

// A made-up computer for the screen pictures, written into a folder: a home
// folder with caches, downloads unfinished and old, duplicates, similar
// photos, large old videos, a full trash, apps with their leftovers, login
// items and services (two of them suspicious), browser residue and
// extensions; a root with the /proc, /sys and /etc entries the finders and
// the monitor read; and stand-ins for the tools they run ("ps", "flatpak").
//
// Sizes are credible without taking room: a file the finders measure by its
// length has no blocks, and only those measured by the space they take (old
// installers, duplicates, photos) hold their bytes, a few megabytes each.
// Every date is set from the computer's clock, which stands still, so the
// finders make the same of it on every run.
namespace DemoComputer {

// The time the computer's clock stands at.
QDateTime now();

// Writes the computer into the folder (made when missing; it should be
// empty) and returns the environment that shows it: its home, root, own
// temporary folder, settings file, stopped clocks, desktop, tools and user
// (1000, who owns the processes the panel may quit). Nothing, with the
// reason in error, when a file could not be written.
std::optional<Environment> write(const QString& folder, QString* error = nullptr);

// Moves the processor counters of the computer's /proc/stat on by one
// second at 23% load, so that the next reading shows that share. False
// when the file could not be written.
bool advanceProcessor(const Environment& environment);

}  // namespace DemoComputer

}  // namespace tarnwick
