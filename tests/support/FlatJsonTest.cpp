#include "support/FlatJson.h"

#include "platform/PathCodec.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

// An object with the document it was read from: its keys and raw strings
// point into that document, so the two live together.
struct ReadObject {
    QByteArray document;
    FlatJson::Object object;
    operator const FlatJson::Object&() const { return object; }
};

std::optional<ReadObject> readOne(const QByteArray& text, bool skim = false) {
    ReadObject read{text, {}};
    FlatJson::Reader reader(read.document);
    reader.setSkimming(skim);
    if (!reader.readObject(read.object) || !reader.atEnd()) return std::nullopt;
    return read;  // the document's bytes stay where they are
}

QString written(const QString& text) {
    QByteArray out;
    FlatJson::appendString(out, text);
    const auto object = readOne("{\"k\":" + out + "}");
    return object ? FlatJson::find(*object, QLatin1StringView("k"))->string : QStringLiteral("<unreadable>");
}

}  // namespace

TEST(FlatJson, TextRoundTripsExactlyLoneSurrogatesIncluded) {
    const QString texts[] = {
        QString(),
        QStringLiteral("/plain/path with spaces"),
        QStringLiteral("quote \" backslash \\ tab \t newline \n \u0001 \u007f"),
        QStringLiteral("\u00e9t\u00e9 \u4e2d\u6587 \U0001F600"),
        PathCodec::decode(QByteArray("bad\xff\xfe name\xc3\x28")),
        QString(QChar(0xD800)) + QStringLiteral("x") + QChar(0xDFFF),  // halves without partners
    };
    for (const QString& text : texts) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(written(text), text);
    }
    QByteArray out;
    FlatJson::appendString(out, QString(QChar(0xDCFF)) + QStringLiteral("/"));
    EXPECT_EQ(out, QByteArray(R"("\udcff\/")"));
    // Other writers' escapes read too: upper-case hex and a pair written as two escapes.
    EXPECT_EQ(FlatJson::find(*readOne(R"({"k":"\uD83D\uDE00\u00E9"})"), QLatin1StringView("k"))->string,
              QStringLiteral("\U0001F600\u00e9"));
}

TEST(FlatJson, NumbersKeepIntegersAndShortestDoubles) {
    for (const double value : {0.0, 736000000.25, -1.5e-7, 1e300, 0.1}) {
        QByteArray out;
        FlatJson::appendNumber(out, value);
        const auto object = readOne("{\"n\":" + out + "}");
        ASSERT_TRUE(object);
        EXPECT_EQ(FlatJson::find(*object, QLatin1StringView("n"))->number, value) << out.constData();
    }
    const auto object = readOne(R"({"a":9223372036854775807,"b":-9223372036854775808,"c":4096.0,"d":1.5,"e":1e19})");
    ASSERT_TRUE(object);
    EXPECT_EQ(FlatJson::find(*object, QLatin1StringView("a"))->integer, std::numeric_limits<qint64>::max());
    EXPECT_EQ(FlatJson::find(*object, QLatin1StringView("b"))->integer, std::numeric_limits<qint64>::min());
    EXPECT_EQ(FlatJson::find(*object, QLatin1StringView("c"))->integer, 4096);
    EXPECT_FALSE(FlatJson::find(*object, QLatin1StringView("d"))->integer);
    EXPECT_FALSE(FlatJson::find(*object, QLatin1StringView("e"))->integer);
}

TEST(FlatJson, NestedValuesAreSkippedAndMalformedTextRefused) {
    const auto object = readOne(R"( { "x" : [1, {"y": [true, null]}, "s"], "k" : "v" , "o":{} } )");
    ASSERT_TRUE(object);
    EXPECT_EQ(FlatJson::find(*object, QLatin1StringView("x"))->type, FlatJson::Value::Type::nested);
    EXPECT_EQ(FlatJson::find(*object, QLatin1StringView("k"))->string, QStringLiteral("v"));
    for (const char* bad : {"{", R"({"k":})", R"({"k":"v",})", R"({"k":"\x"})", R"({"k":"\u12"})", "{\"k\":\"a\nb\"}",
                            R"({"k":01})", R"({"k":1.})", R"({"k":tru})", R"({"k":"v"} x)", R"({k:1})"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(readOne(bad));
        EXPECT_FALSE(readOne(bad, true));  // skimming is as strict
    }
    QByteArray deep;
    for (int i = 0; i < 100; ++i) deep += '[';
    EXPECT_FALSE(readOne("{\"k\":" + deep + "}"));

    // A document of Qt's writer reads field for field.
    const QByteArray qt = QJsonDocument(QJsonArray{QJsonObject{{"path", "/a/b"}, {"n", 3}}}).toJson();
    FlatJson::Reader reader(qt);
    FlatJson::Object first;
    ASSERT_TRUE(reader.beginArray());
    ASSERT_TRUE(reader.nextObject(first));
    EXPECT_EQ(FlatJson::find(first, QLatin1StringView("path"))->string, QStringLiteral("/a/b"));
    EXPECT_FALSE(reader.nextObject(first));
    EXPECT_FALSE(reader.failed());
    EXPECT_TRUE(reader.atEnd());
}
