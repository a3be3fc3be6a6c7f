#pragma once

#include "models/ActivityEvent.h"

#include <QList>
#include <QString>

namespace tarnwick {

// The activity log: "activity.json" in the support folder, newest first, at
// most 200 events. Every call reads the file whole; log() rewrites it whole and
// atomically, holding the log's lock ("activity.lock" beside it, and a mutex
// for this process's threads), so two logs at once never lose an event.
// Nothing reports an error.
namespace ActivityService {

// The most events the file keeps after a log.
inline constexpr qsizetype kMaximumEvents = 200;
// How many events log() and the lifetime sums read.
inline constexpr qsizetype kReadLimit = 500;

// The newest `limit` events, newest first (a stable sort by date: equal dates
// keep their file order). Reads the legacy folder's file only when the support
// folder's file cannot be read; an undecodable file gives an empty list.
QList<ActivityEvent> list(qsizetype limit);

// Puts a new event (new id, date now) in front of the stored ones and writes
// the newest 200. A support file that exists but cannot be read or decoded is
// first renamed aside ("activity.json.damaged-<yyyyMMdd-HHmmss>") so that its
// history is not overwritten; when that rename fails nothing is written.
void log(const QString& kind, const QString& summary, qint64 bytesFreed, qint64 itemsAffected);

// The sums of bytesFreed and itemsAffected over list(500), held at the ends
// of the 64-bit range instead of wrapping.
qint64 lifetimeBytesFreed();
qint64 lifetimeItems();
// Both sums from one read of the log.
struct LifetimeTotals {
    qint64 bytesFreed = 0;
    qint64 items = 0;
};
LifetimeTotals lifetimeTotals();

// "<support folder>/activity.json".
QString filePath();
// "<legacy support folder>/activity.json"; read, never written.
QString legacyFilePath();

}  // namespace ActivityService

}  // namespace tarnwick
