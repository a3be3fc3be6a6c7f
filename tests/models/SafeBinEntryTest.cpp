#include "models/SafeBinEntry.h"

#include "support/JsonCoding.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

SafeBinEntry sample() {
    return SafeBinEntry::create(QUuid::fromString(QStringLiteral("6f1c2a4e-9b3d-4c5e-8f7a-0b1c2d3e4f50")),
                                QStringLiteral("/home/u/a/b.txt"),
                                QStringLiteral("6F1C2A4E-9B3D-4C5E-8F7A-0B1C2D3E4F50-b.txt"), QStringLiteral("b.txt"),
                                8192, JsonCoding::dateFromValue(736000000.25));
}

QByteArray withObject(const std::function<void(QJsonObject&)>& change) {
    QJsonObject object = sample().toJson();
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
    EXPECT_FALSE(SafeBinEntry::decodeManifest(withObject([](QJsonObject& o) { o.remove(QStringLiteral("size")); })));
    EXPECT_FALSE(SafeBinEntry::decodeManifest(withObject([](QJsonObject& o) { o[QStringLiteral("size")] = QStringLiteral("1"); })));
    EXPECT_FALSE(SafeBinEntry::decodeManifest(withObject([](QJsonObject& o) { o[QStringLiteral("size")] = 1.5; })));
    EXPECT_FALSE(SafeBinEntry::decodeManifest(withObject([](QJsonObject& o) { o[QStringLiteral("id")] = QStringLiteral("not-a-uuid"); })));
    EXPECT_FALSE(SafeBinEntry::decodeManifest(withObject([](QJsonObject& o) { o[QStringLiteral("removedAt")] = QStringLiteral("today"); })));
    EXPECT_FALSE(SafeBinEntry::decodeManifest(withObject([](QJsonObject& o) { o[QStringLiteral("storedName")] = QJsonValue(); })));
    EXPECT_FALSE(SafeBinEntry::decodeManifest(R"({"id":"x"})"));
    EXPECT_FALSE(SafeBinEntry::decodeManifest("[1]"));
    EXPECT_FALSE(SafeBinEntry::decodeManifest("[{"));
    // Unknown keys are ignored and the key order does not matter.
    const auto extra = SafeBinEntry::decodeManifest(withObject([](QJsonObject& o) { o[QStringLiteral("note")] = true; }));
    ASSERT_TRUE(extra.has_value());
    EXPECT_EQ(extra->front(), sample());
}

TEST(SafeBinEntry, EqualityAndHashCoverAllSixFields) {
    const SafeBinEntry base = sample();
    std::vector<SafeBinEntry> variants(6, base);
    variants[0].id = QUuid::createUuid();
    variants[1].originalPath += QLatin1Char('x');
    variants[2].storedName += QLatin1Char('x');
    variants[3].displayName += QLatin1Char('x');
    variants[4].size += 1;
    variants[5].removedAt = base.removedAt.addMSecs(1);
    QSet<SafeBinEntry> set{base};
    for (const SafeBinEntry& variant : variants) {
        EXPECT_NE(variant, base);
        set.insert(variant);
    }
    EXPECT_EQ(set.size(), 7);
    set.insert(sample());
    EXPECT_EQ(set.size(), 7);
}
