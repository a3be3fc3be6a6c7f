#include "platform/PathCodec.h"

#include <gtest/gtest.h>

#include <random>

namespace tarnwick {
namespace {

QByteArray roundTrip(const QByteArray& bytes) { return PathCodec::encode(PathCodec::decode(bytes)); }

TEST(PathCodec, ValidNamesDecodeAsTextAndInvalidBytesKeepTheirOwnIdentity) {
    EXPECT_EQ(PathCodec::decode(QByteArray("caf\xC3\xA9 \xF0\x9F\x93\x81")), QStringLiteral("caf\u00E9 \U0001F4C1"));
    EXPECT_FALSE(PathCodec::hasEscapedBytes(QStringLiteral("caf\u00E9 \U0001F4C1")));
    const QByteArray bad("bad\xFF.bin");
    const QByteArray lookalike("bad\xEF\xBF\xBD.bin");  // what a lossy decoder shows for it
    const QString decoded = PathCodec::decode(bad);
    EXPECT_NE(decoded, PathCodec::decode(lookalike));
    EXPECT_TRUE(PathCodec::hasEscapedBytes(decoded));
    EXPECT_EQ(PathCodec::encode(decoded), bad);
    EXPECT_EQ(roundTrip(lookalike), lookalike);
    // Overlong forms, encoded surrogates, values above U+10FFFF and cut sequences.
    for (const QByteArray& sample : {QByteArray("\xC0\xAF"), QByteArray("\xED\xB2\x80"), QByteArray("\xF4\x90\x80\x80"),
                                     QByteArray("x\xE2\x82"), QByteArray("\x80\x80\x80"), QByteArray("\xF0\x9F\x93")}) {
        EXPECT_EQ(roundTrip(sample), sample) << sample.toHex().constData();
        EXPECT_TRUE(PathCodec::hasEscapedBytes(PathCodec::decode(sample))) << sample.toHex().constData();
    }
}

TEST(PathCodec, EveryByteStringRoundTrips) {
    std::mt19937 random(7);
    for (int round = 0; round < 20000; ++round) {
        QByteArray bytes;
        const int length = static_cast<int>(random() % 12);
        for (int i = 0; i < length; ++i) {
            // Lean towards the bytes that make and break UTF-8 sequences.
            const unsigned pick = random() % 4;
            const unsigned value = pick == 0 ? random() % 0x80 : 0x80 + random() % 0x80;
            bytes.append(static_cast<char>(value == 0 ? 1 : value));
        }
        ASSERT_EQ(roundTrip(bytes), bytes) << bytes.toHex().constData();
    }
}

}  // namespace
}  // namespace tarnwick
