#pragma once

#include <QtGlobal>

#include <limits>

namespace tarnwick {

// Byte counts and item counts read from files or measured on disk are summed
// without wrapping: a sum that would leave the 64-bit range sticks at its end.
namespace Saturating {

inline qint64 add(qint64 a, qint64 b) {
    qint64 sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) {
        return b > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
    }
    return sum;
}

}  // namespace Saturating

}  // namespace tarnwick
