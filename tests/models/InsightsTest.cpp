#include "models/CollectorItem.h"
#include "models/InsightsBuilder.h"
#include "models/ScanInsights.h"

#include "TestSupport.h"
#include "platform/PathCodec.h"
#include "support/JsonCoding.h"

#include <QJsonArray>
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <numeric>
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

}  // namespace

TEST(InsightsBuilder, KindsFollowTheTableAndTheLastExtension) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"Photo.JPG", "images"}, {"README", "other"}, {"model.safetensors", "safetensors"}, {"a.PSD", "psd"},
        {"backup.tar.gz", "archives"}, {".profile", "other"}, {"notes.", "other"}, {"Keynote.KEY", "documents"},
        {"Tool.app", "apps"}, {"x.m", "source"}, {"clip.WEBM", "video"}, {"song.Flac", "audio"},
        {"Ünïcode.ÄBC", "äbc"}};
    for (const auto& [name, kind] : cases) {
        EXPECT_EQ(InsightsBuilder::normalizeExtension(QString::fromUtf8(name)), QString::fromUtf8(kind)) << name;
    }
    // Both ways of offering a file count the same kinds; kind names key the totals.
    test::FakeEnvironment env;
    env.setNow(kNow);
    InsightsBuilder slow;
    InsightsBuilder fast;
    const char* files[] = {"a.PSD", "b.psd", "Photo.JPG", "README", "x.images", "backup.tar.gz",
                           ".profile", "z.ÄBC", "y.äbc", "plain.thisisaveryveryveryveryveryveryveryveryveryverylongextension"};
    for (const char* name : files) {
        slow.consider(QString::fromUtf8(name), "/f/" + QString::fromUtf8(name), 10, std::nullopt);
        fast.consider(std::string_view(name), "/f", 10, std::nullopt);
    }
    const ScanInsights a = slow.finalize();
    const ScanInsights b = fast.finalize();
    EXPECT_EQ(a.types, b.types);
    QHash<QString, qint64> counts;
    for (const auto& bucket : a.types) counts[bucket.name] = bucket.count;
    EXPECT_EQ(counts.size(), 6);
    EXPECT_EQ(counts["psd"], 2);
    EXPECT_EQ(counts["images"], 2);
    EXPECT_EQ(counts["other"], 2);
    EXPECT_EQ(counts["archives"], 1);
    EXPECT_EQ(counts["äbc"], 2);
}

TEST(InsightsBuilder, CountsEveryFileOfAtLeastOneByte) {
    test::FakeEnvironment env;
    env.setNow(kNow);
    InsightsBuilder builder;
    builder.consider(QStringLiteral("empty.txt"), "/x/empty.txt", 0, std::nullopt);
    builder.consider(QStringLiteral("neg.txt"), "/x/neg.txt", -5, std::nullopt);
    EXPECT_EQ(builder.finalize(), ScanInsights::empty());
    builder.consider(QStringLiteral("a.txt"), "/x/a.txt", 100, std::nullopt);
    builder.consider(std::string_view("b.txt"), "/x", 50, std::nullopt);
    const ScanInsights insights = builder.finalize();
    EXPECT_EQ(insights.fileCount, 2);
    EXPECT_EQ(insights.totalFileBytes, 150);
    ASSERT_EQ(insights.types.size(), 1);
    EXPECT_EQ(insights.types[0], (TypeBucket{"documents", 150, 2}));
    EXPECT_TRUE(insights.largest.isEmpty());
    EXPECT_TRUE(insights.oldest.isEmpty());
    EXPECT_EQ(builder.finalize(), insights);  // finalizing leaves the builder as it was
}

TEST(InsightsBuilder, LargestListMinimumCapAndTies) {
    test::FakeEnvironment env;
    env.setNow(kNow);
    InsightsBuilder builder;
    builder.consider("below", "/below", kMiB2 - 1, kNow);
    builder.consider("exact", "/exact", kMiB2, kNow);
    ScanInsights insights = builder.finalize();
    ASSERT_EQ(names(insights.largest), QStringList{"exact"});
    EXPECT_EQ(insights.largest[0].path, "/exact");
    EXPECT_EQ(insights.largest[0].fileExtension, "other");

    builder = InsightsBuilder();
    builder.largestCap = 3;
    builder.consider("a", "/a", 5 * kMiB2, kNow);
    builder.consider("b", "/b", 3 * kMiB2, kNow);
    builder.consider("c", "/c", 5 * kMiB2, kNow);  // ties stand in offer order
    EXPECT_EQ(names(builder.finalize().largest), (QStringList{"a", "c", "b"}));
    builder.consider("d", "/d", 3 * kMiB2, kNow);  // as large as the last: dropped
    EXPECT_EQ(names(builder.finalize().largest), (QStringList{"a", "c", "b"}));
    builder.consider("e", "/e", 3 * kMiB2 + 1, kNow);  // one byte more: enters, b leaves
    EXPECT_EQ(names(builder.finalize().largest), (QStringList{"a", "c", "e"}));
    builder.consider("f", "/f", 9 * kMiB2, kNow);
    EXPECT_EQ(names(builder.finalize().largest), (QStringList{"f", "a", "c"}));

    builder = InsightsBuilder();
    builder.largestCap = 0;
    builder.oldestCap = 0;
    builder.consider("g", "/g", 9 * kMiB2, daysAgo(1000));
    EXPECT_TRUE(builder.finalize().largest.isEmpty());
    EXPECT_TRUE(builder.finalize().oldest.isEmpty());
    EXPECT_EQ(builder.finalize().fileCount, 1);

    // The walker's default cap of 120 against a reference list kept the simple way.
    builder = InsightsBuilder();
    std::vector<std::pair<qint64, int>> reference;
    std::mt19937 random(7);
    for (int i = 0; i < 5000; ++i) {
        const qint64 size = kMiB2 + static_cast<qint64>(random() % 300) * 1000;
        builder.consider(std::string_view("n"), "/", size, std::nullopt);
        reference.emplace_back(size, i);
    }
    std::stable_sort(reference.begin(), reference.end(), [](auto& a, auto& b) { return a.first > b.first; });
    insights = builder.finalize();
    ASSERT_EQ(insights.largest.size(), 120);
    for (int i = 0; i < 120; ++i) EXPECT_EQ(insights.largest[i].size, reference[i].first);
    EXPECT_EQ(insights.largest[0].path, "/n");
}

TEST(InsightsBuilder, OldestListAgeBoundaryOrderAndMissingDates) {
    test::FakeEnvironment env;
    env.setNow(kNow);
    InsightsBuilder builder;
    builder.oldestCap = 3;
    const QDateTime boundary = kNow.addSecs(-7776000);
    builder.consider("exact", "/exact", kKiB512, boundary);
    builder.consider("young", "/young", kKiB512, boundary.addMSecs(1));
    builder.consider("small", "/small", kKiB512 - 1, daysAgo(1000));
    ScanInsights insights = builder.finalize();
    ASSERT_EQ(names(insights.oldest), QStringList{"exact"});
    EXPECT_EQ(insights.oldest[0].modified, boundary);
    EXPECT_TRUE(insights.largest.isEmpty());

    builder.consider("old", "/old", kKiB512, daysAgo(500));
    builder.consider("tie", "/tie", kKiB512, boundary);  // same date as exact: after it
    EXPECT_EQ(names(builder.finalize().oldest), (QStringList{"old", "exact", "tie"}));
    builder.consider("tie2", "/tie2", kKiB512, boundary);  // full, not earlier than the last: dropped
    EXPECT_EQ(names(builder.finalize().oldest), (QStringList{"old", "exact", "tie"}));
    builder.consider(std::string_view("undated"), "/d", kMiB2, std::nullopt);
    insights = builder.finalize();
    EXPECT_EQ(names(insights.oldest), (QStringList{"undated", "old", "exact"}));
    EXPECT_EQ(insights.oldest[0].modified, FileRecord::distantPast());
    EXPECT_EQ(JsonCoding::dateValue(FileRecord::distantPast()), -63114076800.0);
    // One record, one id, in both lists; the fast path joins the folder and the name.
    ASSERT_EQ(insights.largest.size(), 1);
    EXPECT_EQ(insights.largest[0], insights.oldest[0]);
    EXPECT_EQ(insights.largest[0].path, "/d/undated");
}

TEST(InsightsBuilder, TypesKeepTheFortyLargestKindsButCountEveryFile) {
    test::FakeEnvironment env;
    env.setNow(kNow);
    InsightsBuilder builder;
    for (int kind = 0; kind < 50; ++kind) {
        const QString name = QStringLiteral("f.k%1").arg(kind);
        builder.consider(name, "/" + name, 100 + kind, std::nullopt);
        builder.consider(name, "/" + name, 100 + kind, std::nullopt);
    }
    builder.consider(QStringLiteral("a.tie1"), "/a", 500, std::nullopt);
    builder.consider(QStringLiteral("a.tie2"), "/a", 500, std::nullopt);
    const ScanInsights insights = builder.finalize();
    EXPECT_EQ(insights.fileCount, 102);
    qint64 total = 1000;
    for (int kind = 0; kind < 50; ++kind) total += 2 * (100 + kind);
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
    auto age = [&](const QDateTime& modified) {
        FileRecord record;
        record.modified = modified;
        return record.ageDescription();
    };
    EXPECT_EQ(age(now), "0d ago");
    EXPECT_EQ(age(now.addDays(-29)), "29d ago");
    EXPECT_EQ(age(now.addDays(-30).addSecs(1)), "29d ago");  // a partial day does not count
    EXPECT_EQ(age(now.addDays(-30)), "1mo ago");
    EXPECT_EQ(age(now.addDays(-364)), "12mo ago");
    EXPECT_EQ(age(now.addDays(-365)), "1.0y ago");
    EXPECT_EQ(age(now.addDays(-400)), "1.1y ago");
    EXPECT_EQ(age(now.addDays(3)), "0d ago");
    EXPECT_TRUE(age(FileRecord::distantPast()).endsWith("y ago"));
}

TEST(ScanInsights, JsonRoundTripAndStrictDecoding) {
    test::FakeEnvironment env;
    env.setNow(kNow);
    InsightsBuilder builder;
    builder.consider("big.mov", "/m/big.mov", 3 * kMiB2, daysAgo(200));
    builder.consider(QStringLiteral("old.pdf"), "/m/old.pdf", kKiB512, std::nullopt);
    builder.consider("x", "/m/x", 7, kNow);
    const ScanInsights insights = builder.finalize();
    const QJsonObject json = insights.toJson();

    EXPECT_EQ(json.keys(), (QStringList{"fileCount", "largest", "oldest", "totalFileBytes", "types"}));
    const QJsonObject record = json["largest"].toArray()[0].toObject();
    EXPECT_EQ(record.keys(), (QStringList{"fileExtension", "id", "modified", "name", "path", "size"}));
    EXPECT_EQ(record["id"].toString(), insights.largest[0].id.toString(QUuid::WithoutBraces).toUpper());
    EXPECT_EQ(record["fileExtension"].toString(), "video");
    EXPECT_DOUBLE_EQ(record["modified"].toDouble(), JsonCoding::dateValue(kNow) - 200 * 86400.0);
    EXPECT_EQ(json["types"].toArray()[0].toObject().keys(), (QStringList{"count", "name", "size"}));

    const auto decoded = ScanInsights::fromJson(*JsonCoding::parseObject(JsonCoding::compact(json)));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, insights);
    EXPECT_EQ(ScanInsights::fromJson(ScanInsights::empty().toJson()), ScanInsights::empty());

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
    QJsonObject wrongType = json;
    wrongType["types"] = QJsonArray{QJsonObject{{"name", "x"}, {"size", "12"}, {"count", 1}}};
    EXPECT_FALSE(ScanInsights::fromJson(wrongType));
    wrongType = json;
    wrongType["oldest"] = QJsonArray{1};
    EXPECT_FALSE(ScanInsights::fromJson(wrongType));
    EXPECT_FALSE(TypeBucket::fromJson(QJsonObject{{"name", "x"}, {"size", 1}}));
}

TEST(CollectorItem, FromRecordKeepsTheRecordsIdAndIsNeverADirectory) {
    FileRecord record{QUuid::createUuid(), "a.zip", "/x/a.zip", 42, FileRecord::distantPast(), "archives"};
    const CollectorItem item = CollectorItem::fromRecord(record);
    EXPECT_EQ(item, (CollectorItem{record.id, "a.zip", "/x/a.zip", 42, false}));
}

namespace {

// A file of a walk: its folder and its place.
struct WalkedFile : InsightsBuilder::FileOrigin {
    QString folder;
    InsightsBuilder::WalkPosition position;
    WalkedFile(QString folder, InsightsBuilder::WalkPosition position)
        : folder(std::move(folder)), position(std::move(position)) {}
    QString folderPath() const override { return folder; }
    InsightsBuilder::WalkPosition walkPosition() const override { return position; }
};

QStringList paths(const QList<FileRecord>& list) {
    QStringList out;
    for (const auto& record : list) out << record.path;
    return out;
}

}  // namespace

TEST(InsightsBuilder, BuildersMergedFromSeveralThreadsGiveTheListsOfOneWalk) {
    test::FakeEnvironment env;
    env.setNow(kNow);
    // Files in walk order, many of equal size and date; the parts are fed
    // out of order, as threads meet them.
    struct File {
        std::string name;
        qint64 size;
        qint64 modifiedMs;
        InsightsBuilder::WalkPosition position;
    };
    std::mt19937 random(3);
    std::vector<File> files;
    for (quint64 a = 0; a < 30; ++a) {
        for (quint64 b = 0; b < 30; ++b) {
            const qint64 size = (random() % 4 == 0) ? kMiB2 * (1 + random() % 3) : 1000 + random() % 5;
            const qint64 date = kNow.addDays(-100 - int(random() % 3)).toMSecsSinceEpoch();
            const char* extension[] = {".iso", ".JPG", ".c", ""};
            files.push_back({"f" + std::to_string(a) + "-" + std::to_string(b) + extension[random() % 4], size, date,
                             {a, b}});
        }
    }
    const qint64 nowMs = kNow.toMSecsSinceEpoch();
    InsightsBuilder whole;
    whole.nowMSecs = nowMs;
    for (const File& f : files) whole.consider(f.name, f.size, f.modifiedMs, WalkedFile("/w", f.position));
    std::vector<InsightsBuilder> parts(3);
    for (auto& part : parts) part.nowMSecs = nowMs;
    std::vector<size_t> order(files.size());
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), random);
    for (size_t i : order) {
        const File& f = files[i];
        parts[random() % 3].consider(f.name, f.size, f.modifiedMs, WalkedFile("/w", f.position));
    }
    InsightsBuilder merged;
    merged.nowMSecs = nowMs;
    for (const auto& part : parts) merged.merge(part);

    const ScanInsights a = whole.finalize();
    const ScanInsights b = merged.finalize();
    ASSERT_EQ(a.largest.size(), 120);
    ASSERT_EQ(a.oldest.size(), 120);
    EXPECT_EQ(paths(a.largest), paths(b.largest));
    EXPECT_EQ(paths(a.oldest), paths(b.oldest));
    EXPECT_EQ(a.types, b.types);
    EXPECT_EQ(a.fileCount, b.fileCount);
    EXPECT_EQ(a.totalFileBytes, b.totalFileBytes);
    // Equal sizes stand in walk order.
    for (qsizetype i = 1; i < a.largest.size(); ++i) {
        if (a.largest[i].size == a.largest[i - 1].size) {
            const auto at = [&](const FileRecord& r) {
                return std::find_if(files.begin(), files.end(), [&](const File& f) { return "/w/" + f.name == r.path.toStdString(); })
                    ->position;
            };
            EXPECT_LT(at(a.largest[i - 1]), at(a.largest[i]));
        }
    }
}

TEST(InsightsBuilder, NamesThatAreNotUtf8AndTotalsBeyondTheRange) {
    test::FakeEnvironment env;
    env.setNow(kNow);
    InsightsBuilder builder;
    // The record names the file's real bytes, and the kind keeps them too.
    builder.consider(std::string_view("bad\xff.bin"), "/f", 3 * kMiB2, std::nullopt);
    builder.consider(std::string_view("x.\xe9T"), "/f", 10, std::nullopt);
    ScanInsights insights = builder.finalize();
    ASSERT_EQ(insights.largest.size(), 1);
    EXPECT_EQ(PathCodec::encode(insights.largest[0].path), QByteArray("/f/bad\xff.bin"));
    EXPECT_EQ(PathCodec::encode(insights.largest[0].name), QByteArray("bad\xff.bin"));
    QStringList kinds;
    for (const TypeBucket& bucket : insights.types) kinds << bucket.name;
    EXPECT_TRUE(kinds.contains("bin"));
    EXPECT_TRUE(kinds.contains(PathCodec::decode(QByteArray("\xe9t")))) << kinds.join(',').toStdString();

    // Sizes near the 64-bit end never wrap into negative totals.
    InsightsBuilder huge;
    constexpr qint64 kNearMax = std::numeric_limits<qint64>::max() - 5;
    huge.consider(QStringLiteral("a.iso"), "/a.iso", kNearMax, std::nullopt);
    huge.consider(QStringLiteral("b.iso"), "/b.iso", kNearMax, std::nullopt);
    InsightsBuilder more;
    more.consider(QStringLiteral("c.iso"), "/c.iso", kNearMax, std::nullopt);
    huge.merge(more);
    insights = huge.finalize();
    EXPECT_EQ(insights.totalFileBytes, std::numeric_limits<qint64>::max());
    ASSERT_EQ(insights.types.size(), 1);
    EXPECT_EQ(insights.types[0].size, std::numeric_limits<qint64>::max());
    EXPECT_EQ(insights.types[0].count, 3);
}
