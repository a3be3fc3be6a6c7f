#include "platform/Lzfse.h"

#include "platform/LzfseDecoder.h"
#include "platform/LzfseEncoder.h"
#include "platform/LzfseFormat.h"
#include "platform/LzvnEncoder.h"

namespace tarnwick::Lzfse {

using namespace LzfseFormat;

namespace {

void append32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

void appendRawBlock(std::vector<uint8_t>& out, const uint8_t* data, size_t size) {
    append32(out, kRawMagic);
    append32(out, uint32_t(size));
    out.insert(out.end(), data, data + size);
}

}  // namespace

std::vector<uint8_t> compress(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out;
    if (size == 0) {
        // Nothing to carry: the stream is just its end.
    } else if (size < kRawThreshold) {
        appendRawBlock(out, data, size);
    } else if (size < kLzvnThreshold) {
        const std::vector<uint8_t> payload = LzvnEncoder::encode(data, size);
        if (12 + payload.size() < 8 + size) {
            append32(out, kLzvnMagic);
            append32(out, uint32_t(size));
            append32(out, uint32_t(payload.size()));
            out.insert(out.end(), payload.begin(), payload.end());
        } else {
            appendRawBlock(out, data, size);
        }
    } else {
        LzfseEncoder encoder;
        encoder.encode(data, size, out);
    }
    append32(out, kEndOfStreamMagic);
    return out;
}

std::optional<std::vector<uint8_t>> decompress(const uint8_t* data, size_t size, size_t maxOutput) {
    LzfseDecoder decoder(maxOutput);
    return decoder.decode(data, size);
}

}  // namespace tarnwick::Lzfse
