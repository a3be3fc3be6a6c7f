#pragma once

#include <QtGlobal>

namespace tarnwick {

// What the times of a place say about its use, alike for the scan that
// measures a folder cleaned by its entries and for the clean that moves them.
namespace InUseTimes {

// Anything that changed within this time before the scan or the clean is
// taken to be in use: it stays where it is.
constexpr qint64 kInUseMSecs = 3600 * 1000;
// A modification time more than this ahead of the clock is a wrong date, not
// a sign of use: it is left out of the newest times.
constexpr qint64 kFutureSlackMSecs = 24LL * 3600 * 1000;

}  // namespace InUseTimes

}  // namespace tarnwick
