#include "services/store/ActivityService.h"

#include "support/AppIdentity.h"
#include "support/AtomicFile.h"
#include "support/JsonCoding.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <gtest/gtest.h>

#include <limits>

using namespace tarnwick;

namespace {

const QDateTime kNow(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC);

ActivityEvent makeEvent(int secondsBeforeNow, const QString& summary, qint64 bytes = 0, qint64 items = 0) {
    ActivityEvent event;
    event.date = kNow.addSecs(-secondsBeforeNow);
    event.kind = QStringLiteral("Junk");
    event.summary = summary;
    event.bytesFreed = bytes;
    event.itemsAffected = items;
    return event;
}

QByteArray encode(const QList<ActivityEvent>& events) {
    QJsonArray array;
    for (const ActivityEvent& event : events) array.append(event.toJson());
    return JsonCoding::compact(array);
}

// `count` events, oldest first in the file, numbered by age: "e0" is the newest.
QList<ActivityEvent> eventsOldestFirst(int count) {
    QList<ActivityEvent> events;
    for (int age = count - 1; age >= 0; --age) events.append(makeEvent(60 * (age + 1), QStringLiteral("e%1").arg(age)));
    return events;
}

QStringList summaries(const QList<ActivityEvent>& events) {
    QStringList list;
    for (const ActivityEvent& event : events) list.append(event.summary);
    return list;
}

QStringList damagedCopies() {
    return QDir(AppIdentity::supportDirectory())
        .entryList({QStringLiteral("activity.json.damaged-*")}, QDir::Files, QDir::Name);
}

class ActivityServiceTest : public ::testing::Test {
protected:
    void SetUp() override { env.setNow(kNow); }
    test::FakeEnvironment env;
};

}  // namespace

TEST_F(ActivityServiceTest, LogsNewestFirstAndKeepsTheNewest200) {
    EXPECT_TRUE(ActivityService::list(100).isEmpty());
    EXPECT_FALSE(QFile::exists(ActivityService::filePath()));
    ActivityService::log(QStringLiteral("Maintenance"), QStringLiteral("Flush DNS cache: OK"), 0, 1);
    const auto first = ActivityService::list(100);
    ASSERT_EQ(first.size(), 1);
    EXPECT_EQ(first[0].kind, QStringLiteral("Maintenance"));
    EXPECT_EQ(first[0].date, kNow);
    EXPECT_EQ(first[0].itemsAffected, 1);
    EXPECT_TRUE(ActivityService::list(0).isEmpty());
    EXPECT_TRUE(ActivityService::list(-3).isEmpty());

    // Equal dates keep the file's order.
    test::writeFile(ActivityService::filePath(),
                    encode({makeEvent(500, QStringLiteral("old")), makeEvent(100, QStringLiteral("tie-a")),
                            makeEvent(10, QStringLiteral("new")), makeEvent(100, QStringLiteral("tie-b"))}));
    EXPECT_EQ(summaries(ActivityService::list(100)),
              (QStringList{QStringLiteral("new"), QStringLiteral("tie-a"), QStringLiteral("tie-b"),
                           QStringLiteral("old")}));

    test::writeFile(ActivityService::filePath(), encode(eventsOldestFirst(200)));
    ActivityService::log(QStringLiteral("Clutter"), QStringLiteral("new"), 5, 1);
    EXPECT_EQ(JsonCoding::parseArray(*AtomicFile::read(ActivityService::filePath()))->size(), 200);
    const auto events = ActivityService::list(500);
    ASSERT_EQ(events.size(), 200);
    EXPECT_EQ(events.last().summary, QStringLiteral("e198"));  // e199, the oldest, fell off
    EXPECT_EQ(summaries(ActivityService::list(2)), (QStringList{QStringLiteral("new"), QStringLiteral("e0")}));
}

TEST_F(ActivityServiceTest, ReadsTheLegacyFolderUntilTheFirstLog) {
    const QString legacy = test::writeFile(ActivityService::legacyFilePath(), encode(eventsOldestFirst(300)));
    const QByteArray legacyBytes = *AtomicFile::read(legacy);

    const auto events = ActivityService::list(500);
    ASSERT_EQ(events.size(), 300);
    EXPECT_EQ(events.first().summary, QStringLiteral("e0"));
    EXPECT_EQ(events.last().summary, QStringLiteral("e299"));

    ActivityService::log(QStringLiteral("Junk"), QStringLiteral("new"), 0, 0);
    const auto after = ActivityService::list(500);
    ASSERT_EQ(after.size(), 200);
    EXPECT_EQ(after.first().summary, QStringLiteral("new"));
    EXPECT_EQ(after.last().summary, QStringLiteral("e198"));
    EXPECT_EQ(*AtomicFile::read(legacy), legacyBytes);  // never written

    // From now on only the support folder's file counts.
    test::writeFile(legacy, encode({makeEvent(1, QStringLiteral("legacy-only"))}));
    EXPECT_FALSE(summaries(ActivityService::list(500)).contains(QStringLiteral("legacy-only")));
}

TEST_F(ActivityServiceTest, UndecodableLogIsSetAsideNotOverwritten) {
    test::writeFile(ActivityService::legacyFilePath(), encode({makeEvent(5, QStringLiteral("legacy"))}));
    // One event without "summary" spoils the whole file.
    QJsonArray array;
    array.append(makeEvent(10, QStringLiteral("kept")).toJson());
    QJsonObject bad = makeEvent(20, QStringLiteral("bad")).toJson();
    bad.remove(QStringLiteral("summary"));
    array.append(bad);
    const QByteArray damaged = JsonCoding::compact(array);
    test::writeFile(ActivityService::filePath(), damaged);

    EXPECT_TRUE(ActivityService::list(100).isEmpty());  // and the legacy file is not tried
    EXPECT_EQ(ActivityService::lifetimeItems(), 0);

    ActivityService::log(QStringLiteral("Junk"), QStringLiteral("after"), 1, 1);
    EXPECT_EQ(summaries(ActivityService::list(100)), QStringList{QStringLiteral("after")});
    const QStringList copies = damagedCopies();
    ASSERT_EQ(copies, QStringList{QStringLiteral("activity.json.damaged-") +
                                  kNow.toLocalTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))});
    EXPECT_EQ(*AtomicFile::read(AppIdentity::supportDirectory() + QLatin1Char('/') + copies[0]), damaged);

    // A second damaged file in the same second gets a name of its own.
    test::writeFile(ActivityService::filePath(), "{not json");
    ActivityService::log(QStringLiteral("Junk"), QStringLiteral("again"), 1, 1);
    EXPECT_EQ(damagedCopies().size(), 2);
    EXPECT_EQ(summaries(ActivityService::list(100)), QStringList{QStringLiteral("again")});

    // A healthy log is simply rewritten; nothing more is set aside.
    ActivityService::log(QStringLiteral("Junk"), QStringLiteral("third"), 1, 1);
    EXPECT_EQ(damagedCopies().size(), 2);
    EXPECT_EQ(ActivityService::list(100).size(), 2);
}

TEST_F(ActivityServiceTest, UnreadableLogIsSetAsideToo) {
    // A folder in the file's place cannot be read as a log; the legacy file
    // stands in for it and the folder is moved aside at the next log.
    test::writeFile(ActivityService::filePath() + QStringLiteral("/inner"), "x");
    test::writeFile(ActivityService::legacyFilePath(), encode({makeEvent(5, QStringLiteral("legacy"))}));
    EXPECT_EQ(summaries(ActivityService::list(10)), QStringList{QStringLiteral("legacy")});
    ActivityService::log(QStringLiteral("Junk"), QStringLiteral("new"), 0, 0);
    EXPECT_EQ(summaries(ActivityService::list(10)), (QStringList{QStringLiteral("new"), QStringLiteral("legacy")}));
    const QStringList aside = QDir(AppIdentity::supportDirectory())
                                  .entryList({QStringLiteral("activity.json.damaged-*")}, QDir::Dirs);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_TRUE(QFile::exists(AppIdentity::supportDirectory() + QLatin1Char('/') + aside[0] + QStringLiteral("/inner")));
}

TEST_F(ActivityServiceTest, LifetimeSumsSaturate) {
    constexpr qint64 kMax = std::numeric_limits<qint64>::max();
    constexpr qint64 kMin = std::numeric_limits<qint64>::min();
    // The sum is exact while it fits, whatever the order of the terms, and holds at the ends otherwise.
    const std::vector<std::pair<std::vector<qint64>, qint64>> cases = {
        {{1000, 24}, 1024}, {{kMax, kMax, -5}, kMax}, {{kMax, 10, -20}, kMax - 10}, {{kMin, -1}, kMin}};
    for (const auto& [terms, sum] : cases) {
        SCOPED_TRACE(sum);
        QList<ActivityEvent> events;
        for (qint64 term : terms) events.append(makeEvent(int(events.size()) + 1, QStringLiteral("e"), term, term));
        test::writeFile(ActivityService::filePath(), encode(events));
        EXPECT_EQ(ActivityService::lifetimeBytesFreed(), sum);
        EXPECT_EQ(ActivityService::lifetimeItems(), sum);
    }
}
