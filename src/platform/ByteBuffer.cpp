#include "platform/ByteBuffer.h"

#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace tarnwick {

std::optional<ByteBuffer> ByteBuffer::allocate(size_t size) {
    ByteBuffer buffer;
    if (size == 0) return buffer;
#if defined(__linux__)
    if (size >= kMappedFrom) {
        void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) return std::nullopt;
#if defined(MADV_HUGEPAGE)
        // Only advice: without huge pages the buffer works the same, just
        // with more page faults while it is filled.
        madvise(memory, size, MADV_HUGEPAGE);
#endif
        buffer.data_ = static_cast<uint8_t*>(memory);
        buffer.size_ = size;
        buffer.mapped_ = true;
        return buffer;
    }
#endif
    buffer.data_ = new (std::nothrow) uint8_t[size];  // default-initialised: no zero fill
    if (!buffer.data_) return std::nullopt;
    buffer.size_ = size;
    return buffer;
}

ByteBuffer::~ByteBuffer() {
    release();
}

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, false)) {}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mapped_ = std::exchange(other.mapped_, false);
    }
    return *this;
}

void ByteBuffer::release() {
    if (!data_) return;
#if defined(__linux__)
    if (mapped_) {
        munmap(data_, size_);
        data_ = nullptr;
        size_ = 0;
        return;
    }
#endif
    delete[] data_;
    data_ = nullptr;
    size_ = 0;
}

}  // namespace tarnwick
