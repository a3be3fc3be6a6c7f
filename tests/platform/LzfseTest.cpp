#include "platform/Lzfse.h"
#include "platform/LzfseEncoder.h"
#include "platform/LzfseFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace tarnwick;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes readVector(const std::string& name) {
    std::ifstream file(std::string(TARNWICK_TEST_DATA_DIR) + "/lzfse/" + name, std::ios::binary);
    EXPECT_TRUE(file) << name;
    return Bytes(std::istreambuf_iterator<char>(file), {});
}

struct Vector {
    std::string name;
    Bytes original;
    Bytes stream;
};

std::vector<Vector> testVectors() {
    std::vector<Vector> vectors;
    for (const char* name : {"tiny.json", "activity-3k.json", "tree.json", "text-225k.txt", "random-64k.bin"})
        vectors.push_back({name, readVector(name), readVector(std::string(name) + ".lzfse")});
    vectors.push_back({"zeros-3000000.bin", Bytes(3000000, 0), readVector("zeros-3000000.bin.lzfse")});
    return vectors;
}

std::optional<Bytes> decode(const Bytes& stream, size_t cap) {
    return Lzfse::decompress(stream.data(), stream.size(), cap);
}

Bytes encode(const Bytes& data) { return Lzfse::compress(data.data(), data.size()); }

std::string magicOf(const Bytes& stream, size_t offset = 0) {
    return stream.size() >= offset + 4 ? std::string(stream.begin() + long(offset), stream.begin() + long(offset) + 4)
                                       : std::string();
}

// Deterministic pseudo-random bytes.
struct Lcg {
    uint64_t state;
    uint32_t next() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return uint32_t(state >> 33);
    }
};

Bytes randomBytes(size_t size, uint64_t seed) {
    Lcg lcg{seed};
    Bytes out(size);
    for (uint8_t& b : out) b = uint8_t(lcg.next());
    return out;
}

// Text-like data: words from a small vocabulary, so it has matches at all
// distances and a skewed literal alphabet.
Bytes wordyBytes(size_t size, uint64_t seed) {
    static const char* kWords[] = {"size",  "folder", "\"name\":", "Library", "cache", " ",    "{",    "},",
                                   "12345", "file",   "\"kind\":", "dir",     "0.5",   "Safe", "Bin",  "\n"};
    Lcg lcg{seed};
    Bytes out;
    while (out.size() < size) {
        const char* w = kWords[lcg.next() % 16];
        out.insert(out.end(), w, w + std::strlen(w));
        if (lcg.next() % 7 == 0) out.push_back(uint8_t('a' + lcg.next() % 26));
    }
    out.resize(size);
    return out;
}

Bytes lzvnBlock(const Bytes& payload, uint32_t rawBytes) {
    Bytes s = {'b', 'v', 'x', 'n'};
    for (uint32_t v : {rawBytes, uint32_t(payload.size())})
        for (int i = 0; i < 4; ++i) s.push_back(uint8_t(v >> (8 * i)));
    s.insert(s.end(), payload.begin(), payload.end());
    s.insert(s.end(), {'b', 'v', 'x', '$'});
    return s;
}

}  // namespace

TEST(Lzfse, EveryTestVectorDecodesExactlyWithinItsSizeAndOursIsAsSmall) {
    for (const Vector& v : testVectors()) {
        SCOPED_TRACE(v.name);
        const std::optional<Bytes> decoded = decode(v.stream, v.original.size());
        ASSERT_TRUE(decoded);
        EXPECT_TRUE(*decoded == v.original);
        // The same into a buffer that is never zero-filled first.
        const std::optional<ByteBuffer> buffer = Lzfse::decompressToBuffer(v.stream.data(), v.stream.size(),
                                                                           v.original.size());
        ASSERT_TRUE(buffer);
        EXPECT_TRUE(Bytes(buffer->begin(), buffer->end()) == v.original);
        // One byte less room than the stream claims is refused.
        EXPECT_FALSE(decode(v.stream, v.original.size() - 1));
        EXPECT_FALSE(decode(v.stream, 0));
        const Bytes ours = encode(v.original);
        EXPECT_LE(double(ours.size()), double(v.stream.size()) * 1.05);
        EXPECT_TRUE(decode(ours, v.original.size()) == v.original);
    }
    // A block claiming far more than the stream could hold is refused up front.
    const Bytes huge = {'b', 'v', 'x', '-', 0xff, 0xff, 0xff, 0x7f, 'b', 'v', 'x', '$'};
    EXPECT_FALSE(decode(huge, size_t(1) << 40));
    EXPECT_FALSE(Lzfse::decompressToBuffer(huge.data(), huge.size(), size_t(1) << 40));
    const Bytes empty = {'b', 'v', 'x', '$'};
    EXPECT_TRUE(decode(empty, 0));
    const std::optional<ByteBuffer> nothing = Lzfse::decompressToBuffer(empty.data(), empty.size(), 0);
    ASSERT_TRUE(nothing);
    EXPECT_TRUE(nothing->empty());
}

TEST(Lzfse, DecodesLargeStreamsIntoAMappedBuffer) {
    // Past the size from which the buffer is mapped on its own, with matches
    // across all of it.
    Bytes input = wordyBytes(ByteBuffer::kMappedFrom + 12345, 21);
    const Bytes stream = encode(input);
    const std::optional<ByteBuffer> buffer = Lzfse::decompressToBuffer(stream.data(), stream.size(), input.size());
    ASSERT_TRUE(buffer);
    EXPECT_TRUE(std::equal(buffer->begin(), buffer->end(), input.begin(), input.end()));
    EXPECT_FALSE(Lzfse::decompressToBuffer(stream.data(), stream.size(), input.size() - 1));
    Bytes cut(stream.begin(), stream.end() - 5);
    cut.insert(cut.end(), {'b', 'v', 'x', '$'});
    EXPECT_FALSE(Lzfse::decompressToBuffer(cut.data(), cut.size(), input.size()));

    // A buffer moves without copying and releases its memory once.
    std::optional<ByteBuffer> moved = ByteBuffer::allocate(ByteBuffer::kMappedFrom);
    ASSERT_TRUE(moved);
    const uint8_t* data = moved->data();
    ByteBuffer taken = std::move(*moved);
    EXPECT_EQ(taken.data(), data);
    EXPECT_TRUE(moved->empty());
}

TEST(Lzfse, IncompressibleInputGrowsLittle) {
    // What would not shrink is stored raw; large random input grows by under 2 %.
    EXPECT_LE(encode(randomBytes(4095, 2)).size(), 4095u + 12u);
    const Bytes random = encode(randomBytes(100000, 3));
    EXPECT_LT(random.size(), 100000u + 100000u / 50);
    EXPECT_EQ(magicOf(random, random.size() - 4), "bvx$");
}

TEST(Lzfse, RoundTripsAcrossSizesAndKindsOfData) {
    const size_t sizes[] = {0, 1, 7, 8, 9, 100, 4095, 4096, 4097, 65536 + 3, 1 << 20};
    for (size_t size : sizes) {
        const Bytes inputs[] = {wordyBytes(size, size), randomBytes(size, size + 1), Bytes(size, 0x5a)};
        for (const Bytes& input : inputs) {
            const Bytes stream = encode(input);
            const std::optional<Bytes> decoded = decode(stream, size);
            ASSERT_TRUE(decoded) << size;
            EXPECT_TRUE(*decoded == input) << size;
        }
    }
    // Long literal runs, long matches and distances near the format's limit
    // across many blocks: random data repeated at a distance of 200,000.
    Bytes mixed = randomBytes(200000, 9);
    mixed.insert(mixed.end(), mixed.begin(), mixed.end());
    mixed.resize(mixed.size() + 70000, 0);
    const Bytes tail = wordyBytes(500000, 10);
    mixed.insert(mixed.end(), tail.begin(), tail.end());
    const Bytes stream = encode(mixed);
    EXPECT_LT(stream.size(), 360000u);  // the repeat is found: about 202,000 + 143,000
    const std::optional<Bytes> decoded = decode(stream, mixed.size());
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(*decoded == mixed);
}

TEST(Lzfse, ReadsBlocksWithPlainFrequencyTables) {
    const Bytes input = wordyBytes(300000, 4);
    Bytes stream;
    LzfseEncoder(true).encode(input.data(), input.size(), stream);
    EXPECT_EQ(magicOf(stream), "bvx1");
    stream.insert(stream.end(), {'b', 'v', 'x', '$'});
    const std::optional<Bytes> decoded = decode(stream, input.size());
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(*decoded == input);

    // A frequency table summing past its state count is refused.
    Bytes overflow = stream;
    overflow[50] = 0xff;  // first L frequency
    EXPECT_FALSE(decode(overflow, input.size()));
    // So is an initial state beyond its table.
    Bytes badState = stream;
    badState[44] = 64;  // L state
    badState[45] = 0;
    EXPECT_FALSE(decode(badState, input.size()));
}

TEST(Lzfse, RefusesMalformedStreams) {
    const Bytes tiny = readVector("tiny.json.lzfse");
    const Bytes tree = readVector("tree.json.lzfse");
    EXPECT_FALSE(decode({}, 100));                                    // nothing at all
    EXPECT_FALSE(decode(Bytes{'b', 'v', 'x'}, 100));                  // cut magic
    EXPECT_FALSE(decode(Bytes{'b', 'v', 'x', '3', 0, 0, 0, 0}, 100));  // unknown magic
    EXPECT_FALSE(decode(Bytes(tiny.begin(), tiny.end() - 4), 100));  // no end block
    Bytes trailing = tiny;
    trailing.push_back(0);
    EXPECT_FALSE(decode(trailing, 100));  // bytes after the end block

    // LZVN: one literal 'A' then the end opcode decodes; without the end
    // opcode, with an undefined opcode, with a distance reaching before the
    // output, or with fewer bytes than the header claims it does not.
    const Bytes eos = {0x06, 0, 0, 0, 0, 0, 0, 0};
    Bytes ok = {0xe1, 'A'};
    ok.insert(ok.end(), eos.begin(), eos.end());
    EXPECT_EQ(decode(lzvnBlock(ok, 1), 10), Bytes{'A'});
    EXPECT_FALSE(decode(lzvnBlock({0xe1, 'A'}, 1), 10));
    EXPECT_FALSE(decode(lzvnBlock({0xe1, 'A', 0x70, 0, 0x06, 0, 0, 0, 0, 0, 0, 0}, 1), 10));
    Bytes far = {0x40, 0x05, 'A'};  // one literal, then 3 bytes from distance 5
    far.insert(far.end(), eos.begin(), eos.end());
    EXPECT_FALSE(decode(lzvnBlock(far, 4), 10));
    EXPECT_FALSE(decode(lzvnBlock(ok, 2), 10));
    Bytes near = {0x40, 0x01, 'A'};  // distance 1 repeats the literal
    near.insert(near.end(), eos.begin(), eos.end());
    EXPECT_EQ(decode(lzvnBlock(near, 4), 10), (Bytes{'A', 'A', 'A', 'A'}));

    // Packed header fields out of range: an L state of 64 and a header size
    // below the fixed part.
    Bytes badState = tree;
    badState[28] = 64;
    badState[29] &= 0xfc;
    EXPECT_FALSE(decode(badState, 1 << 20));
    Bytes shortHeader = tree;
    shortHeader[24] = 16;
    shortHeader[25] = 0;
    EXPECT_FALSE(decode(shortHeader, 1 << 20));
    // More literals than the block's output could hold.
    Bytes manyLiterals = tree;
    manyLiterals[8] = 0xff;
    manyLiterals[9] = 0xff;
    manyLiterals[10] |= 0x0f;
    EXPECT_FALSE(decode(manyLiterals, 1 << 20));
    // A packed header claiming no size at all (once made the reader spin).
    Bytes empty = {'b', 'v', 'x', '2'};
    empty.resize(32, 0);
    empty.insert(empty.end(), {'b', 'v', 'x', '$'});
    EXPECT_FALSE(decode(empty, 1 << 20));
}

// Every test vector and each of our own streams, cut short, bit-flipped and
// byte-swapped in many deterministic ways, must decode to nothing or to at
// most the cap, without touching memory it does not own (the sanitizer
// builds and the fuzz target check the latter).
TEST(Lzfse, SurvivesCorruptedStreams) {
    std::vector<std::pair<std::string, Bytes>> streams;
    for (const Vector& v : testVectors()) {
        streams.push_back({v.name, v.stream});
        streams.push_back({v.name + " (ours)", encode(v.original)});
    }
    streams.push_back({"lzvn", encode(wordyBytes(3000, 5))});
    const size_t cap = 4 << 20;
    size_t refused = 0, decoded = 0;
    auto check = [&](const Bytes& s, const std::string& what) {
        const std::optional<Bytes> out = decode(s, cap);
        if (out) {
            ++decoded;
            EXPECT_LE(out->size(), cap) << what;
        } else {
            ++refused;
        }
    };
    for (const auto& [name, stream] : streams) {
        Lcg lcg{stream.size()};
        const size_t n = stream.size();
        // Cut at every offset of small streams, at 400 offsets of large ones.
        const size_t cutStep = std::max<size_t>(1, n / 400);
        for (size_t cut = 0; cut < n; cut += cutStep) check(Bytes(stream.begin(), stream.begin() + long(cut)), name);
        // Single flipped bits, evenly spread plus some at random.
        const size_t flips = std::min<size_t>(n, 600);
        for (size_t i = 0; i < flips; ++i) {
            Bytes s = stream;
            const size_t at = i < flips / 2 ? i * n / (flips / 2) : lcg.next() % n;
            s[at] ^= uint8_t(1u << (lcg.next() % 8));
            check(s, name);
        }
        // Neighbouring and distant bytes swapped; a run of bytes overwritten.
        for (size_t i = 0; i < 200 && n > 1; ++i) {
            Bytes s = stream;
            const size_t a = lcg.next() % n;
            const size_t b = i % 2 ? (a + 1) % n : lcg.next() % n;
            std::swap(s[a], s[b]);
            check(s, name);
            const size_t at = lcg.next() % n;
            for (size_t k = at; k < std::min(n, at + 8); ++k) s[k] = uint8_t(lcg.next());
            check(s, name);
        }
    }
    // The sweep must reach the decoders' inner checks, not only the framing.
    EXPECT_GT(refused, 1000u);
    EXPECT_GT(decoded, 10u);
}
