#pragma once

#include "platform/FseInStream.h"

#include <cstdint>

namespace tarnwick {

// One decoder state of a plain symbol alphabet (the literals): the symbol it
// yields, how many bits to read and what to add to them for the next state.
struct FseDecoderEntry {
    int8_t bits;
    uint8_t symbol;
    int16_t delta;
};

// One decoder state of a value alphabet (L, M, D): the state bits and the
// value's extra bits are read in one go.
struct FseValueDecoderEntry {
    uint8_t totalBits;  // state bits + extra bits
    uint8_t extraBits;
    int16_t delta;
    int32_t base;
};

// Encoder parameters of one symbol: states at or above s0 shed k bits, the
// others k - 1.
struct FseEncoderEntry {
    int16_t s0;
    int16_t k;
    int16_t delta0;
    int16_t delta1;
};

// Finite state entropy tables of the LZFSE stream format. A symbol of
// normalised frequency f owns f consecutive decoder states, symbols in order.
class FseCodec {
public:
    // Builds the decoder table of `states` entries. False when the
    // frequencies add up to more than `states`. States no symbol owns (a
    // table summing to less) decode as symbol 0 and lead to state 0.
    static bool buildDecoderTable(int states, int symbols, const uint16_t* freq, FseDecoderEntry* table);
    static bool buildValueDecoderTable(int states, int symbols, const uint16_t* freq, const uint8_t* extraBits,
                                       const int32_t* base, FseValueDecoderEntry* table);
    // Builds the encoder entries of every symbol; freq must sum to `states`.
    static void buildEncoderTable(int states, int symbols, const uint16_t* freq, FseEncoderEntry* table);

    // Scales occurrence counts to frequencies summing to `states`, giving
    // every occurring symbol at least 1 and spreading the rounding where it
    // costs the fewest bits. All zero when no symbol occurs.
    static void normalize(const uint32_t* counts, int symbols, int states, uint16_t* freq);

    static uint8_t decode(uint32_t& state, const FseDecoderEntry* table, FseInStream& in) {
        const FseDecoderEntry e = table[state];
        state = uint32_t(e.delta + int32_t(in.pull(e.bits)));
        return e.symbol;
    }

    static int32_t decodeValue(uint32_t& state, const FseValueDecoderEntry* table, FseInStream& in) {
        const FseValueDecoderEntry e = table[state];
        const uint32_t bits = uint32_t(in.pull(e.totalBits));
        state = uint32_t(e.delta + int32_t(bits >> e.extraBits));
        return e.base + int32_t(bits & ((1u << e.extraBits) - 1));
    }

    // Moves the encoder to the state that precedes `state` for this symbol;
    // returns how many low bits of the old state the decoder must read, and
    // stores them in `bits`.
    static int encode(uint32_t& state, const FseEncoderEntry& e, uint32_t& bits) {
        const bool high = int32_t(state) >= e.s0;
        const int n = high ? e.k : e.k - 1;
        bits = state & ((1u << n) - 1);
        state = uint32_t((high ? e.delta0 : e.delta1) + int32_t(state >> n));
        return n;
    }
};

}  // namespace tarnwick
