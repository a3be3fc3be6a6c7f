#include "models/ActivityEvent.h"

#include "support/JsonCoding.h"

#include <gtest/gtest.h>

#include <limits>

using namespace tarnwick;

TEST(ActivityEvent, ReadsItsStoredFormExactlyAndRefusesMissingOrMistypedKeys) {
    // A stored event as the log holds it (unknown keys are ignored).
    const QByteArray stored =
        R"({"summary":"s","extra":1,"itemsAffected":2,"kind":"Apps","bytesFreed":10,)"
        R"("date":1.5,"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF"})";
    const auto read = ActivityEvent::fromJson(*JsonCoding::parseObject(stored));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->kind, QStringLiteral("Apps"));
    EXPECT_EQ(read->itemsAffected, 2);
    EXPECT_EQ(read->date, JsonCoding::dateFromValue(1.5));

    // What is written reads back, big byte counts exactly.
    ActivityEvent event;
    event.date = JsonCoding::dateFromValue(700000000.25);
    event.kind = QStringLiteral("Junk");
    event.summary = QStringLiteral("Cleaned 3 items");
    event.bytesFreed = std::numeric_limits<qint64>::max();
    event.itemsAffected = 3;
    EXPECT_EQ(ActivityEvent::fromJson(*JsonCoding::parseObject(JsonCoding::compact(event.toJson()))), event);

    for (const char* key : {"id", "date", "kind", "summary", "bytesFreed", "itemsAffected"}) {
        QJsonObject object = *JsonCoding::parseObject(stored);
        object.remove(QLatin1String(key));
        EXPECT_FALSE(ActivityEvent::fromJson(object)) << key;
    }
    // Wrong types, and a date far outside any calendar, are refused rather than misread.
    const std::vector<std::pair<const char*, QJsonValue>> mistyped = {
        {"bytesFreed", QStringLiteral("10")}, {"itemsAffected", 2.5}, {"id", QStringLiteral("not-a-uuid")},
        {"date", 1e300}};
    for (const auto& [key, value] : mistyped) {
        QJsonObject object = *JsonCoding::parseObject(stored);
        object.insert(QLatin1String(key), value);
        EXPECT_FALSE(ActivityEvent::fromJson(object)) << key;
    }
}
