#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarnwick {

class LzfseBlockWriter;

// Finds matches for LZFSE blocks: a hash table of recent positions (four per
// bucket) plus the last distance used, the longest candidate extended
// backwards over pending literals, and a match deferred while the next
// position offers a longer one. Matches of 40 bytes or more are taken at
// once; long runs without any match are scanned with a growing stride.
// The triplets go to an LzfseBlockWriter.
class LzfseEncoder {
public:
    // plainTables: write "bvx1" blocks instead of "bvx2" ones.
    explicit LzfseEncoder(bool plainTables = false) : plainTables_(plainTables) {}

    // Appends the compressed blocks of the whole buffer to `out` (without
    // the end-of-stream block).
    void encode(const uint8_t* data, size_t size, std::vector<uint8_t>& out);

private:
    struct Match {
        uint32_t pos = 0;
        uint32_t ref = 0;
        uint32_t length = 0;
    };

    // The most recent positions whose first four bytes hash alike, newest
    // first, with those four bytes.
    static constexpr int kBucketWidth = 4;
    struct Bucket {
        int32_t pos[kBucketWidth];
        uint32_t value[kBucketWidth];
    };

    void parse(const uint8_t* src, uint32_t size, LzfseBlockWriter& writer);
    Match find(uint32_t pos);
    void insert(uint32_t pos);
    uint32_t hashOf(uint32_t fourBytes) const { return (fourBytes * 2654435761u) >> (32 - hashBits_); }
    static void pushFront(Bucket& b, uint32_t pos, uint32_t value);
    void extendBackwards(Match& m, uint32_t floor) const;

    bool plainTables_;
    const uint8_t* src_ = nullptr;
    uint32_t size_ = 0;
    uint32_t lastDistance_ = 0;
    int hashBits_ = 14;
    std::vector<Bucket> table_;
};

}  // namespace tarnwick
