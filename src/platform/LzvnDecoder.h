#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnwick {

// Decodes the payload of an LZVN block ("bvxn"): a byte-oriented LZ77 code
// of literal runs and matches, ended by its end-of-stream opcode.
class LzvnDecoder {
public:
    // Decodes `payload` into output[start, start + rawBytes); matches may
    // reach back to output[0]. True only when the end opcode is reached with
    // exactly rawBytes written; nothing outside that range is written and
    // nothing outside the payload and output[0, start + rawBytes) is read.
    static bool decode(const uint8_t* payload, size_t payloadBytes, uint8_t* output, size_t start,
                       size_t rawBytes);
};

}  // namespace tarnwick
