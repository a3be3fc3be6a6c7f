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
    // Wrong types, and a date far outside any calendar, are refused rather than misread.
    const std::vector<std::pair<const char*, QJsonValue>> mistyped = {
        {"bytesFreed", QStringLiteral("10")}, {"itemsAffected", 2.5}, {"id", QStringLiteral("not-a-uuid")},
        {"date", 1e300}};
    for (const auto& [key, value] : mistyped) {
        QJsonObject object = *JsonCoding::parseObject(good);
        object.insert(QLatin1String(key), value);
        EXPECT_FALSE(ActivityEvent::fromJson(object)) << key;
    }
}
