#pragma once

#include "platform/FseCodec.h"
#include "platform/LzfseFormat.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tarnwick {

class LzfseBlockHeader;

// Decodes a whole LZFSE stream: raw, LZVN and compressed blocks, closed by
// the end-of-stream block. Any malformed, truncated or over-long stream
// yields nothing; reads stay inside the input, writes inside the output, and
// the output (and every working buffer) stays within the cap it was given.
class LzfseDecoder {
public:
    explicit LzfseDecoder(size_t maxOutput) : maxOutput_(maxOutput) {}

    std::optional<std::vector<uint8_t>> decode(const uint8_t* data, size_t size);

private:
    // The total the blocks claim to decode to; nothing when the block
    // structure is broken or the total exceeds the cap.
    std::optional<size_t> measure(const uint8_t* data, size_t size);
    // Takes the next rawBytes of the output for a block.
    bool claim(uint32_t rawBytes);
    bool decodeCompressed(const LzfseBlockHeader& header, const uint8_t* block);
    bool decodeLiterals(const LzfseBlockHeader& header, const uint8_t* block);
    bool decodeTriplets(const LzfseBlockHeader& header, const uint8_t* block, size_t start);

    size_t maxOutput_;
    std::vector<uint8_t> output_;
    size_t produced_ = 0;
    std::vector<uint8_t> literals_;
    FseDecoderEntry literalTable_[LzfseFormat::kLiteralStates];
    FseValueDecoderEntry lTable_[LzfseFormat::kLStates];
    FseValueDecoderEntry mTable_[LzfseFormat::kMStates];
    FseValueDecoderEntry dTable_[LzfseFormat::kDStates];
};

}  // namespace tarnwick
