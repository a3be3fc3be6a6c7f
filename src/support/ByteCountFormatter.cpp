#include "support/ByteCountFormatter.h"

#include <array>

namespace tarnwick::ByteCountFormatter {

namespace {

struct Unit {
    const char* name;
    int fractionDigits;
};

constexpr std::array<Unit, 6> kUnits = {{
    {"KB", 0}, {"MB", 1}, {"GB", 2}, {"TB", 2}, {"PB", 2}, {"EB", 2},
}};

quint64 power(quint64 base, int exponent) {
    quint64 value = 1;
    while (exponent-- > 0) value *= base;
    return value;
}

// The count in units of `base` bytes (1000 or 1024), by the rules of fileStyle().
QString format(qint64 bytes, quint64 base) {
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
        // zero in exact integer arithmetic (128 bits hold any count times 100).
        const quint64 scale = power(10, unit.fractionDigits);
        const unsigned __int128 size = power(base, static_cast<int>(i) + 1);
        const unsigned __int128 scaled = static_cast<unsigned __int128>(magnitude) * scale;
        const quint64 steps = static_cast<quint64>((2 * scaled + size) / (2 * size));
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

}  // namespace

QString fileStyle(qint64 bytes) {
    return format(bytes, 1000);
}

QString memoryStyle(qint64 bytes) {
    return format(bytes, 1024);
}

}  // namespace tarnwick::ByteCountFormatter
