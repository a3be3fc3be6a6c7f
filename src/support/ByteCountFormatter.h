#pragma once

#include <QString>
#include <QtGlobal>

namespace tarnwick {

// Byte counts as the user reads them: file style in decimal units (1 KB is
// 1000 bytes), memory style in binary ones; English words, "." as the
// decimal point, no grouping.
namespace ByteCountFormatter {

// "Zero KB" for 0; "1 byte" and "N bytes" below 1000; then KB with no
// fraction digits, MB with one and GB, TB, PB and EB with two, trailing
// fraction zeros dropped ("1 MB", "1.5 MB", "1.2 GB", "1.23 GB").
// Rounding is half away from zero in whole numbers (999,500 bytes is
// 999.5 KB, which rounds up); an amount that rounds to 1000 of its unit is
// shown in the next unit (999,500 bytes -> "1 MB", 999,499 -> "999 KB").
// A negative count keeps its sign and is otherwise treated like its
// magnitude: "-1 byte", "-5 KB".
QString fileStyle(qint64 bytes);
// The same rules in binary units, as memory is counted: 1 KB is 1024 bytes,
// 1 MB is 1024 KB, and so on ("8 GB" for 8 GiB of memory).
QString memoryStyle(qint64 bytes);

}  // namespace ByteCountFormatter

}  // namespace tarnwick
