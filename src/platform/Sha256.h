#pragma once

#include <array>
#include <cstddef>

namespace tarnwick {

// SHA-256 from the system's cryptography library, which uses the processor's
// SHA instructions where it has them. Feed bytes with add(), take the digest
// with finish(); the hasher can then be fed afresh.
class Sha256 {
public:
    static constexpr size_t kDigestBytes = 32;
    using Digest = std::array<unsigned char, kDigestBytes>;

    Sha256();
    ~Sha256();
    Sha256(Sha256&& other) noexcept;
    Sha256& operator=(Sha256&& other) noexcept;
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void add(const void* data, size_t size);
    // The digest of everything added since the last finish (or construction).
    Digest finish();

    static Digest of(const void* data, size_t size);

private:
    void* context_ = nullptr;  // EVP_MD_CTX
};

}  // namespace tarnwick
