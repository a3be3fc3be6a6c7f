#include "support/ByteCountFormatter.h"

#include <gtest/gtest.h>

#include <limits>

using namespace tarnwick;

// Each unit at its rounding edges: no fraction for KB, one digit for MB, two beyond;
// halves round away from zero and a count that rounds to 1000 moves up a unit.
TEST(ByteCountFormatter, RoundsAtEachUnitBoundary) {
    const std::vector<std::pair<qint64, const char*>> cases = {
        {0, "Zero KB"}, {1, "1 byte"}, {999, "999 bytes"}, {1499, "1 KB"},
        {2500, "3 KB"},  // half away from zero, not to even
        {999'499, "999 KB"}, {999'500, "1 MB"}, {1'049'999, "1 MB"}, {1'050'000, "1.1 MB"},
        {999'949'999, "999.9 MB"}, {999'950'000, "1 GB"}, {1'234'567'890, "1.23 GB"}, {1'200'000'000, "1.2 GB"},
        {1'005'000'000, "1.01 GB"}, {1'004'999'999, "1 GB"}, {999'994'999'999, "999.99 GB"},
        {999'995'000'000, "1 TB"}, {999'995'000'000'000, "1 PB"}, {999'995'000'000'000'000, "1 EB"},
        {std::numeric_limits<qint64>::max(), "9.22 EB"}, {-1, "-1 byte"}, {-999, "-999 bytes"}, {-1500, "-2 KB"},
        {-999'500, "-1 MB"}, {-1'500'000, "-1.5 MB"}, {std::numeric_limits<qint64>::min(), "-9.22 EB"},
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(ByteCountFormatter::fileStyle(bytes), QString::fromUtf8(text)) << bytes;
    }
}

TEST(ByteCountFormatter, MemoryStyleCountsInBinaryUnits) {
    const std::vector<std::pair<qint64, const char*>> cases = {
        {0, "Zero KB"}, {999, "999 bytes"}, {1024, "1 KB"}, {1535, "1 KB"}, {1536, "2 KB"},
        {1000LL * 1024 - 513, "999 KB"}, {1000LL * 1024 - 512, "1 MB"},  // 1000 KB reads as the next unit
        {8LL << 30, "8 GB"}, {(15LL << 30) + (600LL << 20), "15.59 GB"}, {std::numeric_limits<qint64>::max(), "8 EB"},
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(ByteCountFormatter::memoryStyle(bytes), QString::fromUtf8(text)) << bytes;
    }
}
