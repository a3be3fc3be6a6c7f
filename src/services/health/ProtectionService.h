#pragma once

#include "models/ProtectionFinding.h"
#include "platform/Environment.h"
#include "platform/Locations.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <stop_token>

namespace tarnwick {

// The threat finder: plain tests on names, file text, attributes and file
// headers in five places, most severe findings first. There is no signature
// database and no network access, and nothing is changed on disk.
// Synchronous: callers run it off the UI thread.
//
// Only the two autostart-style findings (suspicious agents and known adware
// paths) are high; of those, the token heuristic of suspicious agents can be
// wrong, so its findings start unselected for the user to review.
namespace ProtectionService {

using Progress = std::function<void(const QString& label)>;

inline constexpr qsizetype kQuarantineEntries = 80;     // Downloads entries looked at
inline constexpr qint64 kRecentSeconds = 1'209'600;     // 14 days
inline constexpr qsizetype kExtensionsPerBrowser = 30;
inline constexpr qsizetype kUnsignedLimit = 20;
// The attribute that browsers and download tools set on what they fetch.
inline const char* const kOriginAttribute = "user.xdg.origin.url";

// Runs the five stages in order, reporting each one's label first, and
// returns their findings sorted stably by severity, high first. A stop
// request ends the scan at the next stage or entry with what was found.
QList<ProtectionFinding> scan(const Progress& progress, std::stop_token stop = {});

// The stages, each in the order found (the listings' sorted order):

// Autostart entries (".desktop") and systemd user units (".service"), the
// user's folders before the system's, whose whole text holds a command that
// downloads, decodes or runs scripts. Each is read as its bytes stand (bytes
// that are not UTF-8 hide nothing), a link through its target, one file
// under two names once; one that cannot be read whole within the cap is a
// finding of its own, never passed over. A link to something that is not a
// file (a unit masked by a link to /dev/null) starts nothing and is passed.
QList<ProtectionFinding> suspiciousAgents(const Locations& locations, const std::stop_token& stop = {});
// Six fixed paths left by known unwanted cleaner programs.
QList<ProtectionFinding> adwarePaths(const Environment& environment);
// Among the folder's first 80 entries, the installers and archives changed
// in the last 14 days that still carry their download origin.
QList<ProtectionFinding> quarantinedDownloads(const QString& folder, const QDateTime& now,
                                              const std::stop_token& stop = {});
// The first 30 entries of each Chromium-family browser's extension folder.
QList<ProtectionFinding> browserExtensions(const Locations& locations);
// Regular files of the folder, without an extension or with "sh", "command"
// or "tool", that carry an execute bit and start as a program does (an ELF
// header or "#!"): this platform has no code signatures to check. At most
// `limit` findings.
QList<ProtectionFinding> unsignedIn(const QString& folder, qsizetype limit, const std::stop_token& stop = {});

}  // namespace ProtectionService

}  // namespace tarnwick
