#include "platform/Sha256.h"

#include <openssl/evp.h>

#include <new>
#include <utility>

namespace tarnwick {

namespace {

// Fetched once: an implicit fetch on every start costs more than hashing a
// small block.
const EVP_MD* sha256() {
    static EVP_MD* md = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    return md ? md : EVP_sha256();
}

EVP_MD_CTX* contextOf(void* context) {
    return static_cast<EVP_MD_CTX*>(context);
}

}  // namespace

Sha256::Sha256() : context_(EVP_MD_CTX_new()) {
    if (!context_ || EVP_DigestInit_ex2(contextOf(context_), sha256(), nullptr) != 1) throw std::bad_alloc();
}

Sha256::~Sha256() {
    EVP_MD_CTX_free(contextOf(context_));
}

Sha256::Sha256(Sha256&& other) noexcept : context_(std::exchange(other.context_, nullptr)) {}

Sha256& Sha256::operator=(Sha256&& other) noexcept {
    if (this != &other) {
        EVP_MD_CTX_free(contextOf(context_));
        context_ = std::exchange(other.context_, nullptr);
    }
    return *this;
}

void Sha256::add(const void* data, size_t size) {
    if (size > 0) EVP_DigestUpdate(contextOf(context_), data, size);
}

Sha256::Digest Sha256::finish() {
    Digest digest{};
    unsigned int length = 0;
    EVP_DigestFinal_ex(contextOf(context_), digest.data(), &length);
    EVP_DigestInit_ex2(contextOf(context_), sha256(), nullptr);
    return digest;
}

Sha256::Digest Sha256::of(const void* data, size_t size) {
    Sha256 hasher;
    hasher.add(data, size);
    return hasher.finish();
}

}  // namespace tarnwick
