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

ActivityEvent makeEvent(int secondsBeforeNow, const QString& summary, qint64 bytes = 0) {
    ActivityEvent event;
    event.date = kNow.addSecs(-secondsBeforeNow);
    event.kind = "Junk";
    event.summary = summary;
    event.bytesFreed = event.itemsAffected = bytes;
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

QStringList setAside(QDir::Filters filters = QDir::Files) {
    return QDir(AppIdentity::supportDirectory()).entryList({"activity.json.damaged-*"}, filters, QDir::Name);
}

class ActivityServiceTest : public ::testing::Test {
protected:
    void SetUp() override { env.setNow(kNow); }
    test::FakeEnvironment env;
};

}  // namespace

// Newest first (equal dates keep the file's order), the newest 200 kept;
// the legacy folder's log is read until the first log, and never written.
TEST_F(ActivityServiceTest, LogsNewestFirstKeepsTheNewest200AndReadsTheLegacyLogUntilTheFirst) {
    test::writeFile(ActivityService::filePath(), encode({makeEvent(500, "old"), makeEvent(100, "tie-a"),
                                                         makeEvent(10, "new"), makeEvent(100, "tie-b")}));
    EXPECT_EQ(summaries(ActivityService::list(100)), (QStringList{"new", "tie-a", "tie-b", "old"}));
    QFile::remove(ActivityService::filePath());

    const QString legacy = test::writeFile(ActivityService::legacyFilePath(), encode(eventsOldestFirst(300)));
    const QByteArray legacyBytes = *AtomicFile::read(legacy);
    EXPECT_EQ(ActivityService::list(500).size(), 300);
    ActivityService::log("Junk", "new", 0, 0);
    const auto after = ActivityService::list(500);
    ASSERT_EQ(after.size(), 200);
    EXPECT_EQ(after.first().summary, "new");
    EXPECT_EQ(after.first().date, kNow);
    EXPECT_EQ(after.last().summary, "e198");
    EXPECT_EQ(JsonCoding::parseArray(*AtomicFile::read(ActivityService::filePath()))->size(), 200);
    EXPECT_EQ(*AtomicFile::read(legacy), legacyBytes) << "never written";
    test::writeFile(legacy, encode({makeEvent(1, "legacy-only")}));
    EXPECT_FALSE(summaries(ActivityService::list(500)).contains("legacy-only")) << "only the new file counts now";
    EXPECT_EQ(summaries(ActivityService::list(2)), (QStringList{"new", "e0"}));
}

TEST_F(ActivityServiceTest, AnUndecodableOrUnreadableLogIsSetAsideNotOverwritten) {
    test::writeFile(ActivityService::legacyFilePath(), encode({makeEvent(5, "legacy")}));
    // One event without "summary" spoils the whole file.
    QJsonArray array;
    array.append(makeEvent(10, "kept").toJson());
    QJsonObject bad = makeEvent(20, "bad").toJson();
    bad.remove("summary");
    array.append(bad);
    const QByteArray damaged = JsonCoding::compact(array);
    test::writeFile(ActivityService::filePath(), damaged);
    EXPECT_TRUE(ActivityService::list(100).isEmpty()) << "and the legacy file is not tried";
    EXPECT_EQ(ActivityService::lifetimeItems(), 0);

    ActivityService::log("Junk", "after", 1, 1);
    EXPECT_EQ(summaries(ActivityService::list(100)), QStringList{"after"});
    ASSERT_EQ(setAside(), QStringList{"activity.json.damaged-" + kNow.toLocalTime().toString("yyyyMMdd-HHmmss")});
    EXPECT_EQ(*AtomicFile::read(AppIdentity::supportDirectory() + '/' + setAside()[0]), damaged);

    // A second damaged file in the same second gets a name of its own.
    test::writeFile(ActivityService::filePath(), "{not json");
    ActivityService::log("Junk", "again", 1, 1);
    EXPECT_EQ(setAside().size(), 2);
    // A healthy log is simply rewritten; nothing more is set aside.
    ActivityService::log("Junk", "third", 1, 1);
    EXPECT_EQ(setAside().size(), 2);
    EXPECT_EQ(summaries(ActivityService::list(100)), (QStringList{"third", "again"}));

    // A folder in the file's place cannot be read as a log: the legacy file
    // stands in for it and the folder is moved aside at the next log.
    QFile::remove(ActivityService::filePath());
    test::writeFile(ActivityService::filePath() + "/inner", "x");
    EXPECT_EQ(summaries(ActivityService::list(10)), QStringList{"legacy"});
    ActivityService::log("Junk", "new", 0, 0);
    EXPECT_EQ(summaries(ActivityService::list(10)), (QStringList{"new", "legacy"}));
    const QStringList folders = setAside(QDir::Dirs);
    ASSERT_EQ(folders.size(), 1);
    EXPECT_TRUE(QFile::exists(AppIdentity::supportDirectory() + '/' + folders[0] + "/inner"));
}

TEST_F(ActivityServiceTest, LifetimeSumsSaturate) {
    constexpr qint64 kMax = std::numeric_limits<qint64>::max();
    constexpr qint64 kMin = std::numeric_limits<qint64>::min();
    // Exact while it fits, whatever the order of the terms; held at the ends otherwise.
    const std::vector<std::pair<std::vector<qint64>, qint64>> cases = {
        {{1000, 24}, 1024}, {{kMax, kMax, -5}, kMax}, {{kMax, 10, -20}, kMax - 10}, {{kMin, -1}, kMin}};
    for (const auto& [terms, sum] : cases) {
        QList<ActivityEvent> events;
        for (qint64 term : terms) events.append(makeEvent(int(events.size()) + 1, "e", term));
        test::writeFile(ActivityService::filePath(), encode(events));
        EXPECT_EQ(ActivityService::lifetimeBytesFreed(), sum);
        EXPECT_EQ(ActivityService::lifetimeItems(), sum);
    }
}
