#pragma once

#include "platform/FileEntry.h"

#include <QString>

#include <functional>
#include <map>
#include <set>
#include <stop_token>
#include <utility>
#include <vector>

namespace tarnwick {

class DigestCache;

// Finds files of equal content among the candidate files of a duplicate
// search (the junk scan's and the clutter scan's).
//
// Candidates are grouped by logical size. Within a size, the first few
// candidates (in the order added) are opened and their first 256 KiB hashed
// (SHA-256, see ContentDigest); only files whose first blocks match are read
// on to the end, from the same open file, for the digest of their whole
// content, so no byte is read twice. Files count as duplicates only when their
// whole contents match: equal first blocks are only a hint. Two names of one
// file (hard links: the same device and inode) are one candidate, since
// removing either frees nothing. The holes of a sparse file are never read.
//
// Files are read on several threads (the free threads of the global pool),
// except those on a disk that spins, which are read one at a time. Within a
// pass that keeps a DigestCache, a file another search of the pass has
// already read is not read again.
class DuplicateFinder {
public:
    static constexpr qint64 kPartialBytes = 262144;
    // The most bytes one search reads, so a search ends in bounded time
    // whatever the files; candidates it cannot read within them are left out.
    static constexpr qint64 kMostBytesRead = qint64(16) << 30;

    struct Candidate {
        QString path;
        QString name;
        qint64 size = 0;         // the size a finding reports
        qint64 logicalSize = 0;  // the size candidates are grouped by
        quint64 device = 0;
        quint64 inode = 0;
    };

    // Files of one content: the first one added stays, the others are copies.
    struct Group {
        const Candidate* kept = nullptr;
        std::vector<const Candidate*> copies;
    };

    struct Options {
        // How many candidates of one size are read at most.
        size_t readPerSize = 10;
        // Asked before each size with two candidates or more; false ends the
        // search. Empty: every size is taken up.
        std::function<bool()> goOn;
        // The bytes the search may read at most.
        qint64 mostBytesRead = kMostBytesRead;
        // Threads that read at once; 0 chooses by the machine.
        int threads = 0;
        // The digests of the pass; null: the calling thread's pass cache, if any.
        DigestCache* digests = nullptr;
    };

    // Adds a regular file as the walk saw it. False, and nothing added, for a
    // second name of a file already added.
    bool add(const FileEntry& entry, qint64 reportedSize);
    size_t candidateCount() const { return count_; }

    // Calls found, on the calling thread, for each group of equal files.
    // Sizes are taken up largest first; within a size, groups come in the
    // order of their first member. A file that cannot be opened, is no longer
    // the file added, or changes while it is read is left out. A stop request
    // ends the search before the next file is read.
    void find(const Options& options, const std::function<void(const Group& group)>& found,
              const std::stop_token& stop = {}) const;

private:
    std::map<qint64, std::vector<Candidate>> bySize_;
    std::set<std::pair<quint64, quint64>> files_;
    size_t count_ = 0;
};

}  // namespace tarnwick
