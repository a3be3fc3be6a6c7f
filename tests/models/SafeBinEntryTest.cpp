#include "models/SafeBinEntry.h"

#include "platform/PathCodec.h"
#include "support/JsonCoding.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

SafeBinEntry sample() {
    return SafeBinEntry::create(QUuid::fromString(QStringLiteral("6f1c2a4e-9b3d-4c5e-8f7a-0b1c2d3e4f50")),
                                QStringLiteral("/home/u/a/b.txt"),
                                QStringLiteral("6F1C2A4E-9B3D-4C5E-8F7A-0B1C2D3E4F50-b.txt"), QStringLiteral("b.txt"),
                                8192, JsonCoding::dateFromValue(736000000.25));
}

// An entry as the earlier manifest writer (Qt's JSON encoder) stored it.
QJsonObject qtObject(const SafeBinEntry& entry) {
    return QJsonObject{{QStringLiteral("id"), JsonCoding::uuidText(entry.id)},
                       {QStringLiteral("originalPath"), entry.originalPath},
                       {QStringLiteral("storedName"), entry.storedName},
                       {QStringLiteral("displayName"), entry.displayName},
                       {QStringLiteral("size"), entry.size},
                       {QStringLiteral("removedAt"), JsonCoding::dateValue(entry.removedAt)}};
}

QByteArray withObject(const std::function<void(QJsonObject&)>& change) {
    QJsonObject object = qtObject(sample());
    change(object);
    return QJsonDocument(QJsonArray{object}).toJson(QJsonDocument::Compact);
}

}  // namespace

TEST(SafeBinEntry, ManifestRoundTripWithEscapedSlashesAndUpperCaseIds) {
    const SafeBinEntry first = sample();
    SafeBinEntry second = first;
    second.id = QUuid::createUuid();
    second.size = 0;
    const QByteArray data = SafeBinEntry::encodeManifest({first, second});
    EXPECT_TRUE(data.contains(R"("originalPath":"\/home\/u\/a\/b.txt")")) << data.constData();
    EXPECT_TRUE(data.contains(R"("id":"6F1C2A4E-9B3D-4C5E-8F7A-0B1C2D3E4F50")"));
    EXPECT_TRUE(data.contains(R"("removedAt":736000000.25)"));
    EXPECT_FALSE(data.contains('\n'));

    const auto decoded = SafeBinEntry::decodeManifest(data);
    ASSERT_TRUE(decoded.has_value());
    ASSERT_EQ(decoded->size(), 2u);
    EXPECT_EQ((*decoded)[0], first);
    EXPECT_EQ((*decoded)[1], second);
    EXPECT_EQ(SafeBinEntry::decodeManifest("[]")->size(), 0u);
}

TEST(SafeBinEntry, EveryKeyIsRequiredAndTyped) {
    const std::vector<std::pair<const char*, QJsonValue>> broken = {
        {"size", QJsonValue(QJsonValue::Undefined)}, {"size", QStringLiteral("1")}, {"size", 1.5},
        {"id", QStringLiteral("not-a-uuid")}, {"removedAt", QStringLiteral("today")}, {"storedName", QJsonValue()}};
    for (const auto& [key, value] : broken) {
        SCOPED_TRACE(key);
        const QByteArray document = withObject([&](QJsonObject& o) {
            if (value.isUndefined()) {
                o.remove(QLatin1String(key));
            } else {
                o[QLatin1String(key)] = value;
            }
        });
        EXPECT_FALSE(SafeBinEntry::decodeManifest(document));
        EXPECT_FALSE(SafeBinEntry::summarizeManifest(document));  // the quick pass never vouches for it
    }
    for (const char* document : {R"({"id":"x"})", "[1]", "[{", "[{}]", R"([{"id":"\q"}])", "[] x", "[{},]"}) {
        SCOPED_TRACE(document);
        EXPECT_FALSE(SafeBinEntry::decodeManifest(document));
        EXPECT_FALSE(SafeBinEntry::summarizeManifest(document));
    }
    // Unknown keys are ignored and the key order does not matter.
    const auto extra = SafeBinEntry::decodeManifest(withObject([](QJsonObject& o) { o[QStringLiteral("note")] = true; }));
    ASSERT_TRUE(extra.has_value());
    EXPECT_EQ(extra->front(), sample());
}

TEST(SafeBinEntry, NamesThatAreNotUtf8KeepTheirBytesThroughTheManifest) {
    // bad\xff.bin next to its look-alike bad\xEF\xBF\xBD.bin (a real U+FFFD).
    const QString escaped = PathCodec::decode(QByteArray("/home/u/bad\xff.bin"));
    const QString lookAlike = PathCodec::decode(QByteArray("/home/u/bad\xEF\xBF\xBD.bin"));
    ASSERT_NE(escaped, lookAlike);
    std::vector<SafeBinEntry> entries;
    for (const QString& path : {escaped, lookAlike, QStringLiteral("/tmp/\U0001F600 \"q\" \\ \t\u0001\u00e9")}) {
        SafeBinEntry entry = sample();
        entry.id = QUuid::createUuid();
        entry.originalPath = path;
        entry.displayName = path.section(QLatin1Char('/'), -1);
        entry.storedName = JsonCoding::uuidText(entry.id) + QLatin1Char('-') + entry.displayName;
        entries.push_back(entry);
    }
    const QByteArray data = SafeBinEntry::encodeManifest(entries);
    EXPECT_TRUE(data.contains(R"(bad\udcff.bin)")) << data.constData();
    EXPECT_TRUE(QString::fromUtf8(data).toUtf8() == data);  // the file itself is plain UTF-8
    const auto decoded = SafeBinEntry::decodeManifest(data);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, entries);
    EXPECT_EQ(PathCodec::encode((*decoded)[0].originalPath), QByteArray("/home/u/bad\xff.bin"));
    EXPECT_EQ(PathCodec::encode((*decoded)[1].originalPath), QByteArray("/home/u/bad\xEF\xBF\xBD.bin"));
}

TEST(SafeBinEntry, ManifestsOfTheEarlierWriterStillRead) {
    // Qt's encoder sorted the keys, escaped no slashes and wrote other letters as UTF-8.
    SafeBinEntry entry = sample();
    entry.originalPath = QStringLiteral("/home/u/Fotos 2023/\u00e9t\u00e9 \U0001F600.jpg");
    entry.size = 9007199254740993;  // beyond a double's exact integers
    const QByteArray old = QJsonDocument(QJsonArray{qtObject(entry), qtObject(sample())}).toJson(QJsonDocument::Indented);
    const auto decoded = SafeBinEntry::decodeManifest(old);
    ASSERT_TRUE(decoded.has_value());
    ASSERT_EQ(decoded->size(), 2u);
    EXPECT_EQ(decoded->front(), entry);
    // And what is written now reads back with Qt's own parser too.
    const auto parsed = JsonCoding::parseArray(SafeBinEntry::encodeManifest({entry}));
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->at(0).toObject().value(QStringLiteral("originalPath")).toString(), entry.originalPath);
    EXPECT_EQ(parsed->at(0).toObject().value(QStringLiteral("size")).toInteger(), entry.size);
}

TEST(SafeBinEntry, TheQuickPassTellsOrderAndOldestDate) {
    SafeBinEntry newer = sample();
    newer.id = QUuid::createUuid();
    newer.removedAt = sample().removedAt.addSecs(60);
    const auto sorted = SafeBinEntry::summarizeManifest(SafeBinEntry::encodeManifest({newer, sample()}));
    ASSERT_TRUE(sorted.has_value());
    EXPECT_EQ(sorted->count, 2);
    EXPECT_TRUE(sorted->newestFirst);
    EXPECT_EQ(sorted->oldest, sample().removedAt);
    const auto unsorted = SafeBinEntry::summarizeManifest(SafeBinEntry::encodeManifest({sample(), newer}));
    ASSERT_TRUE(unsorted.has_value());
    EXPECT_FALSE(unsorted->newestFirst);
    const auto empty = SafeBinEntry::summarizeManifest("[ ]");
    ASSERT_TRUE(empty.has_value());
    EXPECT_EQ(empty->count, 0);
    EXPECT_FALSE(empty->oldest.has_value());
}

TEST(SafeBinEntry, GroupsAndRemainsRoundTripAndAreCheckedLikeTheRest) {
    SafeBinEntry group = sample();
    group.displayName = QStringLiteral(".cache");
    group.remains = SafeBinEntry::Remains{2049, 77};
    group.members = std::vector<SafeBinEntry::Member>{
        {QStringLiteral("/home/u/.cache/a"), QStringLiteral("1-a"), 4096, {}},
        {QStringLiteral("/home/u/.cache/b\u00e9"), QStringLiteral("2-b\u00e9"), 0, SafeBinEntry::Remains{2049, 78}}};
    const QByteArray data = SafeBinEntry::encodeManifest({group, sample()});
    const auto decoded = SafeBinEntry::decodeManifest(data);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, (std::vector<SafeBinEntry>{group, sample()}));
    EXPECT_FALSE((*decoded)[1].isGroup());
    EXPECT_EQ(SafeBinEntry::summarizeManifest(data)->count, 2);

    // An older reader's parser skips the new keys and still finds every entry.
    const auto parsed = JsonCoding::parseArray(data);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->size(), 2);

    // A malformed member or half a remains mark makes the file undecodable,
    // for the quick pass too.
    for (const QByteArray& broken :
         {QByteArray(data).replace("\"storedName\":\"1-a\"", "\"storedName\":1"),
          QByteArray(data).replace("\"size\":4096}", "\"size\":\"4096\"}"),
          QByteArray(data).replace(",\"remainsInode\":77", ""),
          QByteArray(data).replace("\"members\":[", "\"members\":{\"x\":[").replace("]}]", "]}}]")}) {
        EXPECT_FALSE(SafeBinEntry::decodeManifest(broken).has_value()) << broken.constData();
        EXPECT_FALSE(SafeBinEntry::summarizeManifest(broken).has_value()) << broken.constData();
    }
}
