#include "services/scan/CachedScanJson.h"

#include "TestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

const QByteArray kEmptyInsights =
    R"({"largest":[],"oldest":[],"types":[],"fileCount":0,"totalFileBytes":0})";
const QByteArray kId = "0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9";

QByteArray nodeJson(const QByteArray& name, const QByteArray& children = "") {
    return R"({"id":")" + kId + R"(","name":")" + name + R"(","path":"/v/)" + name +
           R"(","kind":"dir","size":5,"children":[)" + children + "]}";
}

QByteArray documentJson(const QByteArray& root, const QByteArray& insights = kEmptyInsights) {
    return R"({"rootPath":"/v","rootName":"v","scannedAt":1.5,"root":)" + root + R"(,"insights":)" + insights + "}";
}

// Compares a decoded tree with the same tree read by Qt's own JSON parser.
void expectSameTree(const ScanNode& node, const QJsonObject& object, const QString& parentPath, int& count) {
    ++count;
    EXPECT_EQ(node.id, QUuid::fromString(object["id"].toString()));
    EXPECT_EQ(node.name, object["name"].toString());
    EXPECT_EQ(node.path(), object["path"].toString());
    EXPECT_EQ(CachedScanJson::kindName(node.kind), object["kind"].toString());
    EXPECT_EQ(node.size, object["size"].toInteger());
    EXPECT_EQ(node.isAggregate, node.kind == NodeKind::smallGroup ||
                                    (node.kind == NodeKind::file && node.path() == parentPath &&
                                     node.name.startsWith(QChar(0x2026))));
    const QJsonArray children = object["children"].toArray();
    ASSERT_EQ(node.children.size(), static_cast<size_t>(children.size()));
    for (qsizetype i = 0; i < children.size(); ++i) {
        EXPECT_EQ(node.children[i]->parent().get(), &node);
        expectSameTree(*node.children[i], children[i].toObject(), node.path(), count);
    }
}

}  // namespace

TEST(CachedScanJson, ReadsATreeWrittenByAnotherEncoderLikeQtDoes) {
    QFile file(test::dataPath("lzfse/tree.json"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray tree = file.readAll();
    // The fixture holds {"version":1,"root":{…},"scannedAt":…}: add the other
    // keys; "version" is an unknown key and is skipped.
    QByteArray document = tree;
    document.chop(1);
    document = "{\"rootPath\":\"\\/Users\\/demo\",\"rootName\":\"demo\"," + document.mid(1) +
               ",\"insights\":" + kEmptyInsights + "}";
    std::optional<CachedScan> scan = CachedScanJson::decode(document);
    ASSERT_TRUE(scan);
    EXPECT_EQ(scan->rootPath, "/Users/demo");
    EXPECT_EQ(scan->scannedAt, QDateTime::fromMSecsSinceEpoch(qint64((786543210.25 + 978307200.0) * 1000), Qt::UTC));
    int count = 0;
    expectSameTree(*scan->root, QJsonDocument::fromJson(tree).object()["root"].toObject(), QString(), count);
    EXPECT_EQ(count, 1162);

    // Writing it back gives a document Qt reads as the same tree.
    std::optional<QByteArray> written = CachedScanJson::encode(*scan);
    ASSERT_TRUE(written);
    EXPECT_FALSE(written->contains('\n'));
    EXPECT_TRUE(written->startsWith(R"({"rootPath":"/Users/demo","rootName":"demo","scannedAt":786543210.25,)"));
    const QJsonObject reread = QJsonDocument::fromJson(*written).object();
    count = 0;
    expectSameTree(*scan->root, reread["root"].toObject(), QString(), count);
    EXPECT_EQ(count, 1162);
    EXPECT_EQ(reread["scannedAt"].toDouble(), 786543210.25);
}

TEST(CachedScanJson, TextsRoundTripWithEscapesAndUnicode) {
    CachedScan scan;
    scan.rootPath = QString::fromUtf8("/Volumes/Ünïcode \"quoted\" back\\slash");
    scan.rootName = QString::fromUtf8("tab\there, newline\nthere, bell\x07, emoji \xF0\x9F\x93\x81");
    scan.scannedAt = QDateTime::fromMSecsSinceEpoch(1700000000123, Qt::UTC);
    scan.root = ScanNode::create(QUuid::createUuid(), QString::fromUtf8("\xE2\x80\xA6x\xE2\x80\xA6"), "/",
                                 NodeKind::dir, 0);
    QString lone;
    lone.append(QChar(0xD800));
    scan.root->appendChild(ScanNode::create(QUuid::createUuid(), lone, "/" + lone, NodeKind::file, 3));
    std::optional<QByteArray> json = CachedScanJson::encode(scan);
    ASSERT_TRUE(json);
    std::optional<CachedScan> back = CachedScanJson::decode(*json);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->rootPath, scan.rootPath);
    EXPECT_EQ(back->rootName, scan.rootName);
    EXPECT_EQ(back->scannedAt, scan.scannedAt);
    EXPECT_EQ(back->root->children[0]->name, QString(QChar(0xFFFD)));  // a lone surrogate cannot be stored

    // Escapes another writer may use: \/ and \u with surrogate pairs.
    std::optional<CachedScan> escaped = CachedScanJson::decode(
        documentJson(nodeJson(R"(\u00e9\/\ud83d\udcc1)")));
    ASSERT_TRUE(escaped);
    EXPECT_EQ(escaped->root->name, QString::fromUtf8("é/\xF0\x9F\x93\x81"));
}

TEST(CachedScanJson, KindsReadBackByExactCaseName) {
    EXPECT_EQ(CachedScanJson::kindFrom(u"file"), NodeKind::file);
    EXPECT_EQ(CachedScanJson::kindFrom(u"smallGroup"), NodeKind::smallGroup);
    EXPECT_EQ(CachedScanJson::kindFrom(u"restricted"), NodeKind::restricted);
    EXPECT_EQ(CachedScanJson::kindFrom(u"virtual"), NodeKind::virtual_);
    EXPECT_EQ(CachedScanJson::kindFrom(u"folder"), NodeKind::dir);
    EXPECT_EQ(CachedScanJson::kindFrom(u"Dir"), NodeKind::dir);
    EXPECT_EQ(CachedScanJson::kindFrom(u"File"), NodeKind::dir);
    EXPECT_EQ(CachedScanJson::kindName(NodeKind::virtual_), "virtual");

    QByteArray folder = nodeJson("a");
    folder.replace("\"dir\"", "\"folder\"");
    std::optional<CachedScan> scan = CachedScanJson::decode(documentJson(folder));
    ASSERT_TRUE(scan);
    EXPECT_EQ(scan->root->kind, NodeKind::dir);
}

TEST(CachedScanJson, AcceptsAnyKeyOrderWhitespaceAndUnknownKeys) {
    const QByteArray document = R"( {
        "insights" : )" + kEmptyInsights + R"(,
        "extra" : [1, {"x": [true, false, null, -2.5e3]}],
        "root" : {"children":[], "size":7e0, "kind":"file", "path":"/p", "name":"n",
                  "future": {"a": "b"}, "id":"0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9"},
        "scannedAt" : -3, "rootName" : "v", "rootPath" : "/v" } )";
    std::optional<CachedScan> scan = CachedScanJson::decode(document);
    ASSERT_TRUE(scan);
    EXPECT_EQ(scan->root->size, 7);
    EXPECT_EQ(scan->root->kind, NodeKind::file);
    EXPECT_EQ(scan->root->id, QUuid::fromString(QString::fromLatin1(kId)));
}

TEST(CachedScanJson, RejectsEverythingMalformed) {
    ASSERT_TRUE(CachedScanJson::decode(documentJson(nodeJson("a", nodeJson("b")))));

    const QByteArray good = documentJson(nodeJson("a", nodeJson("b")));
    auto rejects = [](const QByteArray& json) { return !CachedScanJson::decode(json).has_value(); };
    auto edited = [&good](const char* from, const char* to) {
        QByteArray copy = good;
        const qsizetype at = copy.lastIndexOf(from);
        EXPECT_GE(at, 0) << from;
        return copy.replace(at, qstrlen(from), to);
    };

    EXPECT_TRUE(rejects(""));
    EXPECT_TRUE(rejects("{}"));
    EXPECT_TRUE(rejects(good.left(good.size() - 1)));           // truncated
    EXPECT_TRUE(rejects(good + "x"));                            // trailing bytes
    EXPECT_TRUE(rejects(good + "{}"));
    EXPECT_TRUE(rejects(edited(R"("size":5,)", "")));            // a nested node lacks a key
    EXPECT_TRUE(rejects(edited(R"(,"children":[])", "")));
    EXPECT_TRUE(rejects(edited(R"("rootName":"v",)", "")));      // the document lacks a key
    EXPECT_TRUE(rejects(edited(R"(,"fileCount":0)", "")));       // the insights lack a key
    EXPECT_TRUE(rejects(edited(R"("size":5)", R"("size":"5")")));  // wrong types
    EXPECT_TRUE(rejects(edited(R"("size":5)", R"("size":5.5)")));
    EXPECT_TRUE(rejects(edited(R"("size":5)", R"("size":-5)")));   // no negative sizes
    EXPECT_TRUE(rejects(edited(R"("size":5)", R"("size":9223372036854775808)")));
    EXPECT_TRUE(rejects(edited(R"("size":5)", R"("size":05)")));
    EXPECT_TRUE(rejects(edited(R"("size":5)", R"("size":5,"size":6)")));  // duplicate key
    EXPECT_TRUE(rejects(edited(R"("kind":"dir")", R"("kind":1)")));
    EXPECT_TRUE(rejects(edited(R"("children":[])", R"("children":{})")));
    EXPECT_TRUE(rejects(edited(R"("children":[])", R"("children":[1])")));
    EXPECT_TRUE(rejects(edited(R"("children":[])", R"("children":[,])")));
    EXPECT_TRUE(rejects(edited(R"("root":{)", R"("root":[{)")));
    EXPECT_TRUE(rejects(edited("0A1B2C3D-", "0A1B2C3-D")));        // malformed ids
    EXPECT_TRUE(rejects(edited("0A1B2C3D-", "0A1B2C3G-")));
    EXPECT_TRUE(rejects(edited("0A1B2C3D-", "{0A1B2C3D-")));
    EXPECT_TRUE(rejects(edited(R"("scannedAt":1.5)", R"("scannedAt":"1.5")")));
    EXPECT_TRUE(rejects(edited(R"("scannedAt":1.5)", R"("scannedAt":NaN)")));
    EXPECT_TRUE(rejects(edited(R"("scannedAt":1.5)", R"("scannedAt":1e999)")));
    EXPECT_TRUE(rejects(edited(R"("name":"b")", "\"name\":\"b\xC3\x28\"")));  // invalid UTF-8
    EXPECT_TRUE(rejects(edited(R"("name":"b")", "\"name\":\"b\xED\xA0\x80\"")));  // encoded surrogate
    EXPECT_TRUE(rejects(edited(R"("name":"b")", R"("name":"\ud800")")));  // lone surrogate escape
    EXPECT_TRUE(rejects(edited(R"("name":"b")", R"("name":"\x")")));
    EXPECT_TRUE(rejects(edited(R"("name":"b")", "\"name\":\"a\nb\"")));  // raw control character
    EXPECT_TRUE(rejects(edited(R"("name":"b")", R"("name":"b\)")));
    EXPECT_TRUE(rejects(edited(R"("fileCount":0)", R"("fileCount":tru)")));

    // Values beside the tree may nest only so deep.
    EXPECT_TRUE(rejects(edited(R"("rootPath")", (QByteArray(R"("x":)") + QByteArray(100, '[') +
                                                 QByteArray(100, ']') + R"(,"rootPath")").constData())));
    EXPECT_TRUE(rejects(edited(R"("fileCount":0)",
                               (R"("fileCount":0,"x":)" + QByteArray(2000, '[') + QByteArray(2000, ']')).constData())));
}

TEST(CachedScanJson, LongTextsAreReadWhateverWhereTheirSpecialBytesFall) {
    // Texts are scanned many bytes at a time: put an escape, a multi-byte
    // character, a raw control character, a broken sequence and the end of the
    // input at every position of a long name.
    const QByteArray plain(40, 'x');
    const QByteArray accents = "\xC3\xA9\xF0\x9F\x93\x81";
    for (int at = 0; at <= plain.size(); ++at) {
        auto withName = [&](const QByteArray& inserted) {
            return documentJson(nodeJson(plain.left(at) + inserted + plain.mid(at)));
        };
        std::optional<CachedScan> escaped = CachedScanJson::decode(withName(R"(\"q\\)"));
        ASSERT_TRUE(escaped) << at;
        EXPECT_EQ(escaped->root->name, QString::fromLatin1(plain.left(at) + "\"q\\" + plain.mid(at)))
            << at;
        std::optional<CachedScan> unicode = CachedScanJson::decode(withName(accents));
        ASSERT_TRUE(unicode) << at;
        EXPECT_EQ(unicode->root->name, QString::fromUtf8(plain.left(at) + accents + plain.mid(at))) << at;
        EXPECT_EQ(unicode->root->path(), QStringLiteral("/v/") + unicode->root->name) << at;
        EXPECT_FALSE(CachedScanJson::decode(withName("\x1F"))) << at;
        EXPECT_FALSE(CachedScanJson::decode(withName("\xC3"))) << at;
        EXPECT_FALSE(CachedScanJson::decode(withName("\xFF"))) << at;
        // A document cut inside the text.
        const QByteArray whole = withName("");
        const qsizetype nameStart = whole.indexOf(R"("name":")") + 8;
        EXPECT_FALSE(CachedScanJson::decode(whole.left(nameStart + at))) << at;
    }
}

TEST(CachedScanJson, LongTextsAreWrittenWhateverWhereTheirSpecialCharactersFall) {
    // Texts are written many characters at a time: put each kind of
    // character that needs care at every position of a long name.
    const QString plain(40, QChar('x'));
    const QString specials[] = {QStringLiteral("\""), QStringLiteral("\\"), QString(QChar(0x01)),
                                QString(QChar(0x7F)), QString(QChar(0xE9)), QString(QChar(0x2026)),
                                QString::fromUtf8("\xF0\x9F\x93\x81")};
    for (int at = 0; at <= plain.size(); ++at) {
        for (const QString& special : specials) {
            const QString name = plain.left(at) + special + plain.mid(at);
            CachedScan scan;
            scan.rootPath = name;
            scan.rootName = name;
            scan.scannedAt = QDateTime::fromMSecsSinceEpoch(0, Qt::UTC);
            scan.root = ScanNode::create(QUuid::createUuid(), name, "/" + name, NodeKind::dir, 0);
            const std::optional<QByteArray> json = CachedScanJson::encode(scan);
            ASSERT_TRUE(json) << at;
            EXPECT_EQ(QJsonDocument::fromJson(*json).object()["rootName"].toString(), name) << at;
            const std::optional<CachedScan> back = CachedScanJson::decode(*json);
            ASSERT_TRUE(back) << at;
            EXPECT_EQ(back->rootPath, name) << at;
            EXPECT_EQ(back->root->name, name) << at;
            EXPECT_EQ(back->root->path(), "/" + name) << at;
        }
        // A lone surrogate cannot be stored: it becomes U+FFFD.
        const QString lone = plain.left(at) + QChar(0xDC00) + plain.mid(at);
        CachedScan scan;
        scan.scannedAt = QDateTime::fromMSecsSinceEpoch(0, Qt::UTC);
        scan.root = ScanNode::create(QUuid::createUuid(), lone, "/", NodeKind::dir, 0);
        const std::optional<CachedScan> back = CachedScanJson::decode(*CachedScanJson::encode(scan));
        ASSERT_TRUE(back) << at;
        EXPECT_EQ(back->root->name, plain.left(at) + QChar(0xFFFD) + plain.mid(at)) << at;
    }
}

TEST(CachedScanJson, TreeDepthIsBoundedBothWays) {
    // A chain of folders exactly as deep as allowed is written and read;
    // one level more is neither.
    auto chain = [](int depth) {
        ScanNodePtr node = ScanNode::create(QUuid::createUuid(), "f", "/f", NodeKind::file, 1);
        for (int i = 0; i < depth; ++i) node = ScanNode::create(QUuid::createUuid(), "d", "/d", NodeKind::dir, 1, {node});
        return node;
    };
    CachedScan scan;
    scan.scannedAt = QDateTime::fromMSecsSinceEpoch(0, Qt::UTC);
    scan.root = chain(CachedScanJson::kMaxTreeDepth);
    std::optional<QByteArray> json = CachedScanJson::encode(scan);
    ASSERT_TRUE(json);
    std::optional<CachedScan> back = CachedScanJson::decode(*json);
    ASSERT_TRUE(back);
    int depth = 0;
    for (ScanNode* node = back->root.get(); !node->children.empty(); node = node->children[0].get()) ++depth;
    EXPECT_EQ(depth, CachedScanJson::kMaxTreeDepth);

    scan.root = chain(CachedScanJson::kMaxTreeDepth + 1);
    QString error;
    EXPECT_FALSE(CachedScanJson::encode(scan, &error));
    EXPECT_FALSE(error.isEmpty());

    // A hand-made document one level deeper than allowed is refused, and a
    // far deeper one (a depth bomb) is refused quickly without recursing.
    const QByteArray open = R"({"id":")" + kId + R"(","name":"d","path":"/d","kind":"dir","size":1,"children":[)";
    auto bomb = [&open](int depth) {
        const QByteArray tree = open.repeated(depth + 1) + "]}" + QByteArray("]}").repeated(depth);
        return documentJson(tree);
    };
    EXPECT_FALSE(CachedScanJson::decode(bomb(CachedScanJson::kMaxTreeDepth + 1)));
    EXPECT_TRUE(CachedScanJson::decode(bomb(CachedScanJson::kMaxTreeDepth)));
    EXPECT_FALSE(CachedScanJson::decode(bomb(200000)));
}
