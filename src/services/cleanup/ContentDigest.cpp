#include "services/cleanup/ContentDigest.h"

#include <algorithm>
#include <cstring>

namespace tarnwick::ContentDigest {

namespace {

constexpr unsigned char kDataChunk = 1;
constexpr unsigned char kZeroRun = 0;
constexpr unsigned char kZeroHead = 2;

bool allZeros(const char* bytes, size_t size) {
    return size == 0 || (bytes[0] == 0 && std::memcmp(bytes, bytes + 1, size - 1) == 0);
}

void addNumber(Sha256& hasher, quint64 value) {
    unsigned char bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
    hasher.add(bytes, sizeof bytes);
}

// How the file's zeros are stored, as far as reading needs to know.
enum class Layout { dense, sparse, unknown };

Layout layoutOf(const FileReader& reader) {
    const std::optional<qint64> hole = reader.nextHole(0);
    if (!hole) return reader.allocatedSize() >= reader.size() ? Layout::dense : Layout::unknown;
    return *hole >= reader.size() ? Layout::dense : Layout::sparse;
}

// Puts the file's bytes [from, from + length) into buffer: data read, holes
// written as zeros. False when the file cannot be read there (it shrank, or
// its holes cannot be found) or the budget is spent.
bool fill(FileReader& reader, Layout layout, qint64 from, qint64 length, char* buffer, Budget& budget) {
    const qint64 end = from + length;
    for (qint64 at = from; at < end;) {
        qint64 dataEnd = end;
        if (layout == Layout::sparse) {
            const std::optional<qint64> data = reader.nextData(at);
            if (!data) return false;
            const qint64 dataAt = std::min(*data, end);
            std::memset(buffer + (at - from), 0, static_cast<size_t>(dataAt - at));
            at = dataAt;
            if (at >= end) break;
            const std::optional<qint64> hole = reader.nextHole(at);
            if (!hole || *hole <= at) return false;
            dataEnd = std::min(*hole, end);
        }
        const qint64 count = dataEnd - at;
        if (!budget.take(count)) return false;
        if (reader.readAt(at, buffer + (at - from), count) != count) return false;
        at = dataEnd;
    }
    return true;
}

}  // namespace

bool Budget::take(qint64 bytes) {
    qint64 left = left_.load(std::memory_order_relaxed);
    do {
        if (left < bytes) return false;
    } while (!left_.compare_exchange_weak(left, left - bytes, std::memory_order_relaxed));
    return true;
}

Buffer makeBuffer() {
    return Buffer(static_cast<size_t>(kWindowBytes));
}

std::optional<Head> head(FileReader& reader, Buffer& buffer, Budget& budget) {
    const qint64 size = reader.size();
    if (size <= 0) return std::nullopt;
    const Layout layout = layoutOf(reader);
    if (layout == Layout::unknown) return std::nullopt;
    if (layout == Layout::dense) reader.adviseSequential();
    const qint64 length = std::min(size, kChunkBytes);
    if (!fill(reader, layout, 0, length, buffer.data(), budget)) return std::nullopt;
    Head head;
    head.zeros = allZeros(buffer.data(), static_cast<size_t>(length));
    if (!head.zeros) head.digest = Sha256::of(buffer.data(), static_cast<size_t>(length));
    return head;
}

std::optional<Sha256::Digest> whole(FileReader& reader, const Head& head, Buffer& buffer, Budget& budget,
                                    const std::stop_token& stop) {
    const qint64 size = reader.size();
    if (size <= 0) return std::nullopt;
    const Layout layout = layoutOf(reader);
    if (layout == Layout::unknown) return std::nullopt;
    Sha256 digest;
    addNumber(digest, static_cast<quint64>(size));
    if (head.zeros) {
        digest.add(&kZeroHead, 1);
    } else {
        digest.add(&kDataChunk, 1);
        digest.add(head.digest.data(), head.digest.size());
    }
    quint64 zeroRun = 0;
    auto endRun = [&] {
        if (zeroRun == 0) return;
        digest.add(&kZeroRun, 1);
        addNumber(digest, zeroRun);
        zeroRun = 0;
    };
    Sha256 chunkDigest;
    for (qint64 at = kChunkBytes; at < size;) {
        if (stop.stop_requested()) return std::nullopt;
        if (layout == Layout::sparse) {
            // A hole of whole chunks is counted, not read.
            const std::optional<qint64> data = reader.nextData(at);
            if (!data) return std::nullopt;
            const qint64 skipped = (std::min(*data, size) - at) / kChunkBytes;
            zeroRun += static_cast<quint64>(skipped);
            at += skipped * kChunkBytes;
            if (at >= size) break;
        }
        const qint64 length = std::min(kWindowBytes, size - at);
        if (!fill(reader, layout, at, length, buffer.data(), budget)) return std::nullopt;
        for (qint64 offset = 0; offset < length; offset += kChunkBytes) {
            const char* chunk = buffer.data() + offset;
            const size_t chunkLength = static_cast<size_t>(std::min(kChunkBytes, length - offset));
            if (allZeros(chunk, chunkLength)) {
                ++zeroRun;
                continue;
            }
            endRun();
            chunkDigest.add(chunk, chunkLength);
            const Sha256::Digest value = chunkDigest.finish();
            digest.add(&kDataChunk, 1);
            digest.add(value.data(), value.size());
        }
        at += length;
    }
    endRun();
    if (!reader.unchangedSinceOpened()) return std::nullopt;
    return digest.finish();
}

}  // namespace tarnwick::ContentDigest
