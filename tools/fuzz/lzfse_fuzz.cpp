// libFuzzer target for the LZFSE codec. Every input is decoded under a cap
// (the decoder must refuse or return at most the cap, never misbehave), and
// encoded and decoded back (the round trip must be exact).
//
// Built with -DCMAKE_CXX_COMPILER=clang++ -DTARNWICK_BUILD_FUZZ=ON. For
// coverage feedback inside the codec itself, also configure
// -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address".
//
//   build-fuzz/tools/lzfse_fuzz -max_len=65536 corpus/
//
// Good seeds are the test vectors' .lzfse streams.

#include "platform/Lzfse.h"

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t kCap = size_t(1) << 22;
    const auto decoded = tarnwick::Lzfse::decompress(data, size, kCap);
    if (decoded && decoded->size() > kCap) std::abort();

    const auto stream = tarnwick::Lzfse::compress(data, size);
    const auto back = tarnwick::Lzfse::decompress(stream.data(), stream.size(), size);
    if (!back || back->size() != size || (size != 0 && !std::equal(back->begin(), back->end(), data)))
        std::abort();
    return 0;
}
