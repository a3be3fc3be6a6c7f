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
namespace SafeBinClock {

inline constexpr const char* kFileName = "manifest.clock";

// The observed time now; stores it. Call with the bin's lock held (binFd is
// the open bin folder). A missing or unreadable file starts from the clock.
QDateTime observe(int binFd);

}  // namespace SafeBinClock

}  // namespace tarnwick
