#include "services/cleanup/DigestCache.h"

#include "platform/PathCodec.h"

#include <sys/stat.h>

namespace tarnwick {

namespace {

thread_local DigestCache* installed = nullptr;

qint64 nanoseconds(const struct timespec& time) {
    return static_cast<qint64>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

}  // namespace

std::optional<DigestCache::Key> DigestCache::keyOf(const QString& path) {
    struct stat st {};
    if (::lstat(PathCodec::encode(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return Key{static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino), static_cast<qint64>(st.st_size),
               nanoseconds(st.st_mtim), nanoseconds(st.st_ctim)};
}

DigestCache::Key DigestCache::keyOf(const FileReader& reader) {
    return Key{reader.device(), reader.inode(), reader.size(), reader.modifiedNSecs(), reader.changedNSecs()};
}

std::optional<DigestCache::Entry> DigestCache::find(const Key& key) const {
    std::lock_guard lock(mutex_);
    const auto it = entries_.find(key);
    if (it == entries_.end()) return std::nullopt;
    return it->second;
}

void DigestCache::keepHead(const Key& key, const ContentDigest::Head& head) {
    std::lock_guard lock(mutex_);
    Entry& entry = entries_[key];
    if (entry.head != head) entry.whole.reset();
    entry.head = head;
}

void DigestCache::keepWhole(const Key& key, const Sha256::Digest& whole) {
    std::lock_guard lock(mutex_);
    const auto it = entries_.find(key);
    if (it != entries_.end()) it->second.whole = whole;
}

DigestCache* DigestCache::current() {
    return installed;
}

DigestCache::Scope::Scope() : cache_(std::make_unique<DigestCache>()), previous_(installed) {
    installed = cache_.get();
}

DigestCache::Scope::~Scope() {
    installed = previous_;
}

}  // namespace tarnwick
