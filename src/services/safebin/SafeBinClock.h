#pragma once

#include <QDateTime>

namespace tarnwick {

// The Safe Bin's own sense of time, so that no change of the computer's clock
// makes an item expire before it has spent its days in the bin. The newest
// time observed is kept in the bin folder (manifest.clock) with the uptime
// clock's reading at that moment (Environment::uptime()):
// - the observed time never goes back, whatever the clock says;
// - within one run of the machine it advances with the clock, but never by
//   more than the uptime clock says has passed (a clock set ahead gains
//   nothing);
// - after a restart it takes up the clock again, if that is later.
// Beside it the file keeps the running time: the time the computer has run
// while the bin existed, summed over its runs from the uptime clock, whatever
// the date and time said. It never counts more than surely passed: a reading
// whose run cannot be told apart (no boot id) counts only what the uptime
// clock gained, a new run what it has run so far. A missing or unreadable
// file (one holding a reading that no clock comes near counts as unreadable)
// starts it again from the uptime clock's reading, which is never more than
// it was.
namespace SafeBinClock {

inline constexpr const char* kFileName = "manifest.clock";

struct Reading {
    QDateTime now;           // the observed time
    qint64 runningMsecs = 0; // the running time, in milliseconds
};

// The observed time and the running time now; stores them. Call with the
// bin's lock held (binFd is the open bin folder). A missing or unreadable
// file starts from the clock.
Reading observe(int binFd);

}  // namespace SafeBinClock

}  // namespace tarnwick
