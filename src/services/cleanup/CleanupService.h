#pragma once

#include "models/CleanupItem.h"

#include <QList>
#include <QString>

#include <functional>
#include <stop_token>

namespace tarnwick {

// The junk finder: fourteen stages over fixed places of the home folder and
// the system (through the locations table) and five searches, each stage
// announced by a progress label before it runs. Reads only; never moves
// anything. Synchronous: callers run it off the UI thread.
//
// A fixed folder that programs keep using (caches, logs, temporary files,
// Photos, Mail, Xcode, the container engine's logs, model folders) is offered
// with MoveScope::contentsOnly: cleaning moves its entries and leaves the
// folder. An entry that is, or holds, another finding of the same scan, one
// of the program's own folders, or (outside the home folder) something the
// user does not own is listed in MoveScope::keptPaths and left out of the
// finding's size.
namespace CleanupService {

using Progress = std::function<void(const QString& label)>;

// The findings of more than 100,000 bytes sorted by size, largest first
// (equal sizes in stage order), trimmed to the junk budget. progress (may be
// empty) is called on the calling thread with each stage's label. A stop
// request ends the scan at the next stage or entry; what was found so far is
// returned, filtered, sorted and trimmed the same way.
QList<CleanupItem> scan(const Progress& progress, std::stop_token stop = {});

}  // namespace CleanupService

}  // namespace tarnwick
