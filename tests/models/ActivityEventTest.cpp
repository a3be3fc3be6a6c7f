#include "models/ActivityEvent.h"

#include "support/JsonCoding.h"

#include <gtest/gtest.h>

#include <limits>

using namespace tarnwick;

TEST(ActivityEvent, StoresTheSixFieldsAndReadsThemBack) {
    ActivityEvent event;
    event.date = JsonCoding::dateFromValue(700000000.25);
    event.kind = QStringLiteral("Junk");
    event.summary = QStringLiteral("Cleaned 3 items");
    event.bytesFreed = std::numeric_limits<qint64>::max();
    event.itemsAffected = 3;

    const QJsonObject object = event.toJson();
    EXPECT_EQ(object.keys(), (QStringList{QStringLiteral("bytesFreed"), QStringLiteral("date"),
                                          QStringLiteral("id"), QStringLiteral("itemsAffected"),
                                          QStringLiteral("kind"), QStringLiteral("summary")}));
    EXPECT_EQ(object.value(QStringLiteral("id")).toString(), JsonCoding::uuidText(event.id));
    EXPECT_DOUBLE_EQ(object.value(QStringLiteral("date")).toDouble(), 700000000.25);
    // Big byte counts survive the text form exactly.
    const auto reparsed = JsonCoding::parseObject(JsonCoding::compact(object));
    ASSERT_TRUE(reparsed);
    EXPECT_EQ(ActivityEvent::fromJson(*reparsed), event);
}

TEST(ActivityEvent, RejectsMissingOrMistypedKeysAndIgnoresOthers) {
    const QByteArray good =
        R"({"summary":"s","extra":1,"itemsAffected":2,"kind":"Apps","bytesFreed":10,)"
        R"("date":1.5,"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF"})";
    auto event = ActivityEvent::fromJson(*JsonCoding::parseObject(good));
    ASSERT_TRUE(event);
    EXPECT_EQ(event->kind, QStringLiteral("Apps"));
    EXPECT_EQ(event->itemsAffected, 2);

    auto without = [&](const char* key) {
        QJsonObject object = *JsonCoding::parseObject(good);
        object.remove(QLatin1String(key));
        return ActivityEvent::fromJson(object);
    };
    for (const char* key : {"id", "date", "kind", "summary", "bytesFreed", "itemsAffected"}) {
        EXPECT_FALSE(without(key)) << key;
    }
    QJsonObject mistyped = *JsonCoding::parseObject(good);
    mistyped.insert(QStringLiteral("bytesFreed"), QStringLiteral("10"));
    EXPECT_FALSE(ActivityEvent::fromJson(mistyped));
    mistyped = *JsonCoding::parseObject(good);
    mistyped.insert(QStringLiteral("itemsAffected"), 2.5);
    EXPECT_FALSE(ActivityEvent::fromJson(mistyped));
    mistyped = *JsonCoding::parseObject(good);
    mistyped.insert(QStringLiteral("id"), QStringLiteral("not-a-uuid"));
    EXPECT_FALSE(ActivityEvent::fromJson(mistyped));
    // A date far outside any calendar is refused rather than misread.
    mistyped = *JsonCoding::parseObject(good);
    mistyped.insert(QStringLiteral("date"), 1e300);
    EXPECT_FALSE(ActivityEvent::fromJson(mistyped));
}
