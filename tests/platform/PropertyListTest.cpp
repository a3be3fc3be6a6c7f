#include "platform/PropertyList.h"

#include "TestSupport.h"

#include <plist/plist.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <vector>

using namespace tarnwick;

namespace {

// A binary property list assembled object by object: each object's bytes as
// given (references one byte wide), then the offset table and the trailer.
QByteArray binaryPlist(const std::vector<QByteArray>& objects, quint8 top = 0) {
    QByteArray out("bplist00");
    std::vector<quint32> offsets;
    for (const QByteArray& object : objects) {
        offsets.push_back(quint32(out.size()));
        out.append(object);
    }
    const quint64 table = quint64(out.size());
    for (quint32 offset : offsets) {
        out.append(char(offset >> 24)).append(char(offset >> 16)).append(char(offset >> 8)).append(char(offset));
    }
    QByteArray trailer(32, '\0');
    trailer[6] = 4;  // offset width
    trailer[7] = 1;  // reference width
    auto put = [&](int at, quint64 value) {
        for (int i = 0; i < 8; ++i) trailer[at + i] = char(value >> (8 * (7 - i)));
    };
    put(8, objects.size());
    put(16, top);
    put(24, table);
    return out + trailer;
}

QByteArray array(std::initializer_list<quint8> refs) {
    QByteArray object(1, char(0xA0 | refs.size()));
    for (quint8 ref : refs) object.append(char(ref));
    return object;
}

QByteArray ascii(const QByteArray& text) {
    return QByteArray(1, char(0x50 | text.size())) + text;
}

const QByteArray kTrue(1, char(0x09));

// Arrays nested `depth` deep around one leaf.
std::vector<QByteArray> chain(int depth) {
    std::vector<QByteArray> objects;
    for (int i = 0; i < depth; ++i) objects.push_back(array({quint8(i + 1)}));
    objects.push_back(kTrue);
    return objects;
}

QByteArray nestedXml(int depth) {
    QByteArray xml = "<?xml version=\"1.0\"?>\n<plist version=\"1.0\">";
    for (int i = 0; i < depth; ++i) xml += "<array>";
    for (int i = 0; i < depth; ++i) xml += "</array>";
    return xml + "</plist>";
}

QByteArray viaLibplist(plist_t root, bool binary) {
    char* bytes = nullptr;
    uint32_t length = 0;
    binary ? plist_to_bin(root, &bytes, &length) : plist_to_xml(root, &bytes, &length);
    QByteArray out(bytes, int(length));
    std::free(bytes);
    plist_free(root);
    return out;
}

}  // namespace

TEST(PropertyList, ReadsTextValuesOfBothFormatsAndChecksTheirTypes) {
    for (const bool binary : {false, true}) {
        SCOPED_TRACE(binary ? "binary" : "xml");
        plist_t dict = plist_new_dict();
        plist_dict_set_item(dict, "CFBundleIdentifier", plist_new_string("com.example.Tool"));
        plist_dict_set_item(dict, "Name", plist_new_string("Caf\u00e9 \u2014 Tool"));
        plist_dict_set_item(dict, "CFBundleVersion", plist_new_uint(42));
        plist_dict_set_item(dict, "Nested", plist_new_dict());
        const std::optional<PropertyList> list = PropertyList::parse(viaLibplist(dict, binary));
        ASSERT_TRUE(list);
        EXPECT_TRUE(list->isDictionary());
        EXPECT_EQ(list->text("CFBundleIdentifier"), QStringLiteral("com.example.Tool"));
        EXPECT_EQ(list->text("Name"), QStringLiteral("Caf\u00e9 \u2014 Tool"));
        EXPECT_EQ(list->text("CFBundleVersion"), std::nullopt) << "a number is not text";
        EXPECT_EQ(list->text("Nested"), std::nullopt);
        EXPECT_EQ(list->text("Missing"), std::nullopt);
    }
    plist_t top = plist_new_array();
    plist_array_append_item(top, plist_new_string("x"));
    const std::optional<PropertyList> list = PropertyList::parse(viaLibplist(top, false));
    ASSERT_TRUE(list);
    EXPECT_FALSE(list->isDictionary());
    EXPECT_EQ(list->text("x"), std::nullopt);
}

TEST(PropertyList, RefusesWhatCouldHurtTheParser) {
    const QByteArray valid = binaryPlist({array({1, 1}), kTrue});
    ASSERT_TRUE(PropertyList::isWithinLimits(valid)) << "one object named twice is fine";
    ASSERT_TRUE(PropertyList::parse(valid));

    std::vector<QByteArray> lattice;  // each level names the next twice: 2^31 nodes unfolded
    for (quint8 i = 0; i < 30; ++i) lattice.push_back(array({quint8(i + 1), quint8(i + 1)}));
    lattice.push_back(kTrue);

    QByteArray badOffset = valid;
    badOffset[badOffset.size() - 32 - 1] = char(0x7F);  // the last offset points into the table
    QByteArray badRef = binaryPlist({array({1, 9}), kTrue});
    QByteArray longCount = binaryPlist({QByteArray("\xAF\x13\x7F\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 10), kTrue});

    const struct Case {
        const char* what;
        QByteArray bytes;
        bool accepted;
    } cases[] = {
        {"binary at the depth limit", binaryPlist(chain(PropertyList::kMaxDepth)), true},
        {"binary nested deeper", binaryPlist(chain(PropertyList::kMaxDepth + 1)), false},
        {"binary of one leaf", binaryPlist({ascii("x")}), true},
        {"binary loop", binaryPlist({array({0})}), false},
        {"binary shared-object explosion", binaryPlist(lattice), false},
        {"binary offset outside the objects", badOffset, false},
        {"binary reference outside the table", badRef, false},
        {"binary count beyond the document", longCount, false},
        {"binary truncated", valid.left(valid.size() - 5), false},
        {"binary of another version", QByteArray("bplist15") + valid.mid(8), false},
        {"XML at the depth limit", nestedXml(PropertyList::kMaxDepth), true},
        {"XML nested deeper", nestedXml(PropertyList::kMaxDepth + 1), false},
        {"XML nested very deep", nestedXml(60000), false},
        {"XML closing more than it opened", "<plist><dict></dict></dict><dict></dict></plist>", false},
        {"XML closing tags hidden in a comment",
         "<plist><!-- </array></array> --><array><array></array></array></plist>", true},
        {"XML tag with an open quote", "<plist><key a=\"></key>\"></plist>", false},
        {"XML tag holding a tag", "<plist><key a=\"</array>\"></plist>", false},
        {"XML cut inside a comment", "<plist><!-- ", false},
        {"empty", QByteArray(), false},
        {"larger than the cap", QByteArray(PropertyList::kMaxBytes + 1, ' '), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PropertyList::isWithinLimits(c.bytes), c.accepted) << c.what;
        if (!c.accepted) {
            EXPECT_FALSE(PropertyList::parse(c.bytes)) << c.what;
        }
    }
    EXPECT_TRUE(PropertyList::isWithinLimits(nestedXml(3) + "<!-- <array><array> -->"))
        << "containers opened in a comment count, but three plus two is within the limit";
    QByteArray commented = nestedXml(PropertyList::kMaxDepth - 1);
    commented.insert(commented.indexOf("<array>"), "<!-- <dict><dict> -->");
    EXPECT_FALSE(PropertyList::isWithinLimits(commented)) << "a comment's containers count on the safe side";
}

TEST(PropertyList, ReadsOnlyRegularFilesWithinTheCap) {
    test::FakeEnvironment env;
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "k", plist_new_string("v"));
    const QByteArray bytes = viaLibplist(dict, true);
    const QString file = test::writeFile(env.path("a.plist"), bytes);
    ASSERT_TRUE(PropertyList::read(file));
    EXPECT_EQ(PropertyList::read(file)->text("k"), QStringLiteral("v"));

    EXPECT_FALSE(PropertyList::read(env.path("missing.plist")));
    EXPECT_FALSE(PropertyList::read(test::makeDir(env.path("folder.plist"))));
    const QString big = test::writeFile(env.path("big.plist"), QByteArray(PropertyList::kMaxBytes + 10, ' '));
    EXPECT_FALSE(PropertyList::read(big));
    const QString fifo = env.path("fifo.plist");
    ASSERT_EQ(::mkfifo(fifo.toUtf8().constData(), 0600), 0);
    EXPECT_FALSE(PropertyList::read(fifo)) << "a pipe is refused without waiting for a writer";
    const QString truncated = test::writeFile(env.path("cut.plist"), bytes.left(bytes.size() / 2));
    EXPECT_FALSE(PropertyList::read(truncated));
}
