#pragma once

#include "platform/LzfseFormat.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tarnwick {

// The header of a compressed LZFSE block, in either of its two layouts: with
// plain frequency tables ("bvx1", fixed size) or with packed fields and
// variable-length frequency tables ("bvx2"). The literal payload follows the
// header, the L/M/D payload follows the literal payload.
class LzfseBlockHeader {
public:
    static constexpr size_t kPlainBytes = 772;  // fixed size of a "bvx1" header
    static constexpr size_t kPackedFixedBytes = 32;  // "bvx2" header before its tables

    uint32_t rawBytes = 0;             // bytes the block decodes to
    uint32_t literalCount = 0;         // literals coded, a multiple of 4 when written by us
    uint32_t matchCount = 0;           // L/M/D triplets coded
    uint32_t literalPayloadBytes = 0;  // bytes of the literal bit stream
    uint32_t lmdPayloadBytes = 0;      // bytes of the L/M/D bit stream
    int32_t literalBits = 0;           // unused high bits of the literal stream's last byte, as -7..0
    int32_t lmdBits = 0;               // same for the L/M/D stream
    uint16_t literalState[4] = {};     // initial states of the four interleaved literal decoders
    uint16_t lState = 0;
    uint16_t mState = 0;
    uint16_t dState = 0;
    // Normalised frequencies, in stream order: L, M, D, then literals.
    uint16_t frequencies[LzfseFormat::kFrequencyCount] = {};
    uint32_t headerBytes = 0;  // size of the header as read or written

    uint16_t* lFreq() { return frequencies; }
    uint16_t* mFreq() { return frequencies + LzfseFormat::kLSymbols; }
    uint16_t* dFreq() { return mFreq() + LzfseFormat::kMSymbols; }
    uint16_t* literalFreq() { return dFreq() + LzfseFormat::kDSymbols; }
    const uint16_t* lFreq() const { return frequencies; }
    const uint16_t* mFreq() const { return frequencies + LzfseFormat::kLSymbols; }
    const uint16_t* dFreq() const { return mFreq() + LzfseFormat::kMSymbols; }
    const uint16_t* literalFreq() const { return dFreq() + LzfseFormat::kDSymbols; }

    // Reads a header starting at its magic. Nothing when it does not fit in
    // `available` bytes, its tables are malformed or a state or bit count is
    // out of range. Payload sizes are not checked against the input here.
    static std::optional<LzfseBlockHeader> readPlain(const uint8_t* data, size_t available);
    static std::optional<LzfseBlockHeader> readPacked(const uint8_t* data, size_t available);

    // The header bytes (magic included) in either layout; sets headerBytes.
    std::vector<uint8_t> packed();
    std::vector<uint8_t> plain();

private:
    bool rangesValid() const;
};

}  // namespace tarnwick
