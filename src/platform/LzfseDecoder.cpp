#include "platform/LzfseDecoder.h"

#include "platform/LzCopy.h"
#include "platform/LzfseBlockHeader.h"
#include "platform/LzvnDecoder.h"

#include <algorithm>
#include <cstring>

namespace tarnwick {

using namespace LzfseFormat;

namespace {

// Counts a block may claim; a packed header cannot say more.
constexpr uint32_t kMaxCount = (1u << 20) - 1;

}  // namespace

std::optional<std::vector<uint8_t>> LzfseDecoder::decode(const uint8_t* data, size_t size) {
    output_.clear();
    size_t pos = 0;
    for (;;) {
        const size_t left = size - pos;
        if (left < 4) return std::nullopt;  // no end-of-stream block
        const uint8_t* block = data + pos;
        switch (load32(block)) {
        case kEndOfStreamMagic:
            if (left != 4) return std::nullopt;  // bytes after the end of the stream
            return std::move(output_);
        case kRawMagic: {
            if (left < 8) return std::nullopt;
            const uint32_t rawBytes = load32(block + 4);
            if (rawBytes > left - 8 || !grow(rawBytes)) return std::nullopt;
            std::memcpy(output_.data() + output_.size() - rawBytes, block + 8, rawBytes);
            pos += 8 + size_t(rawBytes);
            break;
        }
        case kLzvnMagic: {
            if (left < 12) return std::nullopt;
            const uint32_t rawBytes = load32(block + 4);
            const uint32_t payloadBytes = load32(block + 8);
            if (payloadBytes > left - 12 || !grow(rawBytes)) return std::nullopt;
            const size_t start = output_.size() - rawBytes;
            if (!LzvnDecoder::decode(block + 12, payloadBytes, output_.data(), start, rawBytes)) return std::nullopt;
            pos += 12 + size_t(payloadBytes);
            break;
        }
        case kPlainTablesMagic:
        case kPackedTablesMagic: {
            const std::optional<LzfseBlockHeader> header = load32(block) == kPlainTablesMagic
                                                               ? LzfseBlockHeader::readPlain(block, left)
                                                               : LzfseBlockHeader::readPacked(block, left);
            if (!header) return std::nullopt;
            const uint64_t blockBytes =
                uint64_t(header->headerBytes) + header->literalPayloadBytes + header->lmdPayloadBytes;
            if (blockBytes > left) return std::nullopt;
            if (!decodeCompressed(*header, block)) return std::nullopt;
            pos += size_t(blockBytes);
            break;
        }
        default:
            return std::nullopt;
        }
    }
}

bool LzfseDecoder::grow(uint32_t rawBytes) {
    const size_t used = output_.size();
    if (rawBytes > maxOutput_ - used) return false;
    const size_t needed = used + rawBytes;
    if (needed > output_.capacity()) {
        // Grow geometrically, but never past the cap.
        const size_t doubled = output_.capacity() > maxOutput_ / 2 ? maxOutput_ : 2 * output_.capacity();
        output_.reserve(std::max(needed, doubled));
    }
    output_.resize(needed);
    return true;
}

bool LzfseDecoder::decodeCompressed(const LzfseBlockHeader& header, const uint8_t* block) {
    if (header.literalCount > kMaxCount || header.matchCount > kMaxCount) return false;
    // Every literal but the padding to a multiple of four lands in the output.
    if (header.literalCount > uint64_t(header.rawBytes) + 4) return false;
    if (!FseCodec::buildDecoderTable(kLiteralStates, kLiteralSymbols, header.literalFreq(), literalTable_) ||
        !FseCodec::buildValueDecoderTable(kLStates, kLSymbols, header.lFreq(), kLExtraBits, kLBaseValue, lTable_) ||
        !FseCodec::buildValueDecoderTable(kMStates, kMSymbols, header.mFreq(), kMExtraBits, kMBaseValue, mTable_) ||
        !FseCodec::buildValueDecoderTable(kDStates, kDSymbols, header.dFreq(), kDExtraBits, kDBaseValue, dTable_))
        return false;
    if (!grow(header.rawBytes)) return false;
    const size_t start = output_.size() - header.rawBytes;
    return decodeLiterals(header, block) && decodeTriplets(header, block, start);
}

bool LzfseDecoder::decodeLiterals(const LzfseBlockHeader& header, const uint8_t* block) {
    const size_t count = (size_t(header.literalCount) + 3) & ~size_t(3);
    literals_.resize(count + LzCopy::kSlack);
    FseInStream in;
    if (!in.init(block, block + header.headerBytes + header.literalPayloadBytes, header.literalBits)) return false;
    uint32_t s0 = header.literalState[0];
    uint32_t s1 = header.literalState[1];
    uint32_t s2 = header.literalState[2];
    uint32_t s3 = header.literalState[3];
    uint8_t* out = literals_.data();
    for (size_t i = 0; i < count; i += 4) {
        if (!in.refill()) return false;
        out[i + 0] = FseCodec::decode(s0, literalTable_, in);
        out[i + 1] = FseCodec::decode(s1, literalTable_, in);
        out[i + 2] = FseCodec::decode(s2, literalTable_, in);
        out[i + 3] = FseCodec::decode(s3, literalTable_, in);
    }
    return true;
}

bool LzfseDecoder::decodeTriplets(const LzfseBlockHeader& header, const uint8_t* block, size_t start) {
    FseInStream in;
    const uint8_t* end = block + header.headerBytes + header.literalPayloadBytes + header.lmdPayloadBytes;
    if (!in.init(block, end, header.lmdBits)) return false;
    uint32_t lState = header.lState;
    uint32_t mState = header.mState;
    uint32_t dState = header.dState;

    uint8_t* const begin = output_.data();
    uint8_t* dst = begin + start;
    uint8_t* const dstEnd = dst + header.rawBytes;
    const uint8_t* lit = literals_.data();
    const uint8_t* const litEnd = lit + header.literalCount;
    size_t distance = 0;  // none yet in this block

    for (uint32_t n = header.matchCount; n > 0; --n) {
        if (!in.refill()) return false;
        const size_t literals = size_t(FseCodec::decodeValue(lState, lTable_, in));
        const size_t match = size_t(FseCodec::decodeValue(mState, mTable_, in));
        const size_t newDistance = size_t(FseCodec::decodeValue(dState, dTable_, in));
        if (newDistance != 0) distance = newDistance;  // zero repeats the previous distance

        const size_t room = size_t(dstEnd - dst);
        if (literals > size_t(litEnd - lit) || literals + match > room) return false;
        if (match != 0 && (distance == 0 || distance > size_t(dst - begin) + literals)) return false;
        if (room >= literals + match + LzCopy::kSlack) {
            LzCopy::copyChunks(dst, lit, literals);  // the literal buffer has slack too
            dst += literals;
            lit += literals;
            if (match != 0) LzCopy::copyMatchFast(dst, distance, match);
        } else {
            std::memcpy(dst, lit, literals);
            dst += literals;
            lit += literals;
            if (match != 0) LzCopy::copyMatchExact(dst, distance, match);
        }
        dst += match;
    }
    return dst == dstEnd;
}

}  // namespace tarnwick
