#pragma once

#include "platform/FseCodec.h"
#include "platform/LzfseFormat.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarnwick {

class LzfseBlockHeader;

// Collects the literals and (L, M, D) triplets of a match finder and writes
// them as compressed LZFSE blocks: frequencies normalised per block, four
// interleaved literal coders, L/M/D coded backwards. A block is closed when
// it holds as many literals or triplets as a block may.
class LzfseBlockWriter {
public:
    // plainTables: write "bvx1" blocks with uncompressed frequency tables
    // instead of "bvx2" ones (readers accept both; ours write "bvx2").
    LzfseBlockWriter(std::vector<uint8_t>& out, bool plainTables = false);

    // `literalCount` literals, then `matchLength` bytes from `distance` back
    // (matchLength 0: literals only). Long runs are split as needed.
    void add(const uint8_t* literals, uint32_t literalCount, uint32_t matchLength, uint32_t distance);

    // Writes the block in progress, if any.
    void finish();

private:
    void addTriplet(const uint8_t* literals, uint32_t literalCount, uint32_t matchLength, uint32_t distance);
    void writeBlock();
    size_t maxLiteralPayload() const;
    size_t maxTripletPayload() const;
    // Code the payloads at `payload`, which has room for the maximum sizes.
    void encodeLiterals(LzfseBlockHeader& header, uint8_t* payload);
    void encodeTriplets(LzfseBlockHeader& header, uint8_t* payload);

    std::vector<uint8_t>& out_;
    bool plainTables_;
    std::vector<uint8_t> literals_;
    std::vector<uint16_t> lValues_;
    std::vector<uint16_t> mValues_;
    std::vector<uint32_t> dValues_;  // 0: the previous triplet's distance
    uint32_t rawBytes_ = 0;
    uint32_t decoderDistance_ = 0;  // the distance a reader holds after the last triplet

    FseEncoderEntry literalTable_[LzfseFormat::kLiteralSymbols];
    FseEncoderEntry lTable_[LzfseFormat::kLSymbols];
    FseEncoderEntry mTable_[LzfseFormat::kMSymbols];
    FseEncoderEntry dTable_[LzfseFormat::kDSymbols];
};

}  // namespace tarnwick
