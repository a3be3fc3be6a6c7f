#include "models/SafeBinEntry.h"

#include "platform/PathCodec.h"
#include "support/JsonCoding.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

SafeBinEntry sample(const QString& path = QStringLiteral("/home/u/a/b.txt"), const QUuid& id = QUuid::fromString(
                        QStringLiteral("6f1c2a4e-9b3d-4c5e-8f7a-0b1c2d3e4f50"))) {
    const QString name = path.section(QLatin1Char('/'), -1);
    return SafeBinEntry::create(id, path, JsonCoding::uuidText(id) + QLatin1Char('-') + name, name, 8192,
                                JsonCoding::dateFromValue(736000000.25));
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

}  // namespace

TEST(SafeBinEntry, ManifestsOfBothWritersRoundTrip) {
    SafeBinEntry second = sample(QStringLiteral("/home/u/Fotos 2023/\u00e9t\u00e9 \U0001F600.jpg"), QUuid::createUuid());
    second.size = 9007199254740993;  // beyond a double's exact integers
    const QByteArray data = SafeBinEntry::encodeManifest({sample(), second});
    EXPECT_TRUE(data.contains(R"("originalPath":"\/home\/u\/a\/b.txt")")) << data.constData();
    EXPECT_TRUE(data.contains(R"("id":"6F1C2A4E-9B3D-4C5E-8F7A-0B1C2D3E4F50")"));
    EXPECT_TRUE(data.contains(R"("removedAt":736000000.25)"));
    EXPECT_FALSE(data.contains('\n'));
    EXPECT_EQ(SafeBinEntry::decodeManifest(data), (std::vector<SafeBinEntry>{sample(), second}));
    EXPECT_EQ(SafeBinEntry::decodeManifest("[]")->size(), 0u);
    // What is written now reads back with Qt's own parser too.
    const auto parsed = JsonCoding::parseArray(data);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->at(1).toObject().value(QStringLiteral("originalPath")).toString(), second.originalPath);
    EXPECT_EQ(parsed->at(1).toObject().value(QStringLiteral("size")).toInteger(), second.size);

    // Qt's encoder sorted the keys, escaped no slashes and wrote other letters as UTF-8.
    const QByteArray old = QJsonDocument(QJsonArray{qtObject(second), qtObject(sample())}).toJson();
    EXPECT_EQ(SafeBinEntry::decodeManifest(old), (std::vector<SafeBinEntry>{second, sample()}));
}

TEST(SafeBinEntry, EveryKeyIsRequiredAndTyped) {
    const std::vector<std::pair<const char*, QJsonValue>> broken = {
        {"size", QJsonValue(QJsonValue::Undefined)}, {"size", QStringLiteral("1")}, {"size", 1.5},
        {"id", QStringLiteral("not-a-uuid")}, {"removedAt", QStringLiteral("today")}, {"storedName", QJsonValue()}};
    for (const auto& [key, value] : broken) {
        SCOPED_TRACE(key);
        QJsonObject object = qtObject(sample());
        if (value.isUndefined()) {
            object.remove(QLatin1String(key));
        } else {
            object[QLatin1String(key)] = value;
        }
        const QByteArray document = QJsonDocument(QJsonArray{object}).toJson(QJsonDocument::Compact);
        EXPECT_FALSE(SafeBinEntry::decodeManifest(document));
        EXPECT_FALSE(SafeBinEntry::summarizeManifest(document));  // the quick pass never vouches for it
    }
    for (const char* document : {R"({"id":"x"})", "[1]", "[{", "[{}]", R"([{"id":"\q"}])", "[] x", "[{},]"}) {
        SCOPED_TRACE(document);
        EXPECT_FALSE(SafeBinEntry::decodeManifest(document));
        EXPECT_FALSE(SafeBinEntry::summarizeManifest(document));
    }
    QJsonObject extra = qtObject(sample());
    extra[QStringLiteral("note")] = true;  // unknown keys are ignored
    EXPECT_EQ(SafeBinEntry::decodeManifest(QJsonDocument(QJsonArray{extra}).toJson()),
              std::vector<SafeBinEntry>{sample()});
}

TEST(SafeBinEntry, NamesThatAreNotUtf8KeepTheirBytesThroughTheManifest) {
    // bad\xff.bin next to its look-alike bad\xEF\xBF\xBD.bin (a real U+FFFD).
    const QString escaped = PathCodec::decode(QByteArray("/home/u/bad\xff.bin"));
    const QString lookAlike = PathCodec::decode(QByteArray("/home/u/bad\xEF\xBF\xBD.bin"));
    ASSERT_NE(escaped, lookAlike);
    std::vector<SafeBinEntry> entries;
    for (const QString& path : {escaped, lookAlike, QStringLiteral("/tmp/\U0001F600 \"q\" \\ \t\u0001\u00e9")}) {
        entries.push_back(sample(path, QUuid::createUuid()));
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

TEST(SafeBinEntry, TheQuickPassTellsOrderAndOldestDate) {
    SafeBinEntry newer = sample(QStringLiteral("/home/u/new"), QUuid::createUuid());
    newer.removedAt = sample().removedAt.addSecs(60);
    const auto sorted = SafeBinEntry::summarizeManifest(SafeBinEntry::encodeManifest({newer, sample()}));
    ASSERT_TRUE(sorted.has_value());
    EXPECT_EQ(sorted->count, 2);
    EXPECT_TRUE(sorted->newestFirst);
    EXPECT_EQ(sorted->oldest, sample().removedAt);
    EXPECT_FALSE(SafeBinEntry::summarizeManifest(SafeBinEntry::encodeManifest({sample(), newer}))->newestFirst);
    const auto empty = SafeBinEntry::summarizeManifest("[ ]");
    ASSERT_TRUE(empty.has_value());
    EXPECT_EQ(empty->count, 0);
    EXPECT_FALSE(empty->oldest.has_value());
}
