#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// Whole-buffer compression in the LZFSE stream format: a sequence of blocks
// ("bvx-" raw, "bvxn" LZVN, "bvx1"/"bvx2" LZFSE), closed by "bvx$", with no
// header, length or checksum of its own.
namespace tarnwick::Lzfse {

// Compresses a whole buffer: one raw block below 8 bytes, one LZVN block
// below 4 KiB (raw when that is not smaller), LZFSE blocks above; empty
// input gives just the end-of-stream block.
std::vector<uint8_t> compress(const uint8_t* data, size_t size);

// Decompresses a whole stream. Nothing when the stream is malformed,
// truncated, followed by stray bytes, or would decode to more than
// maxOutput bytes.
std::optional<std::vector<uint8_t>> decompress(const uint8_t* data, size_t size, size_t maxOutput);

}  // namespace tarnwick::Lzfse
