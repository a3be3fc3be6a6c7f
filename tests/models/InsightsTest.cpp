#include "models/InsightsBuilder.h"
#include "models/ScanInsights.h"

#include "TestSupport.h"
#include "platform/PathCodec.h"
#include "support/JsonCoding.h"

#include <QJsonArray>
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>

using namespace tarnwick;

namespace {

const QDateTime kNow = QDateTime(QDate(2026, 3, 15), QTime(12, 0), Qt::UTC);
constexpr qint64 kMiB2 = 2097152;
constexpr qint64 kKiB512 = 524288;

QStringList names(const QList<FileRecord>& list) {
    QStringList out;
    for (const auto& record : list) out << record.name;
    return out;
}

std::optional<QDateTime> daysAgo(int days) { return kNow.addSecs(-qint64(days) * 86400); }

class InsightsBuilderTest : public ::testing::Test {
protected:
    InsightsBuilderTest() { env.setNow(kNow); }
    test::FakeEnvironment env;
    InsightsBuilder builder;
};

}  // namespace

TEST_F(InsightsBuilderTest, KindsFollowTheTableAndTheLastExtensionAndCountFilesOfAtLeastOneByte) {
    // Any case, the last extension; none, a leading dot or a trailing dot is
    // "other"; an extension off the table is its own kind.
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"Photo.JPG", "images"}, {"README", "other"}, {"model.safetensors", "safetensors"}, {"a.PSD", "psd"},
        {"backup.tar.gz", "archives"}, {".profile", "other"}, {"notes.", "other"}, {"Ünïcode.ÄBC", "äbc"}};
    for (const auto& [name, kind] : cases) {
        EXPECT_EQ(InsightsBuilder::normalizeExtension(QString::fromUtf8(name)), QString::fromUtf8(kind)) << name;
    }
    // Both ways of offering a file count the same kinds.
    InsightsBuilder fast;
    const char* files[] = {"a.PSD", "b.psd", "Photo.JPG", "README", "x.images", "backup.tar.gz", ".profile",
                           "z.ÄBC", "y.äbc", "plain.thisisaveryveryveryveryveryveryveryveryveryverylongextension"};
    for (const char* name : files) {
        builder.consider(QString::fromUtf8(name), "/f/" + QString::fromUtf8(name), 10, std::nullopt);
        fast.consider(std::string_view(name), "/f", 10, std::nullopt);
    }
    builder.consider(QStringLiteral("empty.txt"), "/f/empty.txt", 0, std::nullopt);
    builder.consider(QStringLiteral("neg.txt"), "/f/neg.txt", -5, std::nullopt);
    const ScanInsights insights = builder.finalize();
    EXPECT_EQ(insights.types, fast.finalize().types);
    QHash<QString, qint64> counts;
    for (const auto& bucket : insights.types) counts[bucket.name] = bucket.count;
    EXPECT_EQ(counts, (QHash<QString, qint64>{{"psd", 2}, {"images", 2}, {"other", 2}, {"archives", 1}, {"äbc", 2},
                                              {"thisisaveryveryveryveryveryveryveryveryveryverylongextension", 1}}));
    EXPECT_EQ(insights.fileCount, 10);
    EXPECT_EQ(insights.totalFileBytes, 100);
    EXPECT_TRUE(insights.largest.isEmpty());
    EXPECT_EQ(builder.finalize(), insights);  // finalizing leaves the builder as it was
}

TEST_F(InsightsBuilderTest, LargestListMinimumCapAndTies) {
    builder.consider("below", "/below", kMiB2 - 1, kNow);
    builder.consider("exact", "/exact", kMiB2, kNow);
    EXPECT_EQ(names(builder.finalize().largest), QStringList{"exact"});

    builder = InsightsBuilder();
    builder.largestCap = 3;
    builder.consider("a", "/a", 5 * kMiB2, kNow);
    builder.consider("b", "/b", 3 * kMiB2, kNow);
    builder.consider("c", "/c", 5 * kMiB2, kNow);  // ties stand in offer order
    EXPECT_EQ(names(builder.finalize().largest), (QStringList{"a", "c", "b"}));
    builder.consider("d", "/d", 3 * kMiB2, kNow);  // as large as the last: dropped
    EXPECT_EQ(names(builder.finalize().largest), (QStringList{"a", "c", "b"}));
    builder.consider("e", "/e", 3 * kMiB2 + 1, kNow);  // one byte more: enters, b leaves
    builder.consider("f", "/f", 9 * kMiB2, kNow);
    EXPECT_EQ(names(builder.finalize().largest), (QStringList{"f", "a", "c"}));

    builder = InsightsBuilder();
    builder.largestCap = 0;
    builder.oldestCap = 0;
    builder.consider("g", "/g", 9 * kMiB2, daysAgo(1000));
    EXPECT_TRUE(builder.finalize().largest.isEmpty());
    EXPECT_TRUE(builder.finalize().oldest.isEmpty());
    EXPECT_EQ(builder.finalize().fileCount, 1);

    // The default cap of 120 against a reference list kept the simple way.
    builder = InsightsBuilder();
    std::vector<qint64> reference;
    std::mt19937 random(7);
    for (int i = 0; i < 5000; ++i) {
        reference.push_back(kMiB2 + static_cast<qint64>(random() % 300) * 1000);
        builder.consider(std::string_view("n"), "/", reference.back(), std::nullopt);
    }
    std::sort(reference.begin(), reference.end(), std::greater<>());
    const ScanInsights insights = builder.finalize();
    ASSERT_EQ(insights.largest.size(), 120);
    for (int i = 0; i < 120; ++i) EXPECT_EQ(insights.largest[i].size, reference[i]);
    EXPECT_EQ(insights.largest[0].path, "/n");
}

TEST_F(InsightsBuilderTest, OldestListAgeBoundaryOrderAndMissingDates) {
    builder.oldestCap = 3;
    const QDateTime boundary = kNow.addSecs(-7776000);
    builder.consider("exact", "/exact", kKiB512, boundary);
    builder.consider("young", "/young", kKiB512, boundary.addMSecs(1));
    builder.consider("small", "/small", kKiB512 - 1, daysAgo(1000));
    EXPECT_EQ(names(builder.finalize().oldest), QStringList{"exact"});
    builder.consider("old", "/old", kKiB512, daysAgo(500));
    builder.consider("tie", "/tie", kKiB512, boundary);  // same date as exact: after it
    builder.consider("tie2", "/tie2", kKiB512, boundary);  // full, not earlier than the last: dropped
    EXPECT_EQ(names(builder.finalize().oldest), (QStringList{"old", "exact", "tie"}));
    builder.consider(std::string_view("undated"), "/d", kMiB2, std::nullopt);
    const ScanInsights insights = builder.finalize();
    EXPECT_EQ(names(insights.oldest), (QStringList{"undated", "old", "exact"}));
    EXPECT_EQ(insights.oldest[0].modified, FileRecord::distantPast());
    EXPECT_EQ(JsonCoding::dateValue(FileRecord::distantPast()), -63114076800.0);
    // One record, one id, in both lists; the fast path joins the folder and the name.
    ASSERT_EQ(insights.largest.size(), 1);
    EXPECT_EQ(insights.largest[0], insights.oldest[0]);
    EXPECT_EQ(insights.largest[0].path, "/d/undated");
}

TEST_F(InsightsBuilderTest, TypesKeepTheFortyLargestKindsButCountEveryFile) {
    qint64 total = 1000;
    for (int kind = 0; kind < 50; ++kind) {
        const QString name = QStringLiteral("f.k%1").arg(kind);
        builder.consider(name, "/" + name, 100 + kind, std::nullopt);
        builder.consider(name, "/" + name, 100 + kind, std::nullopt);
        total += 2 * (100 + kind);
    }
    builder.consider(QStringLiteral("a.tie1"), "/a", 500, std::nullopt);
    builder.consider(QStringLiteral("a.tie2"), "/a", 500, std::nullopt);
    const ScanInsights insights = builder.finalize();
    EXPECT_EQ(insights.fileCount, 102);
    EXPECT_EQ(insights.totalFileBytes, total);
    ASSERT_EQ(insights.types.size(), 40);
    EXPECT_EQ(insights.types[0], (TypeBucket{"tie1", 500, 1}));
    EXPECT_EQ(insights.types[1].name, "tie2");
    EXPECT_EQ(insights.types[2], (TypeBucket{"k49", 298, 2}));
    EXPECT_EQ(insights.types[39].name, "k12");
}

TEST(FileRecord, AgeDescriptionTexts) {
    test::FakeEnvironment env;
    const QDateTime now = QDateTime(QDate(2026, 3, 15), QTime(12, 0)).toLocalTime();
    env.setNow(now);
    const std::vector<std::pair<QDateTime, const char*>> cases = {
        {now, "0d ago"}, {now.addDays(-29), "29d ago"},
        {now.addDays(-30).addSecs(1), "29d ago"},  // a partial day does not count
        {now.addDays(-30), "1mo ago"}, {now.addDays(-364), "12mo ago"}, {now.addDays(-365), "1.0y ago"},
        {now.addDays(-400), "1.1y ago"}, {now.addDays(3), "0d ago"}};
    for (const auto& [modified, text] : cases) {
        FileRecord record;
        record.modified = modified;
        EXPECT_EQ(record.ageDescription(), text);
    }
}

TEST_F(InsightsBuilderTest, JsonRoundTripAndStrictDecoding) {
    builder.consider("big.mov", "/m/big.mov", 3 * kMiB2, daysAgo(200));
    builder.consider(QStringLiteral("old.pdf"), "/m/old.pdf", kKiB512, std::nullopt);
    builder.consider("x", "/m/x", 7, kNow);
    const ScanInsights insights = builder.finalize();
    const QJsonObject json = insights.toJson();
    const QJsonObject record = json["largest"].toArray()[0].toObject();
    EXPECT_EQ(record["id"].toString(), JsonCoding::uuidText(insights.largest[0].id));
    EXPECT_DOUBLE_EQ(record["modified"].toDouble(), JsonCoding::dateValue(kNow) - 200 * 86400.0);

    const auto decoded = ScanInsights::fromJson(*JsonCoding::parseObject(JsonCoding::compact(json)));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, insights);
    EXPECT_EQ(ScanInsights::fromJson(ScanInsights::empty().toJson()), ScanInsights::empty());

    // Every key is required (a misspelt key in the writer fails here too) and typed.
    for (const char* key : {"largest", "oldest", "types", "fileCount", "totalFileBytes"}) {
        QJsonObject broken = json;
        broken.remove(key);
        EXPECT_FALSE(ScanInsights::fromJson(broken)) << key;
    }
    for (const char* key : {"id", "name", "path", "size", "modified", "fileExtension"}) {
        QJsonObject badRecord = record;
        badRecord.remove(key);
        QJsonObject broken = json;
        broken["largest"] = QJsonArray{badRecord};
        EXPECT_FALSE(ScanInsights::fromJson(broken)) << key;
    }
    for (const auto& [key, value] :
         {std::pair{"types", QJsonArray{QJsonObject{{"name", "x"}, {"size", "12"}, {"count", 1}}}},
          {"types", QJsonArray{QJsonObject{{"name", "x"}, {"size", 12}}}}, {"oldest", QJsonArray{1}}}) {
        QJsonObject broken = json;
        broken[key] = value;
        EXPECT_FALSE(ScanInsights::fromJson(broken)) << key;
    }
}

TEST_F(InsightsBuilderTest, NamesThatAreNotUtf8AndTotalsBeyondTheRange) {
    // The record names the file's real bytes, and the kind keeps them too.
    builder.consider(std::string_view("bad\xff.bin"), "/f", 3 * kMiB2, std::nullopt);
    builder.consider(std::string_view("x.\xe9T"), "/f", 10, std::nullopt);
    ScanInsights insights = builder.finalize();
    ASSERT_EQ(insights.largest.size(), 1);
    EXPECT_EQ(PathCodec::encode(insights.largest[0].path), QByteArray("/f/bad\xff.bin"));
    EXPECT_EQ(PathCodec::encode(insights.largest[0].name), QByteArray("bad\xff.bin"));
    QStringList kinds;
    for (const TypeBucket& bucket : insights.types) kinds << bucket.name;
    EXPECT_EQ(kinds, (QStringList{"bin", PathCodec::decode(QByteArray("\xe9t"))}));

    // Sizes near the 64-bit end never wrap into negative totals.
    constexpr qint64 kNearMax = std::numeric_limits<qint64>::max() - 5;
    InsightsBuilder huge, more;
    huge.consider(QStringLiteral("a.iso"), "/a.iso", kNearMax, std::nullopt);
    huge.consider(QStringLiteral("b.iso"), "/b.iso", kNearMax, std::nullopt);
    more.consider(QStringLiteral("c.iso"), "/c.iso", kNearMax, std::nullopt);
    huge.merge(more);
    insights = huge.finalize();
    EXPECT_EQ(insights.totalFileBytes, std::numeric_limits<qint64>::max());
    ASSERT_EQ(insights.types.size(), 1);
    EXPECT_EQ(insights.types[0], (TypeBucket{"iso", std::numeric_limits<qint64>::max(), 3}));
}
