#pragma once

#include <QtGlobal>

#include <limits>

namespace tarnwick {

// Byte counts and item counts read from files or measured on disk are summed
// without wrapping: a sum beyond the 64-bit range is held at that range's end.
namespace Saturating {

inline qint64 clamp(__int128 value) {
    if (value > std::numeric_limits<qint64>::max()) return std::numeric_limits<qint64>::max();
    if (value < std::numeric_limits<qint64>::min()) return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(value);
}

inline qint64 add(qint64 a, qint64 b) {
    return clamp(static_cast<__int128>(a) + b);
}

// A running sum of any number of terms, kept exact and held at the range's
// ends only when read, so the order of the terms does not change the result.
class Total {
public:
    void add(qint64 value) { sum_ += value; }
    qint64 value() const { return clamp(sum_); }

private:
    __int128 sum_ = 0;
};

}  // namespace Saturating

}  // namespace tarnwick
