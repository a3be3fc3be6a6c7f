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

std::optional<size_t> LzfseDecoder::measure(const uint8_t* data, size_t size) {
    uint64_t total = 0;
    size_t pos = 0;
    for (;;) {
        const size_t left = size - pos;
        if (left < 4) return std::nullopt;  // no end-of-stream block
        const uint8_t* block = data + pos;
        uint64_t blockBytes = 0;
        switch (load32(block)) {
        case kEndOfStreamMagic:
            if (left != 4) return std::nullopt;  // bytes after the end of the stream
            return size_t(total);
        case kRawMagic:
            if (left < 8) return std::nullopt;
            blockBytes = 8 + uint64_t(load32(block + 4));
            break;
        case kLzvnMagic:
            if (left < 12) return std::nullopt;
            blockBytes = 12 + uint64_t(load32(block + 8));
            break;
        case kPlainTablesMagic:
            if (left < LzfseBlockHeader::kPlainBytes) return std::nullopt;
            blockBytes = LzfseBlockHeader::kPlainBytes + uint64_t(load32(block + 20)) + load32(block + 24);
            break;
        case kPackedTablesMagic:
            if (left < LzfseBlockHeader::kPackedFixedBytes) return std::nullopt;
            // Header size, then the literal and L/M/D payload sizes.
            blockBytes = (load64(block + 24) & 0xffffffffu);
            if (blockBytes < LzfseBlockHeader::kPackedFixedBytes) return std::nullopt;
            blockBytes += ((load64(block + 8) >> 20) & 0xfffff) + ((load64(block + 16) >> 40) & 0xfffff);
            break;
        default:
            return std::nullopt;
        }
        if (blockBytes > left) return std::nullopt;
        total += load32(block + 4);
        if (total > maxOutput_) return std::nullopt;
        pos += size_t(blockBytes);
    }
}

std::optional<std::vector<uint8_t>> LzfseDecoder::decode(const uint8_t* data, size_t size) {
    // Walk the block headers first, so that the output is allocated once and
    // a stream claiming more than the cap is refused before any work.
    const std::optional<size_t> total = measure(data, size);
    if (!total) return std::nullopt;
    output_.assign(*total, 0);
    produced_ = 0;

    // The walk above has checked the framing; the checks below repeat what
    // each block's decoding relies on.
    size_t pos = 0;
    for (;;) {
        const size_t left = size - pos;
        if (left < 4) return std::nullopt;
        const uint8_t* block = data + pos;
        switch (load32(block)) {
        case kEndOfStreamMagic:
            if (produced_ != output_.size()) return std::nullopt;
            return std::move(output_);
        case kRawMagic: {
            if (left < 8) return std::nullopt;
            const uint32_t rawBytes = load32(block + 4);
            if (rawBytes > left - 8 || !claim(rawBytes)) return std::nullopt;
            std::memcpy(output_.data() + produced_ - rawBytes, block + 8, rawBytes);
            pos += 8 + size_t(rawBytes);
            break;
        }
        case kLzvnMagic: {
            if (left < 12) return std::nullopt;
            const uint32_t rawBytes = load32(block + 4);
            const uint32_t payloadBytes = load32(block + 8);
            if (payloadBytes > left - 12 || !claim(rawBytes)) return std::nullopt;
            const size_t start = produced_ - rawBytes;
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

bool LzfseDecoder::claim(uint32_t rawBytes) {
    if (rawBytes > output_.size() - produced_) return false;
    produced_ += rawBytes;
    return true;
}

bool LzfseDecoder::decodeCompressed(const LzfseBlockHeader& header, const uint8_t* block) {
    if (header.literalCount > kMaxCount || header.matchCount > kMaxCount) return false;
    // Every literal but the padding to a multiple of four lands in the
    // output, and every triplet but a closing empty one adds to it: this
    // bounds the work a hostile header can ask for by the output it claims.
    if (header.literalCount > uint64_t(header.rawBytes) + 4) return false;
    if (header.matchCount > uint64_t(header.rawBytes) + 1) return false;
    if (!FseCodec::buildDecoderTable(kLiteralStates, kLiteralSymbols, header.literalFreq(), literalTable_) ||
        !FseCodec::buildValueDecoderTable(kLStates, kLSymbols, header.lFreq(), kLExtraBits, kLBaseValue, lTable_) ||
        !FseCodec::buildValueDecoderTable(kMStates, kMSymbols, header.mFreq(), kMExtraBits, kMBaseValue, mTable_) ||
        !FseCodec::buildValueDecoderTable(kDStates, kDSymbols, header.dFreq(), kDExtraBits, kDBaseValue, dTable_))
        return false;
    if (!claim(header.rawBytes)) return false;
    const size_t start = produced_ - header.rawBytes;
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
