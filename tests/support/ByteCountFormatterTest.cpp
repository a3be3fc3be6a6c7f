#include "support/ByteCountFormatter.h"

#include <gtest/gtest.h>

#include <limits>

using namespace tarnwick;

namespace {
QString f(qint64 bytes) { return ByteCountFormatter::fileStyle(bytes); }
}  // namespace

TEST(ByteCountFormatter, ZeroAndBytes) {
    EXPECT_EQ(f(0), QStringLiteral("Zero KB"));
    EXPECT_EQ(f(1), QStringLiteral("1 byte"));
    EXPECT_EQ(f(2), QStringLiteral("2 bytes"));
    EXPECT_EQ(f(999), QStringLiteral("999 bytes"));
}

TEST(ByteCountFormatter, KilobytesHaveNoFractionAndRoundHalfAwayFromZero) {
    EXPECT_EQ(f(1000), QStringLiteral("1 KB"));
    EXPECT_EQ(f(1499), QStringLiteral("1 KB"));
    EXPECT_EQ(f(1500), QStringLiteral("2 KB"));
    EXPECT_EQ(f(2500), QStringLiteral("3 KB"));  // half away from zero, not to even
    EXPECT_EQ(f(999'499), QStringLiteral("999 KB"));
    EXPECT_EQ(f(999'500), QStringLiteral("1 MB"));  // rounds to 1000 KB
    EXPECT_EQ(f(999'999), QStringLiteral("1 MB"));
}

TEST(ByteCountFormatter, MegabytesHaveOneFractionDigit) {
    EXPECT_EQ(f(1'000'000), QStringLiteral("1 MB"));
    EXPECT_EQ(f(1'049'999), QStringLiteral("1 MB"));
    EXPECT_EQ(f(1'050'000), QStringLiteral("1.1 MB"));
    EXPECT_EQ(f(1'500'000), QStringLiteral("1.5 MB"));
    EXPECT_EQ(f(999'949'999), QStringLiteral("999.9 MB"));
    EXPECT_EQ(f(999'950'000), QStringLiteral("1 GB"));
}

TEST(ByteCountFormatter, LargerUnitsHaveTwoFractionDigits) {
    EXPECT_EQ(f(1'000'000'000), QStringLiteral("1 GB"));
    EXPECT_EQ(f(1'234'567'890), QStringLiteral("1.23 GB"));
    EXPECT_EQ(f(1'200'000'000), QStringLiteral("1.2 GB"));
    EXPECT_EQ(f(1'005'000'000), QStringLiteral("1.01 GB"));
    EXPECT_EQ(f(1'004'999'999), QStringLiteral("1 GB"));
    EXPECT_EQ(f(999'994'999'999), QStringLiteral("999.99 GB"));
    EXPECT_EQ(f(999'995'000'000), QStringLiteral("1 TB"));
    EXPECT_EQ(f(2'500'000'000'000), QStringLiteral("2.5 TB"));
    EXPECT_EQ(f(999'995'000'000'000), QStringLiteral("1 PB"));
    EXPECT_EQ(f(1'230'000'000'000'000), QStringLiteral("1.23 PB"));
    EXPECT_EQ(f(999'995'000'000'000'000), QStringLiteral("1 EB"));
    EXPECT_EQ(f(std::numeric_limits<qint64>::max()), QStringLiteral("9.22 EB"));
}

TEST(ByteCountFormatter, NegativeCountsKeepTheirSign) {
    EXPECT_EQ(f(-1), QStringLiteral("-1 byte"));
    EXPECT_EQ(f(-999), QStringLiteral("-999 bytes"));
    EXPECT_EQ(f(-5000), QStringLiteral("-5 KB"));
    EXPECT_EQ(f(-1500), QStringLiteral("-2 KB"));
    EXPECT_EQ(f(-999'500), QStringLiteral("-1 MB"));
    EXPECT_EQ(f(-1'500'000), QStringLiteral("-1.5 MB"));
    EXPECT_EQ(f(std::numeric_limits<qint64>::min()), QStringLiteral("-9.22 EB"));
}
