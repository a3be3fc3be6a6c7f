#pragma once

#include "platform/Sha256.h"
#include "services/cleanup/ContentDigest.h"

#include <QString>
#include <QtGlobal>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <tuple>

namespace tarnwick {

// The content digests one pass has taken, so that the pass's duplicate
// searches (the junk scan's and the clutter scan's look at the same folders)
// read each file once. A digest is found again only for the same file
// unchanged: same device, inode, size, modification and change times. It
// lives for one pass (a Scope); outside one, nothing is kept.
class DigestCache {
public:
    struct Key {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = 0;
        qint64 modifiedNSecs = 0;
        qint64 changedNSecs = 0;
        auto operator<=>(const Key&) const = default;
    };
    struct Entry {
        ContentDigest::Head head;
        std::optional<Sha256::Digest> whole;
    };

    // What is at path now, without following a link; nothing when nothing is there.
    static std::optional<Key> keyOf(const QString& path);
    static Key keyOf(const FileReader& reader);

    std::optional<Entry> find(const Key& key) const;
    void keepHead(const Key& key, const ContentDigest::Head& head);
    void keepWhole(const Key& key, const Sha256::Digest& whole);

    // The cache of the pass running on the calling thread, or null.
    static DigestCache* current();

    // Gives the calling thread a fresh cache until the scope ends.
    class Scope {
    public:
        Scope();
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        std::unique_ptr<DigestCache> cache_;
        DigestCache* previous_;
    };

private:
    mutable std::mutex mutex_;
    std::map<Key, Entry> entries_;
};

}  // namespace tarnwick
