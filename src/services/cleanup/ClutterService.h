#pragma once

#include "models/ClutterItem.h"

#include <QList>
#include <QString>

#include <functional>
#include <stop_token>

namespace tarnwick {

// The clutter finder: seven searches of the home folder's own places (through
// the locations table) for what takes room without being junk: the trash, old
// installers and archives in Downloads, old screenshots, the Mail attachments
// folder, duplicate files, similar pictures and large files untouched for
// half a year. Each search is announced by a progress label before it runs.
// Reads only; never moves anything. Synchronous: callers run it off the UI
// thread (the pictures are decoded on the thread pool as well).
namespace ClutterService {

using Progress = std::function<void(const QString& label)>;

// The items of more than 50,000 bytes sorted by size, largest first (equal
// sizes in search order), trimmed to the clutter budget. The same path may be
// listed under two kinds (an old download that is also a duplicate). The
// program's own folders and what they hold are never listed. progress
// (may be empty) is called on the calling thread. A stop request ends the
// scan at its next search or entry; what was found so far is returned,
// filtered, sorted and trimmed the same way.
QList<ClutterItem> scan(const Progress& progress, std::stop_token stop = {});

}  // namespace ClutterService

}  // namespace tarnwick
