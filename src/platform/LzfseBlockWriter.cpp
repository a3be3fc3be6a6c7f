#include "platform/LzfseBlockWriter.h"

#include "platform/FseOutStream.h"
#include "platform/LzfseBlockHeader.h"

#include <algorithm>
#include <array>
#include <bit>

namespace tarnwick {

using namespace LzfseFormat;

namespace {

template <size_t N>
constexpr std::array<uint8_t, N> makeSymbolTable(const int32_t* base, int symbols) {
    std::array<uint8_t, N> table{};
    int s = 0;
    for (size_t v = 0; v < N; ++v) {
        while (s + 1 < symbols && base[s + 1] <= int32_t(v)) ++s;
        table[v] = uint8_t(s);
    }
    return table;
}

constexpr auto kLSymbolOf = makeSymbolTable<kMaxLValue + 1>(kLBaseValue, kLSymbols);
constexpr auto kMSymbolOf = makeSymbolTable<kMaxMValue + 1>(kMBaseValue, kMSymbols);

// D symbols come in groups of four sharing their extra-bit count e, starting
// at 4 * (2^e - 1).
int dSymbolOf(uint32_t d) {
    const int e = std::bit_width((d + 4) >> 2) - 1;
    const uint32_t j = (d - 4 * ((1u << e) - 1)) >> e;
    return 4 * e + int(j);
}

}  // namespace

LzfseBlockWriter::LzfseBlockWriter(std::vector<uint8_t>& out, bool plainTables)
    : out_(out), plainTables_(plainTables) {
    literals_.reserve(kLiteralsPerBlock + 4);
    lValues_.reserve(kMatchesPerBlock);
    mValues_.reserve(kMatchesPerBlock);
    dValues_.reserve(kMatchesPerBlock);
}

void LzfseBlockWriter::add(const uint8_t* literals, uint32_t literalCount, uint32_t matchLength,
                           uint32_t distance) {
    while (literalCount > kMaxLValue) {
        addTriplet(literals, kMaxLValue, 0, 0);
        literals += kMaxLValue;
        literalCount -= kMaxLValue;
    }
    if (matchLength == 0) {
        if (literalCount > 0) addTriplet(literals, literalCount, 0, 0);
        return;
    }
    uint32_t piece = std::min(matchLength, kMaxMValue);
    addTriplet(literals, literalCount, piece, distance);
    matchLength -= piece;
    while (matchLength > 0) {
        piece = std::min(matchLength, kMaxMValue);
        addTriplet(nullptr, 0, piece, distance);
        matchLength -= piece;
    }
}

void LzfseBlockWriter::addTriplet(const uint8_t* literals, uint32_t literalCount, uint32_t matchLength,
                                  uint32_t distance) {
    if (literals_.size() + literalCount > kLiteralsPerBlock || lValues_.size() == kMatchesPerBlock) writeBlock();
    literals_.insert(literals_.end(), literals, literals + literalCount);
    uint32_t code;
    if (matchLength == 0) {
        // A literal run still carries a distance: repeat the one the reader
        // holds, or give it a harmless 1 at the start of a block (the run
        // itself has put at least one byte behind it).
        code = decoderDistance_ != 0 ? 0 : 1;
        if (decoderDistance_ == 0) decoderDistance_ = 1;
    } else {
        code = distance == decoderDistance_ ? 0 : distance;
        decoderDistance_ = distance;
    }
    lValues_.push_back(uint16_t(literalCount));
    mValues_.push_back(uint16_t(matchLength));
    dValues_.push_back(code);
    rawBytes_ += literalCount + matchLength;
}

void LzfseBlockWriter::finish() {
    if (!lValues_.empty()) writeBlock();
}

void LzfseBlockWriter::writeBlock() {
    LzfseBlockHeader header;
    header.rawBytes = rawBytes_;
    header.matchCount = uint32_t(lValues_.size());

    // Literals go in groups of four; pad with a byte that already occurs.
    while (literals_.size() % 4 != 0) literals_.push_back(literals_.back());
    header.literalCount = uint32_t(literals_.size());

    uint32_t literalCounts[kLiteralSymbols] = {};
    for (uint8_t c : literals_) ++literalCounts[c];
    uint32_t lCounts[kLSymbols] = {};
    uint32_t mCounts[kMSymbols] = {};
    uint32_t dCounts[kDSymbols] = {};
    for (size_t i = 0; i < lValues_.size(); ++i) {
        ++lCounts[kLSymbolOf[lValues_[i]]];
        ++mCounts[kMSymbolOf[mValues_[i]]];
        ++dCounts[dSymbolOf(dValues_[i])];
    }
    FseCodec::normalize(literalCounts, kLiteralSymbols, kLiteralStates, header.literalFreq());
    FseCodec::normalize(lCounts, kLSymbols, kLStates, header.lFreq());
    FseCodec::normalize(mCounts, kMSymbols, kMStates, header.mFreq());
    FseCodec::normalize(dCounts, kDSymbols, kDStates, header.dFreq());
    FseCodec::buildEncoderTable(kLiteralStates, kLiteralSymbols, header.literalFreq(), literalTable_);
    FseCodec::buildEncoderTable(kLStates, kLSymbols, header.lFreq(), lTable_);
    FseCodec::buildEncoderTable(kMStates, kMSymbols, header.mFreq(), mTable_);
    FseCodec::buildEncoderTable(kDStates, kDSymbols, header.dFreq(), dTable_);

    // The header's size depends only on its tables: leave room for it, code
    // the payloads straight into the output, then fill the header in.
    const size_t headerBytes = (plainTables_ ? header.plain() : header.packed()).size();
    const size_t base = out_.size();
    out_.resize(base + headerBytes + maxLiteralPayload() + maxTripletPayload());
    uint8_t* payload = out_.data() + base + headerBytes;
    encodeLiterals(header, payload);
    encodeTriplets(header, payload + header.literalPayloadBytes);
    const std::vector<uint8_t> head = plainTables_ ? header.plain() : header.packed();
    std::copy(head.begin(), head.end(), out_.begin() + long(base));
    out_.resize(base + headerBytes + header.literalPayloadBytes + header.lmdPayloadBytes);

    literals_.clear();
    lValues_.clear();
    mValues_.clear();
    dValues_.clear();
    rawBytes_ = 0;
    decoderDistance_ = 0;
}

size_t LzfseBlockWriter::maxLiteralPayload() const {
    // At most 10 bits a literal, plus the stream's 8-byte flush window.
    return literals_.size() * 10 / 8 + 16;
}

size_t LzfseBlockWriter::maxTripletPayload() const {
    // At most 14 + 17 + 23 bits a triplet.
    return lValues_.size() * 7 + 16;
}

void LzfseBlockWriter::encodeLiterals(LzfseBlockHeader& header, uint8_t* payload) {
    const size_t count = literals_.size();
    FseOutStream out(payload);
    uint32_t s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    uint32_t bits = 0;
    for (size_t i = count; i > 0; i -= 4) {
        // The reader takes state 0's literal first, so it is written last.
        int n = FseCodec::encode(s3, literalTable_[literals_[i - 1]], bits);
        out.push(n, bits);
        n = FseCodec::encode(s2, literalTable_[literals_[i - 2]], bits);
        out.push(n, bits);
        n = FseCodec::encode(s1, literalTable_[literals_[i - 3]], bits);
        out.push(n, bits);
        n = FseCodec::encode(s0, literalTable_[literals_[i - 4]], bits);
        out.push(n, bits);
        out.flush();
    }
    header.literalBits = out.finish();
    header.literalPayloadBytes = uint32_t(out.size());
    header.literalState[0] = uint16_t(s0);
    header.literalState[1] = uint16_t(s1);
    header.literalState[2] = uint16_t(s2);
    header.literalState[3] = uint16_t(s3);
}

void LzfseBlockWriter::encodeTriplets(LzfseBlockHeader& header, uint8_t* payload) {
    FseOutStream out(payload);
    uint32_t lState = 0, mState = 0, dState = 0;
    uint32_t bits = 0;
    auto push = [&](uint32_t& state, const FseEncoderEntry* table, int symbol, uint32_t extraBits, uint32_t extra) {
        const int n = FseCodec::encode(state, table[symbol], bits);
        out.push(n + int(extraBits), uint64_t(bits) << extraBits | extra);
    };
    for (size_t i = lValues_.size(); i-- > 0;) {
        // Written backwards: D, M, L, so the reader meets L, M, D.
        const uint32_t d = dValues_[i];
        const int ds = dSymbolOf(d);
        push(dState, dTable_, ds, kDExtraBits[ds], d - uint32_t(kDBaseValue[ds]));
        const uint32_t m = mValues_[i];
        const int ms = kMSymbolOf[m];
        push(mState, mTable_, ms, kMExtraBits[ms], m - uint32_t(kMBaseValue[ms]));
        const uint32_t l = lValues_[i];
        const int ls = kLSymbolOf[l];
        push(lState, lTable_, ls, kLExtraBits[ls], l - uint32_t(kLBaseValue[ls]));
        out.flush();
    }
    header.lmdBits = out.finish();
    header.lmdPayloadBytes = uint32_t(out.size());
    header.lState = uint16_t(lState);
    header.mState = uint16_t(mState);
    header.dState = uint16_t(dState);
}

}  // namespace tarnwick
