#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace tarnwick {

// A byte buffer of fixed size, allocated once and left uninitialised, for
// outputs whose size is known before they are written (a decompressed
// document). Large buffers are mapped straight from the system and, where the
// system offers it, backed by huge pages, so that filling them takes a few
// page faults instead of one per 4 KiB. Move-only.
class ByteBuffer {
public:
    // Buffers from this size on are mapped on their own.
    static constexpr size_t kMappedFrom = size_t(4) << 20;

    ByteBuffer() = default;
    ~ByteBuffer();
    ByteBuffer(ByteBuffer&& other) noexcept;
    ByteBuffer& operator=(ByteBuffer&& other) noexcept;
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;

    // A buffer of exactly size bytes, their contents undefined; nullopt when
    // the memory cannot be had.
    static std::optional<ByteBuffer> allocate(size_t size);

    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const uint8_t* begin() const { return data_; }
    const uint8_t* end() const { return data_ + size_; }

private:
    void release();

    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    bool mapped_ = false;
};

}  // namespace tarnwick
