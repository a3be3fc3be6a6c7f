#include "support/AppIdentity.h"
#include "support/JsonCoding.h"

#include "TestSupport.h"

#include <QFileInfo>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>

#include <limits>

using namespace tarnwick;

TEST(JsonCoding, UuidsDatesAndCompactOutputInTheStoredForm) {
    const QUuid id = QUuid::fromString(QStringLiteral("{6f9619ff-8b86-d011-b42d-00c04fc964ff}"));
    EXPECT_EQ(JsonCoding::uuidText(id), QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF"));
    EXPECT_EQ(JsonCoding::uuidFromText(JsonCoding::uuidText(id)), id);
    EXPECT_FALSE(JsonCoding::uuidFromText(QStringLiteral("{6f9619ff-8b86-d011-b42d-00c04fc964ff}")));
    EXPECT_FALSE(JsonCoding::uuidFromText(QStringLiteral("not-a-uuid")));

    // Dates count seconds from 2001; values outside any calendar are no date.
    const QDateTime reference(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
    EXPECT_DOUBLE_EQ(JsonCoding::dateValue(reference.addSecs(-60)), -60.0);
    EXPECT_EQ(JsonCoding::dateFromValue(86400.5), reference.addMSecs(86400500));
    EXPECT_FALSE(JsonCoding::dateFromValue(1e300).isValid());
    EXPECT_FALSE(JsonCoding::dateFromValue(std::nan("")).isValid());

    EXPECT_EQ(JsonCoding::compact(QJsonObject{{QStringLiteral("k"), QJsonArray{1, 2}}}), QByteArray(R"({"k":[1,2]})"));
    EXPECT_FALSE(JsonCoding::parseObject("[1]"));
    EXPECT_FALSE(JsonCoding::parseArray("{\"a\":"));
}

TEST(JsonCoding, ReaderRequiresEveryKeyWithItsTypeAndKeepsTheWhole64BitRange) {
    auto object = JsonCoding::parseObject(
        R"({"a":"x","b":true,"max":9223372036854775807,"min":-9223372036854775808,"exact":9007199254740993,)"
        R"("three":3.0,"over":9223372036854775808,"half":0.5,"huge":1e300})");
    ASSERT_TRUE(object);
    JsonObjectReader reader(*object);
    EXPECT_EQ(reader.string("a"), QStringLiteral("x"));
    EXPECT_TRUE(reader.boolean("b"));
    EXPECT_EQ(reader.int64("max"), std::numeric_limits<qint64>::max());
    EXPECT_EQ(reader.int64("min"), std::numeric_limits<qint64>::min());
    EXPECT_EQ(reader.int64("exact"), 9007199254740993LL);  // exact beyond 2^53
    EXPECT_EQ(reader.int64("three"), 3);
    EXPECT_FALSE(reader.optionalString("absent"));
    EXPECT_TRUE(reader.ok());
    const std::vector<std::function<void(JsonObjectReader&)>> failures = {
        [](JsonObjectReader& r) { r.int64("over"); }, [](JsonObjectReader& r) { r.int64("half"); },
        [](JsonObjectReader& r) { r.int64("huge"); }, [](JsonObjectReader& r) { r.string("absent"); },
        [](JsonObjectReader& r) { r.string("max"); }};
    for (size_t i = 0; i < failures.size(); ++i) {
        JsonObjectReader bad(*object);
        failures[i](bad);
        EXPECT_FALSE(bad.ok()) << i;
    }
}

TEST(AppIdentity, SupportFolderIsCreatedLegacyOneIsNotAndAFileInTheWayStillAnswers) {
    test::FakeEnvironment env;
    const QString support = AppIdentity::supportDirectory();
    EXPECT_EQ(support, env.support() + QStringLiteral("/Tarnwick"));
    EXPECT_TRUE(QFileInfo(support).isDir());
    EXPECT_EQ(AppIdentity::legacySupportDirectory(), env.support() + QStringLiteral("/Taldovane"));
    EXPECT_FALSE(QFileInfo::exists(AppIdentity::legacySupportDirectory()));

    test::FakeEnvironment other;
    test::writeFile(other.support() + QStringLiteral("/Tarnwick"), "a file in the way");
    EXPECT_EQ(AppIdentity::supportDirectory(), other.support() + QStringLiteral("/Tarnwick"));
}
