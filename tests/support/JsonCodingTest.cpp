#include "support/AppIdentity.h"
#include "support/AtomicFile.h"
#include "support/JsonCoding.h"

#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>
#include <gtest/gtest.h>

#include <limits>

using namespace tarnwick;

TEST(JsonCoding, UuidsAreUpperCaseWithoutBraces) {
    const QUuid id = QUuid::fromString(QStringLiteral("{6f9619ff-8b86-d011-b42d-00c04fc964ff}"));
    EXPECT_EQ(JsonCoding::uuidText(id), QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF"));
    EXPECT_EQ(JsonCoding::uuidFromText(JsonCoding::uuidText(id)), id);
    EXPECT_FALSE(JsonCoding::uuidFromText(QStringLiteral("{6f9619ff-8b86-d011-b42d-00c04fc964ff}")));
    EXPECT_FALSE(JsonCoding::uuidFromText(QStringLiteral("not-a-uuid")));
}

TEST(JsonCoding, DatesCountSecondsFrom2001) {
    const QDateTime reference(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
    EXPECT_DOUBLE_EQ(JsonCoding::dateValue(reference), 0.0);
    EXPECT_DOUBLE_EQ(JsonCoding::dateValue(reference.addSecs(-60)), -60.0);
    EXPECT_EQ(JsonCoding::dateFromValue(86400.5), reference.addMSecs(86400500));
    EXPECT_FALSE(JsonCoding::dateFromValue(1e300).isValid());
    EXPECT_FALSE(JsonCoding::dateFromValue(std::nan("")).isValid());
}

TEST(JsonCoding, ReaderRequiresEveryKeyWithItsType) {
    auto object = JsonCoding::parseObject(R"({"a":"x","n":9007199254740993,"f":1.5,"b":true})");
    ASSERT_TRUE(object);
    JsonObjectReader reader(*object);
    EXPECT_EQ(reader.string("a"), QStringLiteral("x"));
    EXPECT_EQ(reader.int64("n"), 9007199254740993LL);  // exact beyond 2^53
    EXPECT_TRUE(reader.boolean("b"));
    EXPECT_TRUE(reader.ok());
    reader.int64("f");  // fractional is no integer
    EXPECT_FALSE(reader.ok());

    JsonObjectReader missing(*object);
    missing.string("absent");
    EXPECT_FALSE(missing.ok());
    JsonObjectReader wrongType(*object);
    wrongType.string("n");
    EXPECT_FALSE(wrongType.ok());
    JsonObjectReader optional(*object);
    EXPECT_FALSE(optional.optionalString("absent"));
    EXPECT_TRUE(optional.ok());
}

TEST(JsonCoding, IntegersKeepTheWholeSixtyFourBitRange) {
    auto object = JsonCoding::parseObject(
        R"({"max":9223372036854775807,"min":-9223372036854775808,"zero":0,"three":3.0,)"
        R"("over":9223372036854775808,"half":0.5,"huge":1e300})");
    ASSERT_TRUE(object);
    JsonObjectReader reader(*object);
    EXPECT_EQ(reader.int64("max"), std::numeric_limits<qint64>::max());
    EXPECT_EQ(reader.int64("min"), std::numeric_limits<qint64>::min());
    EXPECT_EQ(reader.int64("zero"), 0);
    EXPECT_EQ(reader.int64("three"), 3);
    EXPECT_TRUE(reader.ok());
    for (const char* key : {"over", "half", "huge"}) {
        JsonObjectReader bad(*object);
        bad.int64(key);
        EXPECT_FALSE(bad.ok()) << key;
    }
}

TEST(JsonCoding, OutputIsCompact) {
    QJsonObject object{{QStringLiteral("k"), QJsonArray{1, 2}}};
    EXPECT_EQ(JsonCoding::compact(object), QByteArray(R"({"k":[1,2]})"));
    EXPECT_FALSE(JsonCoding::parseObject("[1]"));
    EXPECT_FALSE(JsonCoding::parseArray("{\"a\":"));
}

TEST(AtomicFile, WritesWholeFilesAndKeepsTheOldOneOnFailure) {
    test::FakeEnvironment env;
    const QString path = env.path(QStringLiteral("store.json"));
    ASSERT_TRUE(AtomicFile::write(path, "first"));
    ASSERT_TRUE(AtomicFile::write(path, "second"));
    EXPECT_EQ(AtomicFile::read(path).value_or(QByteArray()), QByteArray("second"));
    EXPECT_EQ(QDir(env.path()).entryList(QStringList{QStringLiteral("store.json*")}, QDir::Files | QDir::Hidden).size(), 1);

    QString error;
    EXPECT_FALSE(AtomicFile::write(env.path(QStringLiteral("missing/dir/x.json")), "x", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(AtomicFile::read(env.path(QStringLiteral("nothing"))));
    EXPECT_FALSE(AtomicFile::read(env.path()));  // a folder is no file
    EXPECT_FALSE(AtomicFile::read(path, 3));      // over the cap
}

TEST(AppIdentity, SupportFolderIsCreatedLegacyOneIsNot) {
    test::FakeEnvironment env;
    const QString support = AppIdentity::supportDirectory();
    EXPECT_EQ(support, env.support() + QStringLiteral("/Tarnwick"));
    EXPECT_TRUE(QFileInfo(support).isDir());
    EXPECT_EQ(AppIdentity::supportDirectory(), support);
    const QString legacy = AppIdentity::legacySupportDirectory();
    EXPECT_EQ(legacy, env.support() + QStringLiteral("/Taldovane"));
    EXPECT_FALSE(QFileInfo::exists(legacy));
    EXPECT_TRUE(AppIdentity::websiteURL().isValid());
}

TEST(AppIdentity, UncreatableSupportFolderStillAnswers) {
    test::FakeEnvironment env;
    test::writeFile(env.support() + QStringLiteral("/Tarnwick"), "a file in the way");
    EXPECT_EQ(AppIdentity::supportDirectory(), env.support() + QStringLiteral("/Tarnwick"));
}
