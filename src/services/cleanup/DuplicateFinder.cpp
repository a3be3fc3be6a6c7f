#include "services/cleanup/DuplicateFinder.h"

#include "platform/FileReader.h"
#include "platform/StorageDevice.h"
#include "services/cleanup/ContentDigest.h"
#include "services/cleanup/DigestCache.h"
#include "support/FreeThreads.h"

#include <QThread>

#include <algorithm>
#include <optional>

namespace tarnwick {

namespace {

// Sizes are read in waves of about this many files: enough to keep every
// thread busy, few enough that little is read past the size that ends the
// search.
constexpr size_t kWaveFiles = 128;
constexpr int kMostReaders = 8;

using Candidate = DuplicateFinder::Candidate;

// One candidate of a wave: its file stays open between its head and the rest.
struct Slot {
    const Candidate* candidate = nullptr;
    std::optional<FileReader> reader;
    std::optional<DigestCache::Key> key;  // the file as its digests were taken
    std::optional<ContentDigest::Head> head;
    std::optional<Sha256::Digest> whole;
};

// Opens the candidate's file, still the one the walk found.
std::optional<FileReader> openCandidate(const Candidate& candidate) {
    std::optional<FileReader> reader = FileReader::open(candidate.path);
    if (!reader || reader->device() != candidate.device || reader->inode() != candidate.inode ||
        reader->size() != candidate.logicalSize) {
        return std::nullopt;
    }
    return reader;
}

class Reading {
public:
    Reading(const DuplicateFinder::Options& options, const std::stop_token& stop)
        : cache_(options.digests ? options.digests : DigestCache::current()),
          budget_(options.mostBytesRead),
          threads_(options.threads > 0 ? options.threads : std::clamp(QThread::idealThreadCount(), 1, kMostReaders)),
          buffers_(static_cast<size_t>(threads_)),
          stop_(stop) {}

    // Takes what the pass already knows of each slot's file.
    void recall(std::vector<Slot>& members) const {
        if (!cache_) return;
        for (Slot& slot : members) {
            const Candidate& candidate = *slot.candidate;
            const std::optional<DigestCache::Key> key = DigestCache::keyOf(candidate.path);
            if (!key || key->device != candidate.device || key->inode != candidate.inode ||
                key->size != candidate.logicalSize) {
                continue;
            }
            if (const std::optional<DigestCache::Entry> entry = cache_->find(*key)) {
                slot.key = key;
                slot.head = entry->head;
                slot.whole = entry->whole;
            }
        }
    }

    void readHeads(std::vector<Slot*>& members) {
        readAll(members, [this](Slot& slot, ContentDigest::Buffer& buffer) {
            slot.reader = openCandidate(*slot.candidate);
            if (!slot.reader) return;
            slot.key = DigestCache::keyOf(*slot.reader);
            slot.head = ContentDigest::head(*slot.reader, buffer, budget_);
            if (!slot.head) {
                slot.reader.reset();
            } else if (cache_) {
                cache_->keepHead(*slot.key, *slot.head);
            }
        });
    }

    void readWholes(std::vector<Slot*>& members) {
        readAll(members, [this](Slot& slot, ContentDigest::Buffer& buffer) {
            if (!slot.reader) {
                // The head came from the pass: the file must be just as it was then.
                slot.reader = openCandidate(*slot.candidate);
                if (!slot.reader || DigestCache::keyOf(*slot.reader) != *slot.key) {
                    slot.reader.reset();
                    return;
                }
            }
            slot.whole = ContentDigest::whole(*slot.reader, *slot.head, buffer, budget_, stop_);
            slot.reader.reset();
            if (slot.whole && cache_) cache_->keepWhole(*slot.key, *slot.whole);
        });
    }

private:
    bool spins(quint64 device) {
        auto it = spinning_.find(device);
        if (it == spinning_.end()) it = spinning_.emplace(device, StorageDevice::spins(static_cast<dev_t>(device))).first;
        return it->second;
    }

    // Runs job on every slot: those on a disk that spins one after another
    // on the calling thread, the others on the free threads.
    template <class Job>
    void readAll(std::vector<Slot*>& members, const Job& job) {
        std::vector<Slot*> parallel;
        std::vector<Slot*> serial;
        for (Slot* slot : members) (spins(slot->candidate->device) ? serial : parallel).push_back(slot);
        auto run = [&](Slot& slot, int worker) {
            if (stop_.stop_requested()) return;
            ContentDigest::Buffer& buffer = buffers_[static_cast<size_t>(worker)];
            if (buffer.empty()) buffer = ContentDigest::makeBuffer();
            job(slot, buffer);
        };
        FreeThreads::forEach(
            parallel.size(), threads_, [&](size_t index, int worker) { run(*parallel[index], worker); },
            [&] {
                for (Slot* slot : serial) run(*slot, 0);
            });
    }

    DigestCache* cache_;
    ContentDigest::Budget budget_;
    int threads_;
    std::vector<ContentDigest::Buffer> buffers_;  // one per worker, made when first needed
    std::map<quint64, bool> spinning_;
    std::stop_token stop_;
};

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
    std::vector<const std::vector<Candidate>*> sizes;  // largest first
    for (auto size = bySize_.rbegin(); size != bySize_.rend(); ++size) {
        if (size->second.size() >= 2) sizes.push_back(&size->second);
    }
    Reading reading(options, stop);
    for (size_t next = 0; next < sizes.size();) {
        if (stop.stop_requested()) return;
        // The sizes of this wave and the members of each: the first few candidates in the order added.
        size_t end = next;
        std::vector<size_t> firstSlot;
        std::vector<Slot> members;
        do {
            firstSlot.push_back(members.size());
            const std::vector<Candidate>& candidates = *sizes[end++];
            const size_t count = std::min(candidates.size(), options.readPerSize);
            for (size_t i = 0; i < count; ++i) members.push_back(Slot{&candidates[i], {}, {}, {}, {}});
        } while (end < sizes.size() && members.size() < kWaveFiles);
        firstSlot.push_back(members.size());

        reading.recall(members);
        std::vector<Slot*> pending;
        for (Slot& slot : members) {
            if (!slot.head) pending.push_back(&slot);
        }
        reading.readHeads(pending);

        // Read on only where a size has two files or more with one head.
        pending.clear();
        for (size_t s = 0; s + 1 < firstSlot.size(); ++s) {
            for (size_t i = firstSlot[s]; i < firstSlot[s + 1]; ++i) {
                Slot& slot = members[i];
                if (!slot.head || slot.whole) continue;
                for (size_t j = firstSlot[s]; j < firstSlot[s + 1]; ++j) {
                    if (j != i && members[j].head == slot.head) {
                        pending.push_back(&slot);
                        break;
                    }
                }
            }
        }
        reading.readWholes(pending);

        for (size_t s = 0; s + 1 < firstSlot.size(); ++s) {
            if (stop.stop_requested() || (options.goOn && !options.goOn())) return;
            std::vector<bool> placed(firstSlot[s + 1] - firstSlot[s], false);
            for (size_t i = firstSlot[s]; i < firstSlot[s + 1]; ++i) {
                if (!members[i].whole || placed[i - firstSlot[s]]) continue;
                Group group;
                group.kept = members[i].candidate;
                for (size_t j = i + 1; j < firstSlot[s + 1]; ++j) {
                    if (!placed[j - firstSlot[s]] && members[j].whole == members[i].whole) {
                        placed[j - firstSlot[s]] = true;
                        group.copies.push_back(members[j].candidate);
                    }
                }
                if (!group.copies.empty()) found(group);
            }
        }
        next = end;
    }
}

}  // namespace tarnwick
