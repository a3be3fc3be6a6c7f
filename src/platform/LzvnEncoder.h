#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarnwick {

// Encodes small buffers as the payload of one LZVN block ("bvxn"): literal
// runs and matches of at least 3 bytes at distances below 64 KiB, closed by
// the end opcode and its padding.
class LzvnEncoder {
public:
    static std::vector<uint8_t> encode(const uint8_t* data, size_t size);

private:
    explicit LzvnEncoder(const uint8_t* data, size_t size);

    struct Match {
        size_t length = 0;
        size_t distance = 0;
    };

    void run();
    Match find(size_t pos) const;
    void insert(size_t pos);
    bool worthIt(const Match& m) const;
    void emit(size_t literalStart, size_t literalCount, const Match& m);
    void emitLiteralRun(const uint8_t* src, size_t count);
    void emitMatchTail(size_t length);

    const uint8_t* data_;
    size_t size_;
    size_t previousDistance_ = 0;
    std::vector<int32_t> head_;
    std::vector<int32_t> chain_;
    std::vector<uint8_t> out_;
};

}  // namespace tarnwick
