#include "models/SafeBinEntry.h"

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
    const std::vector<std::pair<const char*, QJsonValue>> broken = {
        {"size", QJsonValue(QJsonValue::Undefined)}, {"size", QStringLiteral("1")}, {"size", 1.5},
        {"id", QStringLiteral("not-a-uuid")}, {"removedAt", QStringLiteral("today")}, {"storedName", QJsonValue()}};
    for (const auto& [key, value] : broken) {
        SCOPED_TRACE(key);
        EXPECT_FALSE(SafeBinEntry::decodeManifest(withObject([&](QJsonObject& o) {
            if (value.isUndefined()) {
                o.remove(QLatin1String(key));
            } else {
                o[QLatin1String(key)] = value;
            }
        })));
    }
    for (const char* document : {R"({"id":"x"})", "[1]", "[{"}) EXPECT_FALSE(SafeBinEntry::decodeManifest(document));
    // Unknown keys are ignored and the key order does not matter.
    const auto extra = SafeBinEntry::decodeManifest(withObject([](QJsonObject& o) { o[QStringLiteral("note")] = true; }));
    ASSERT_TRUE(extra.has_value());
    EXPECT_EQ(extra->front(), sample());
}
