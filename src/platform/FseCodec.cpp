#include "platform/FseCodec.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <queue>
#include <vector>

namespace tarnwick {

namespace {

// Bits to shift a frequency left so that states <= (f << k) < 2 * states.
int shiftFor(int states, int f) { return std::countl_zero(uint32_t(f)) - std::countl_zero(uint32_t(states)); }

// Checks the total and returns it, or -1 when it exceeds `states`.
int checkedTotal(int states, int symbols, const uint16_t* freq) {
    int total = 0;
    for (int i = 0; i < symbols; ++i) {
        total += freq[i];
        if (total > states) return -1;
    }
    return total;
}

// Fills a decoder table: each symbol's f states in symbol order, a state
// reading `bits` bits and adding them to `delta` for the next state; the
// states past the frequencies' total are zeroed. Returns false when the
// total exceeds `states`.
template <typename Entry, typename Fill>
bool fillDecoderStates(int states, int symbols, const uint16_t* freq, Entry* table, Fill fill) {
    const int total = checkedTotal(states, symbols, freq);
    if (total < 0) return false;
    Entry* t = table;
    for (int i = 0; i < symbols; ++i) {
        const int f = freq[i];
        if (f == 0) continue;
        const int k = shiftFor(states, f);
        const int j0 = ((2 * states) >> k) - f;
        for (int j = 0; j < f; ++j, ++t) {
            if (j < j0)
                fill(*t, i, k, ((f + j) << k) - states);
            else
                fill(*t, i, k - 1, (j - j0) << (k - 1));
        }
    }
    for (int s = total; s < states; ++s) table[s] = Entry{};
    return true;
}

}  // namespace

bool FseCodec::buildDecoderTable(int states, int symbols, const uint16_t* freq, FseDecoderEntry* table) {
    return fillDecoderStates(states, symbols, freq, table, [](FseDecoderEntry& t, int symbol, int bits, int delta) {
        t.symbol = uint8_t(symbol);
        t.bits = int8_t(bits);
        t.delta = int16_t(delta);
    });
}

bool FseCodec::buildValueDecoderTable(int states, int symbols, const uint16_t* freq, const uint8_t* extraBits,
                                      const int32_t* base, FseValueDecoderEntry* table) {
    return fillDecoderStates(states, symbols, freq, table,
                             [&](FseValueDecoderEntry& t, int symbol, int bits, int delta) {
                                 t.extraBits = extraBits[symbol];
                                 t.base = base[symbol];
                                 t.totalBits = uint8_t(bits + extraBits[symbol]);
                                 t.delta = int16_t(delta);
                             });
}

void FseCodec::buildEncoderTable(int states, int symbols, const uint16_t* freq, FseEncoderEntry* table) {
    int offset = 0;
    for (int i = 0; i < symbols; ++i) {
        const int f = freq[i];
        if (f == 0) {
            table[i] = FseEncoderEntry{0, 0, 0, 0};
            continue;
        }
        const int k = shiftFor(states, f);
        table[i].s0 = int16_t((f << k) - states);
        table[i].k = int16_t(k);
        table[i].delta0 = int16_t(offset - f + (states >> k));
        table[i].delta1 = k > 0 ? int16_t(offset - f + (states >> (k - 1))) : int16_t(0);
        offset += f;
    }
}

void FseCodec::normalize(const uint32_t* counts, int symbols, int states, uint16_t* freq) {
    uint64_t total = 0;
    int used = 0;
    int last = 0;
    for (int i = 0; i < symbols; ++i) {
        total += counts[i];
        if (counts[i] != 0) {
            ++used;
            last = i;
        }
    }
    std::fill(freq, freq + symbols, uint16_t(0));
    if (used == 0) return;
    if (used == 1) {
        freq[last] = uint16_t(states);
        return;
    }

    const double scale = double(states) / double(total);
    int sum = 0;
    for (int i = 0; i < symbols; ++i) {
        if (counts[i] == 0) continue;
        const int f = std::max(1, int(std::lround(double(counts[i]) * scale)));
        freq[i] = uint16_t(std::min(f, states));
        sum += freq[i];
    }
    if (sum == states) return;

    // Move one state at a time where it changes the coded size least: the
    // cost of a symbol occurring c times with frequency f is c * log2(N / f).
    struct Candidate {
        double cost;
        int symbol;
        bool operator<(const Candidate& other) const { return cost > other.cost; }  // min-heap
    };
    std::priority_queue<Candidate> heap;
    const bool shrink = sum > states;
    auto push = [&](int i) {
        const double c = double(counts[i]);
        const double f = double(freq[i]);
        if (shrink) {
            if (freq[i] > 1) heap.push({c * std::log2(f / (f - 1)), i});
        } else {
            heap.push({-c * std::log2((f + 1) / f), i});
        }
    };
    for (int i = 0; i < symbols; ++i)
        if (counts[i] != 0) push(i);
    while (sum != states && !heap.empty()) {
        const int i = heap.top().symbol;
        heap.pop();
        if (shrink) {
            --freq[i];
            --sum;
        } else {
            ++freq[i];
            ++sum;
        }
        push(i);
    }
}

}  // namespace tarnwick
