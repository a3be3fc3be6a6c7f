#pragma once

#include "models/BrowserUse.h"
#include "models/PrivacyItem.h"

#include <QString>

#include <optional>

namespace tarnwick {

// Whether a browser is running, told without asking it: a process of the
// user under one of its names (the command name in /proc/<pid>/stat or the
// name of the program /proc/<pid>/exe points to), or a lock in its profile
// that a live process holds: a lock link naming a process that exists (a
// Chromium link naming another host counts as held), or a record lock on a
// lock file. /proc is read under the environment's root prefix.
namespace BrowserActivity {

bool isRunning(const BrowserUse& use);

// Why the item must stay where it is while its browser runs, for the user;
// nothing when the item has no browser or its browser is not running.
std::optional<QString> refusal(const PrivacyItem& item);

}  // namespace BrowserActivity

}  // namespace tarnwick
