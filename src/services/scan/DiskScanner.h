#pragma once

#include "models/ScanProgress.h"
#include "models/ScanResult.h"
#include "services/scan/WalkSetup.h"

#include <QString>

#include <functional>

namespace tarnwick {

// Walks a volume or a folder into a size tree.
//
// Every file is measured by the space it takes on disk (its allocated
// blocks); a file of 256 KiB or more gets a node of its own, the smaller files
// of a folder are summed into one small-files node. Each counted file is
// offered to the insights builder, except files inside the program's own
// support folder (the folder itself is still walked and shown). A folder that
// cannot be listed, or that lies on the skip list, becomes a restricted node
// of size 0; nothing is ever reported as an error. Names that are not UTF-8
// decode losslessly, so every node's path encodes back to the file's bytes.
//
// The walk runs on several threads by default (one per core, at most 16; one
// on a disk that really spins) and builds the same tree the serial walk
// builds; the serial walk, one thread, is the reference (threads = 1).
//
// On the way the walker:
//  - never crosses into another file system: a folder on a different device
//    than its parent (a mount point) is left out, and so is a symbolic link
//    whose target lies on another device than the walked root. The mount
//    table, read once per walk, tells the mount points that share the
//    device (bind mounts of this file system): a folder it lists is left out,
//    and a link is followed only to a folder on the walked root's mount. The
//    walked root itself is walked even when it is a mount point;
//  - follows a symbolic link to a folder on the same device, under the link's
//    own path, unless the target is a folder on the current walk path, the
//    walked root or any folder above it, or its contents are counted
//    elsewhere in this walk: it lies within the walked root (it is counted at
//    its own place) or within a folder already walked through another link.
//    Every folder is thus counted once;
//  - counts a file with several hard links once, at the first link reached;
//  - keeps a bounded number of folder descriptors open, however deep the tree.
class DiskScanner {
public:
    // A file at or above this many bytes gets a node of its own.
    static constexpr qint64 kLeafFoldThreshold = WalkRules::kLeafFoldThreshold;
    // The merge threshold the finished tree is finalized with.
    static constexpr double kMergeThreshold = 0.008;

    // threads: 0 chooses by the machine and the disk of the walked folder;
    // 1 walks serially; more walks on that many threads.
    explicit DiskScanner(int threads = 0) : threads_(threads) {}
    DiskScanner(const DiskScanner&) = delete;
    DiskScanner& operator=(const DiskScanner&) = delete;

    // Walks rootPath (made absolute, trailing slashes dropped) and returns
    // the finalized tree and insights, on and from the calling thread.
    //
    // onProgress (may be empty) is called on the calling thread and must
    // return quickly. The serial walk calls it after a file or subfolder when
    // the file count is a multiple of 400 (0 included) or more than 0.25 s
    // passed since the previous report; the parallel walk when the file count
    // has passed a multiple of 400 or 0.25 s passed (and something changed),
    // and once more with the final counts. Reports never go backwards.
    //
    // A cancel() that arrives before or during the walk stops it (every
    // thread at its next entry): folders already begun keep what they
    // counted, folders not yet begun are empty, and the partial tree is still
    // finalized and returned. The cancel flag is cleared when scan() returns,
    // so the scanner can be used again.
    ScanResult scan(const QString& rootPath, const std::function<void(const ScanProgress&)>& onProgress);

    // Asks the walk to stop at its next folder or entry. Any thread.
    void cancel() { counters_.cancelled.store(true, std::memory_order_relaxed); }

    // The files counted and their bytes in the current (or last) scan. Any thread.
    qint64 files() const { return counters_.files.load(std::memory_order_relaxed); }
    qint64 bytes() const { return counters_.bytes.load(std::memory_order_relaxed); }
    // The threads the last scan walked on.
    int threadsUsed() const { return threadsUsed_; }

private:
    WalkCounters counters_;
    int threads_;
    int threadsUsed_ = 0;
};

}  // namespace tarnwick
