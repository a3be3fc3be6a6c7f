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
// folder. It counts the bytes its files take on disk (a file with other
// names frees nothing and counts nothing), and lists in MoveScope::measured
// with what each was only the entries a clean may take: holding no socket,
// pipe, device node or mount point, with nothing in them changed in the hour
// before the scan (dates more than a day ahead excepted), not a file with
// other names, not the program's own folders, not another finding of the
// same scan and (outside the home folder) owned by the user. The others are
// listed in MoveScope::keptPaths; those in use or changed within the hour
// are said in the detail with their bytes (those not measured whole by
// name). When the walk reaches its entry ceiling the finding stays, whatever
// the bytes it met, sized at what was measured ("at least"): the entries it
// met in part or not at all are listed too, to be looked through when the
// clean runs, as many as bring them to the walk's budget; the detail says how
// many more stay unlooked at. Any other folder finding moves whole, with what it
// holds; a mount point is never a finding. Every finding carries what the
// scan saw at its path.
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
