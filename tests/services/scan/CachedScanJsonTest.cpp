#include "services/scan/CachedScanJson.h"

#include "TestSupport.h"
#include "platform/PathCodec.h"
#include "services/scan/WalkTestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>

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

void expectSameNodes(const ScanNode& a, const ScanNode& b) { EXPECT_EQ(test::treeDifference(a, b), ""); }

// Reads a document on one thread and in pieces as small as the test wants;
// both must agree, node for node, and the pieces' answer is returned.
std::optional<CachedScan> decodeBothWays(const QByteArray& json, qint64 pieceBytes,
                                         qint64 maxNodes = CachedScanJson::kMaxNodes) {
    std::optional<CachedScan> serial = CachedScanJson::decode(json, {maxNodes, 0});
    std::optional<CachedScan> pieces = CachedScanJson::decode(json, {maxNodes, pieceBytes});
    EXPECT_EQ(serial.has_value(), pieces.has_value());
    if (serial && pieces) {
        EXPECT_EQ(serial->rootPath, pieces->rootPath);
        EXPECT_EQ(serial->insights, pieces->insights);
        expectSameNodes(*serial->root, *pieces->root);
    }
    return pieces;
}

// A JSON string for a text, escaped by Qt's writer (which escapes lone surrogates too).
QByteArray jsonString(const QString& text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

// Writes a tree as JSON the way other writers might: keys in any order,
// spaces, members of no meaning (objects that look like nodes among them),
// and, when asked, one fault somewhere (a duplicate or missing key).
class VariedWriter {
public:
    enum class Fault { none, duplicateKey, missingKey };
    VariedWriter(std::mt19937& random, int variedPercent, Fault fault)
        : random_(random), varied_(variedPercent), fault_(fault) {}

    QByteArray document(const ScanNode& root, int nodes) {
        faultAt_ = fault_ == Fault::none ? -1 : static_cast<int>(random_() % nodes);
        count_ = 0;
        QByteArray out = R"({"rootPath":"/r","rootName":"r","scannedAt":3.5,"root":)";
        node(root, out);
        out += R"(,"insights":)" + kEmptyInsights + "}";
        return out;
    }

private:
    bool chance(int percent) { return static_cast<int>(random_() % 100) < percent; }

    void node(const ScanNode& n, QByteArray& out) {
        const bool faulty = count_++ == faultAt_;
        std::vector<std::pair<QByteArray, QByteArray>> members = {
            {"id", '"' + n.id.toString(QUuid::WithoutBraces).toUpper().toLatin1() + '"'},
            {"name", jsonString(n.name)},
            {"path", jsonString(n.path())},
            {"kind", '"' + CachedScanJson::kindName(n.kind).toLatin1() + '"'},
            {"size", QByteArray::number(n.size)},
            {"children", {}}};
        const bool varied = chance(varied_);
        if (varied) {
            std::shuffle(members.begin(), members.end(), random_);
            if (chance(50)) {
                // A member of no meaning that looks like a node: a false start for a piece.
                members.insert(members.begin() + static_cast<int>(random_() % members.size()),
                               {"note", nodeJson("x")});
            }
        }
        if (faulty) {
            // One of the six members (not the one of no meaning) twice, or not at all.
            size_t at = random_() % members.size();
            while (members[at].first == "note") at = random_() % members.size();
            if (fault_ == Fault::missingKey) {
                members.erase(members.begin() + static_cast<std::ptrdiff_t>(at));
            } else {
                members.push_back(members[at]);
            }
        }
        const char* space = varied && chance(50) ? " " : "";
        out += '{';
        for (size_t i = 0; i < members.size(); ++i) {
            if (i > 0) out += ',';
            out += space;
            out += '"' + members[i].first + "\":" + space;
            if (members[i].first != "children") {
                out += members[i].second;
                continue;
            }
            out += '[';
            for (size_t c = 0; c < n.children.size(); ++c) {
                if (c > 0) out += ',';
                out += space;
                node(*n.children[c], out);
            }
            out += ']';
        }
        out += '}';
    }

    std::mt19937& random_;
    int varied_;
    Fault fault_;
    int faultAt_ = -1;
    int count_ = 0;
};

// A random tree as a walk would leave it: folders of files, small-files
// nodes at their folder's path, some deep chains, texts with accents and
// escaped file-name bytes, and sizes up to the 64-bit maximum.
ScanNodePtr randomTree(std::mt19937& random, int nodes, int& made) {
    const QString odd = PathCodec::decode(QByteArray("odd\xff\xfe"));
    ScanNodePtr root = ScanNode::create(QUuid::createUuid(), "r", "/r", NodeKind::dir, 1);
    std::vector<ScanNode*> folders{root.get()};
    made = 1;
    while (made < nodes) {
        ScanNode* folder = folders[random() % folders.size()];
        const int pick = static_cast<int>(random() % 100);
        ScanNodePtr child;
        if (pick < 25) {
            const QString name = QStringLiteral("Folder %1").arg(made) + (pick % 5 == 0 ? QStringLiteral("\u00e9") : QString());
            child = ScanNode::create(QUuid::createUuid(), name, folder->path() + '/' + name, NodeKind::dir,
                                     static_cast<qint64>(random()));
            folders.push_back(child.get());
        } else if (pick < 30) {
            child = ScanNode::create(QUuid::createUuid(), ScanNode::smallFilesName(pick), folder->path(), NodeKind::file,
                                     static_cast<qint64>(random()));
            child->isAggregate = true;
        } else if (pick < 32) {
            // A chain a few dozen folders deep.
            child = ScanNode::create(QUuid::createUuid(), "c", folder->path() + "/c", NodeKind::dir, 1);
            ScanNode* at = child.get();
            for (int i = 0; i < 40 && made < nodes; ++i, ++made) {
                auto next = ScanNode::create(QUuid::createUuid(), "c", at->path() + "/c", NodeKind::dir, 1);
                ScanNode* deeper = next.get();
                at->appendChild(std::move(next));
                at = deeper;
            }
            folders.push_back(at);
        } else {
            const QString name = (pick % 7 == 0 ? odd : QStringLiteral("file")) + QString::number(made) + ".bin";
            const qint64 size = pick % 11 == 0 ? std::numeric_limits<qint64>::max() : static_cast<qint64>(random());
            child = ScanNode::create(QUuid::createUuid(), name, folder->path() + '/' + name, NodeKind::file, size);
        }
        folder->children.push_back(child);  // sizes kept as given (parents are not needed here)
        ++made;
    }
    return root;
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

TEST(CachedScanJson, AcceptsAnyKeyOrderWhitespaceAndUnknownKeys) {
    const QByteArray document = R"( {
        "insights" : )" + kEmptyInsights + R"(,
        "extra" : [1, {"x": [true, false, null, -2.5e3]}],
        "root" : {"children":[], "size":7e0, "kind":"Folder", "path":"/p", "name":"n",
                  "future": {"a": "b"}, "id":"0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9"},
        "scannedAt" : -3, "rootName" : "v", "rootPath" : "/v" } )";
    std::optional<CachedScan> scan = CachedScanJson::decode(document);
    ASSERT_TRUE(scan);
    EXPECT_EQ(scan->root->size, 7);
    EXPECT_EQ(scan->root->kind, NodeKind::dir);  // kinds read by their exact name; any other is a folder
    EXPECT_EQ(CachedScanJson::kindFrom(u"File"), NodeKind::dir);
    EXPECT_EQ(scan->root->id, QUuid::fromString(QString::fromLatin1(kId)));
}

TEST(CachedScanJson, RejectsEverythingMalformed) {
    const QByteArray good = documentJson(nodeJson("a", nodeJson("b")));
    ASSERT_TRUE(CachedScanJson::decode(good));
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
    EXPECT_TRUE(rejects(edited(R"("size":5,)", "")));            // a nested node lacks a key
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
    EXPECT_TRUE(rejects(edited(R"("scannedAt":1.5)", R"("scannedAt":"1.5")")));
    EXPECT_TRUE(rejects(edited(R"("scannedAt":1.5)", R"("scannedAt":NaN)")));
    EXPECT_TRUE(rejects(edited(R"("scannedAt":1.5)", R"("scannedAt":1e999)")));
    EXPECT_TRUE(rejects(edited(R"("name":"b")", R"("name":"\x")")));
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
                                QString::fromUtf8("\xF0\x9F\x93\x81"), QString(QChar(0xDC80)), QString(QChar(0xDCFF))};
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
        // Another lone surrogate cannot be stored: it becomes U+FFFD.
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
    // Read in pieces, the chain crosses many of them and counts the same.
    EXPECT_TRUE(decodeBothWays(*json, 4096));

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
    EXPECT_FALSE(decodeBothWays(bomb(CachedScanJson::kMaxTreeDepth + 1), 4096));
    EXPECT_TRUE(decodeBothWays(bomb(CachedScanJson::kMaxTreeDepth), 4096));
    EXPECT_FALSE(CachedScanJson::decode(bomb(200000)));
}

TEST(CachedScanJson, LargeTreesReadInPiecesExactlyAsOnOneThread) {
    std::mt19937 random(11);
    for (int round = 0; round < 24; ++round) {
        int nodes = 0;
        const ScanNodePtr root = randomTree(random, 500 + static_cast<int>(random() % 4000), nodes);
        CachedScan scan{"/r", "r", QDateTime::fromMSecsSinceEpoch(0, Qt::UTC), root, ScanInsights::empty()};
        const QByteArray written = *CachedScanJson::encode(scan);
        // Pieces of a few hundred bytes up to a few kilobytes: their starts
        // land in deep chains, wide folders and every place between.
        const qint64 pieceBytes = 200 + static_cast<qint64>(random() % 4000);
        SCOPED_TRACE(testing::Message() << "round " << round << ", " << nodes << " nodes, pieces of " << pieceBytes);

        std::optional<CachedScan> back = decodeBothWays(written, pieceBytes);
        ASSERT_TRUE(back);
        expectSameNodes(*root, *back->root);
        // The node cap holds exactly, however the tree is cut.
        EXPECT_TRUE(decodeBothWays(written, pieceBytes, nodes));
        EXPECT_FALSE(decodeBothWays(written, pieceBytes, nodes - 1));

        // Other writers' forms (key orders, spaces, members of no meaning
        // shaped like nodes) read the same; one duplicate or missing key
        // anywhere is refused, both ways.
        const QByteArray varied = VariedWriter(random, 30, VariedWriter::Fault::none).document(*root, nodes);
        back = decodeBothWays(varied, pieceBytes);
        ASSERT_TRUE(back);
        expectSameNodes(*root, *back->root);
        for (auto fault : {VariedWriter::Fault::duplicateKey, VariedWriter::Fault::missingKey}) {
            const QByteArray faulty = VariedWriter(random, 30, fault).document(*root, nodes);
            EXPECT_FALSE(decodeBothWays(faulty, pieceBytes));
        }
        // A fault in the bytes anywhere: both ways give the same answer.
        QByteArray damaged = written;
        const qsizetype at = static_cast<qsizetype>(random() % static_cast<quint64>(damaged.size()));
        damaged[at] = "{}[],:\"x"[random() % 8];
        decodeBothWays(damaged, pieceBytes);
    }
}

TEST(CachedScanJson, NodeCountIsCappedBeforeTheNodesAreMade) {
    // The smallest node the reader accepts, and a flat tree of them.
    const QByteArray minimal = R"({"id":")" + kId + R"(","name":"","path":"","kind":"","size":0,"children":[]})";
    ASSERT_EQ(minimal.size(), 98);
    auto flat = [&minimal](int children) {
        QByteArray list = minimal;
        for (int i = 1; i < children; ++i) list += ',' + minimal;
        QByteArray root = minimal;
        root.replace("[]", "[" + list + "]");
        return documentJson(root);
    };
    // At the cap it reads; one node more is refused, whether the document is
    // large enough to have its nodes counted first or not.
    for (const qint64 cap : {40, 400}) {
        SCOPED_TRACE(cap);
        EXPECT_TRUE(decodeBothWays(flat(static_cast<int>(cap) - 1), 1000, cap));
        EXPECT_FALSE(decodeBothWays(flat(static_cast<int>(cap)), 1000, cap));
        // No document below 99 bytes a node can pass the cap.
        EXPECT_GE(flat(static_cast<int>(cap)).size(), 99 * (cap + 1) - 1);
    }
}

TEST(CachedScanJson, FileNameBytesThatAreNotUtf8SurviveAsTheirEscapes) {
    // Names as the walker makes them from bytes that are not UTF-8.
    const QByteArray raw[] = {"bad\xff.bin", "\xc3\x28", "caf\xe9", "\xed\xa0\x80-surrogate", "cut\xf0\x9f\x92",
                              "\x80\xbf", "mixed \xc3\xa9\xff \xf0\x9f\x93\x81"};
    CachedScan scan;
    scan.rootPath = "/data/" + PathCodec::decode(raw[0]);
    scan.rootName = PathCodec::decode(raw[0]);
    scan.scannedAt = QDateTime::fromMSecsSinceEpoch(0, Qt::UTC);
    scan.root = ScanNode::create(QUuid::createUuid(), scan.rootName, scan.rootPath, NodeKind::dir, 10);
    for (const QByteArray& bytes : raw) {
        const QString name = PathCodec::decode(bytes);
        ASSERT_TRUE(PathCodec::hasEscapedBytes(name)) << bytes.toStdString();
        scan.root->appendChild(ScanNode::create(QUuid::createUuid(), name, scan.rootPath + '/' + name, NodeKind::file, 1));
    }
    const QString odd = PathCodec::decode(raw[6]);
    scan.insights.largest.append(FileRecord{QUuid::createUuid(), odd, "/data/" + odd, 1, QDateTime::fromMSecsSinceEpoch(0, Qt::UTC), "other"});
    scan.insights.fileCount = 1;
    scan.insights.totalFileBytes = 1;

    const QByteArray json = *CachedScanJson::encode(scan);
    EXPECT_TRUE(json.contains(R"(bad\udcff.bin)")) << json.toStdString();
    // Another JSON reader sees the same texts.
    EXPECT_EQ(QJsonDocument::fromJson(json).object()["rootName"].toString(), scan.rootName);
    const std::optional<CachedScan> back = decodeBothWays(json, 100);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->rootPath, scan.rootPath);
    EXPECT_EQ(back->rootName, scan.rootName);
    EXPECT_EQ(back->insights, scan.insights);
    ASSERT_EQ(back->root->children.size(), std::size(raw));
    for (size_t i = 0; i < std::size(raw); ++i) {
        EXPECT_EQ(PathCodec::encode(back->root->children[i]->name), raw[i]);
        EXPECT_EQ(PathCodec::encode(back->root->children[i]->path()), "/data/bad\xff.bin/" + raw[i]);
    }

    // Escaped bytes read as themselves; other lone surrogates and encoded
    // surrogates are still refused.
    auto named = [](const QByteArray& text) { return CachedScanJson::decode(documentJson(nodeJson(text))); };
    for (const char* byte : {R"(\udc80)", R"(\udcff)", R"(\uDCAB)"}) {
        const std::optional<CachedScan> read = named(QByteArray("x") + byte);
        ASSERT_TRUE(read) << byte;
        EXPECT_EQ(read->root->name.size(), 2);
        EXPECT_TRUE(PathCodec::hasEscapedBytes(read->root->name));
    }
    const std::optional<CachedScan> pair = named(R"(\ud83d\udc80)");
    ASSERT_TRUE(pair);
    EXPECT_EQ(pair->root->name, QString::fromUtf8("\xF0\x9F\x92\x80"));
    for (const char* refused : {R"(\udc7f)", R"(\udc00)", R"(\ud800)", R"(\udfff)", R"(\udc80\ud800)"}) {
        EXPECT_FALSE(named(refused)) << refused;
    }
    EXPECT_FALSE(named("\xed\xb2\x80"));
}

TEST(CachedScanJson, IdsAreCheckedCharacterByCharacter) {
    const std::optional<CachedScan> good = CachedScanJson::decode(documentJson(nodeJson("a")));
    ASSERT_TRUE(good);
    EXPECT_EQ(good->root->id, QUuid::fromString(QString::fromLatin1(kId)));
    for (int at = 0; at < 36; ++at) {
        const bool hyphen = at == 8 || at == 13 || at == 18 || at == 23;
        // The characters on either side of each range of digits, and more.
        for (const char bad : {'/', ':', '@', 'G', '`', 'g', ' ', '-', '\x80', '\xC0', '0'}) {
            if (hyphen ? bad == '-' : bad == '0') continue;  // valid there
            QByteArray id = kId;
            id[at] = bad;
            QByteArray json = documentJson(nodeJson("a"));
            json.replace(kId, id);
            EXPECT_FALSE(CachedScanJson::decode(json)) << at << " " << int(bad);
        }
    }
}
