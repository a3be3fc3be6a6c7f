#include "support/ByteCountFormatter.h"

#include <array>

namespace tarnwick::ByteCountFormatter {

namespace {

struct Unit {
    const char* name;
    quint64 size;           // bytes in one unit
    int fractionDigits;
};

constexpr std::array<Unit, 6> kUnits = {{
    {"KB", 1000ULL, 0},
    {"MB", 1000ULL * 1000, 1},
    {"GB", 1000ULL * 1000 * 1000, 2},
    {"TB", 1000ULL * 1000 * 1000 * 1000, 2},
    {"PB", 1000ULL * 1000 * 1000 * 1000 * 1000, 2},
    {"EB", 1000ULL * 1000 * 1000 * 1000 * 1000 * 1000, 2},
}};

quint64 powerOfTen(int exponent) {
    quint64 value = 1;
    while (exponent-- > 0) value *= 10;
    return value;
}

}  // namespace

QString fileStyle(qint64 bytes) {
    if (bytes == 0) return QStringLiteral("Zero KB");
    const QString sign = bytes < 0 ? QStringLiteral("-") : QString();
    // The magnitude in unsigned arithmetic, so the most negative count works too.
    const quint64 magnitude = bytes < 0 ? 0 - static_cast<quint64>(bytes) : static_cast<quint64>(bytes);
    if (magnitude < 1000) {
        return sign + QString::number(magnitude)
               + (magnitude == 1 ? QStringLiteral(" byte") : QStringLiteral(" bytes"));
    }

    for (std::size_t i = 0; i < kUnits.size(); ++i) {
        const Unit& unit = kUnits[i];
        // The amount in steps of the last shown digit, rounded half away from
        // zero in exact integer arithmetic (a step is a whole number of bytes
        // since each unit has at least three more digits than it shows).
        const quint64 scale = powerOfTen(unit.fractionDigits);
        const quint64 step = unit.size / scale;
        quint64 steps = magnitude / step;
        if ((magnitude % step) * 2 >= step) ++steps;
        // A thousand of this unit reads as the next one, when there is one.
        if (steps >= 1000 * scale && i + 1 < kUnits.size()) continue;

        QString text = QString::number(steps / scale);
        if (unit.fractionDigits > 0) {
            QString fraction =
                QStringLiteral("%1").arg(steps % scale, unit.fractionDigits, 10, QLatin1Char('0'));
            while (fraction.endsWith(QLatin1Char('0'))) fraction.chop(1);
            if (!fraction.isEmpty()) text += QLatin1Char('.') + fraction;
        }
        return sign + text + QLatin1Char(' ') + QLatin1String(unit.name);
    }
    return {};  // not reached: EB takes every remaining count
}

}  // namespace tarnwick::ByteCountFormatter
