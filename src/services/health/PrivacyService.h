#pragma once

#include "models/PrivacyItem.h"
#include "platform/Locations.h"

#include <QList>
#include <QString>

#include <functional>
#include <stop_token>

namespace tarnwick {

// The privacy-residue finder: measures fixed places of the home folder where
// traces of the user's activity collect (the recent-files list, browser
// history and cookies, browser caches, the thumbnail cache) and returns
// those holding more than 10,000 bytes, largest first. No place lies inside
// another, so no byte is counted or moved twice. Reads no file contents but
// the Firefox profile list; changes nothing. Synchronous: callers run it off
// the UI thread.
//
// A browser database is offered with its journal files (-journal, -wal,
// -shm) as companions and with its browser, which must not be running when
// it moves; a cache folder moves its entries and stays in place, and offers
// only the entries a clean may take (MoveScope::measured): none in use (a
// socket, pipe, device node or mount point in it), none changed within the
// hour before the scan. Every item carries what the scan saw at its paths.
// Firefox's history is not offered: its database holds the bookmarks too.
namespace PrivacyService {

using Progress = std::function<void(const QString& label)>;

inline constexpr qint64 kMinimumBytes = 10'001;
inline constexpr int kFolderEntryLimit = 20'000;

// The three stages' labels are reported in order, each before its places.
// A stop request ends the scan at the next place with what was measured.
QList<PrivacyItem> scan(const Progress& progress, std::stop_token stop = {});

// The logical bytes of the regular files below path (itself when it is not a
// folder), counting at most the first 20,000 entries of the walk, hidden ones
// included; links are never followed, nor mount points crossed. 0 when
// nothing is there.
qint64 dirSize(const QString& path, const std::stop_token& stop = {});

// The journal files of a database file that move with it.
QStringList companionsOf(const QString& databasePath);

}  // namespace PrivacyService

}  // namespace tarnwick
