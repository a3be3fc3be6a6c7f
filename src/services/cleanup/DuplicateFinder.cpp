#include "services/cleanup/DuplicateFinder.h"

#include "platform/FileReader.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QHash>

#include <algorithm>
#include <memory>
#include <optional>

namespace tarnwick {

namespace {

constexpr qint64 kReadChunk = 1024 * 1024;

// One candidate being hashed: the file stays open between its first block
// and the rest, so each file is read once.
struct Hashing {
    const DuplicateFinder::Candidate* candidate = nullptr;
    FileReader reader;
    std::unique_ptr<QCryptographicHash> full;
    qint64 read = 0;
    QByteArray partial;
};

// Reads the first block of a candidate; nothing when the file cannot be
// opened, is no longer the candidate's file, or is empty.
std::optional<Hashing> startHashing(const DuplicateFinder::Candidate& candidate, QByteArray& block) {
    std::optional<FileReader> reader = FileReader::open(candidate.path);
    if (!reader || reader->device() != candidate.device || reader->inode() != candidate.inode) return std::nullopt;
    const qint64 got = reader->read(block.data(), DuplicateFinder::kPartialBytes);
    if (got <= 0) return std::nullopt;
    const QByteArrayView first(block.constData(), got);
    Hashing hashing{&candidate, std::move(*reader), std::make_unique<QCryptographicHash>(QCryptographicHash::Sha256),
                    got, QCryptographicHash::hash(first, QCryptographicHash::Sha256)};
    hashing.full->addData(first);
    return hashing;
}

// Feeds the rest of the file into the full hash; false when the file could
// not be read to the end or its length is no longer the one it was found with.
bool finishFullHash(Hashing& hashing, const std::stop_token& stop) {
    QByteArray buffer(kReadChunk, Qt::Uninitialized);
    for (;;) {
        if (stop.stop_requested()) return false;
        const qint64 got = hashing.reader.read(buffer.data(), kReadChunk);
        if (got < 0) return false;
        if (got == 0) break;
        hashing.full->addData(QByteArrayView(buffer.constData(), got));
        hashing.read += got;
    }
    return hashing.read == hashing.candidate->logicalSize;
}

// Groups indexes by key, groups in the order their first member came.
std::vector<std::vector<size_t>> groupedInOrder(const std::vector<QByteArray>& keys) {
    std::vector<std::vector<size_t>> groups;
    QHash<QByteArray, size_t> where;
    for (size_t i = 0; i < keys.size(); ++i) {
        auto it = where.find(keys[i]);
        if (it == where.end()) {
            where.insert(keys[i], groups.size());
            groups.push_back({i});
        } else {
            groups[it.value()].push_back(i);
        }
    }
    return groups;
}

}  // namespace

bool DuplicateFinder::add(const FileEntry& entry, qint64 reportedSize) {
    if (!files_.insert({entry.device, entry.inode}).second) return false;
    bySize_[entry.logicalSize].push_back(
        Candidate{entry.path, entry.name, reportedSize, entry.logicalSize, entry.device, entry.inode});
    ++count_;
    return true;
}

void DuplicateFinder::find(const Options& options, const std::function<void(const Group& group)>& found,
                           const std::stop_token& stop) const {
    QByteArray block(kPartialBytes, Qt::Uninitialized);
    for (auto size = bySize_.rbegin(); size != bySize_.rend(); ++size) {
        const std::vector<Candidate>& candidates = size->second;
        if (candidates.size() < 2) continue;
        if (stop.stop_requested() || (options.goOn && !options.goOn())) return;

        std::vector<Hashing> hashed;
        const size_t count = std::min(candidates.size(), options.readPerSize);
        for (size_t i = 0; i < count && !stop.stop_requested(); ++i) {
            if (std::optional<Hashing> hashing = startHashing(candidates[i], block)) hashed.push_back(std::move(*hashing));
        }

        std::vector<QByteArray> partials;
        for (const Hashing& hashing : hashed) partials.push_back(hashing.partial);
        for (const std::vector<size_t>& sameStart : groupedInOrder(partials)) {
            if (sameStart.size() < 2) continue;
            std::vector<QByteArray> fulls;
            std::vector<size_t> members;
            for (size_t index : sameStart) {
                Hashing& hashing = hashed[index];
                if (!finishFullHash(hashing, stop)) continue;
                fulls.push_back(hashing.full->result());
                members.push_back(index);
            }
            for (const std::vector<size_t>& same : groupedInOrder(fulls)) {
                if (same.size() < 2) continue;
                Group group;
                group.kept = hashed[members[same.front()]].candidate;
                for (size_t k = 1; k < same.size(); ++k) group.copies.push_back(hashed[members[same[k]]].candidate);
                found(group);
            }
        }
    }
}

}  // namespace tarnwick
