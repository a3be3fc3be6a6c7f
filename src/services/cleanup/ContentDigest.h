#pragma once

#include "platform/FileReader.h"
#include "platform/Sha256.h"

#include <QtGlobal>

#include <atomic>
#include <optional>
#include <stop_token>
#include <vector>

namespace tarnwick {

// What tells files of one size apart by their content, read once.
//
// A file is cut into chunks of 256 KiB. Its head is the first chunk's
// SHA-256 (or the mark of a chunk of zeros); its whole digest is the SHA-256
// of the size, the head and, for every later chunk in order, its SHA-256, with
// each run of chunks of zeros written as the run's length. Two files of one
// size have the same whole digest exactly when their contents are equal
// (short of a SHA-256 collision), however their zeros are stored: the holes
// of a sparse file are never read, they are known to be zeros. The head is
// part of the whole digest, so the whole digest of a file whose head is known
// reads on from its second chunk.
namespace ContentDigest {

inline constexpr qint64 kChunkBytes = 262144;
// Bytes read at once; a multiple of the chunk.
inline constexpr qint64 kWindowBytes = 16 * kChunkBytes;

struct Head {
    Sha256::Digest digest{};  // of the first chunk, unless it holds only zeros
    bool zeros = false;
    bool operator==(const Head&) const = default;
};

// The bytes that may still be read (shared by the threads of one search).
// Holes are not read and cost nothing.
class Budget {
public:
    explicit Budget(qint64 bytes) : left_(bytes) {}
    // Takes bytes from the budget; false (and nothing taken) when too few are left.
    bool take(qint64 bytes);
    qint64 left() const { return left_.load(std::memory_order_relaxed); }

private:
    std::atomic<qint64> left_;
};

// A buffer of kWindowBytes for one thread's reads.
using Buffer = std::vector<char>;
Buffer makeBuffer();

// The head of an open file. Nothing when it cannot be read, is empty, keeps
// holes that cannot be told apart from data, or the budget is spent.
std::optional<Head> head(FileReader& reader, Buffer& buffer, Budget& budget);

// The whole digest of an open file whose head is known, read from its second
// chunk to its end. Nothing when it cannot be read to its end, changed
// while it was read (size, modification or change time), the budget ran out
// or a stop was asked for.
std::optional<Sha256::Digest> whole(FileReader& reader, const Head& head, Buffer& buffer, Budget& budget,
                                    const std::stop_token& stop = {});

}  // namespace ContentDigest

}  // namespace tarnwick
