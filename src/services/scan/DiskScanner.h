#pragma once

#include "models/ScanProgress.h"
#include "models/ScanResult.h"

#include <QString>

#include <atomic>
#include <functional>

namespace tarnwick {

// Walks a volume or a folder into a size tree.
//
// The walk is depth-first, one folder at a time, entries in the order the
// folder listing returns them. Every file is measured by the space it takes
// on disk; a file of 256 KiB or more gets a node of its own, the smaller
// files of a folder are summed into one small-files node. Each counted file
// is offered to the insights builder. A folder that cannot be listed, or that
// lies on the skip list, becomes a restricted node of size 0; nothing is ever
// reported as an error.
//
// On the way the walker:
//  - never crosses into another file system: a folder on a different device
//    than its parent (a mount point) is left out, and so is a symbolic link
//    whose target lies on another device than the walked root;
//  - follows a symbolic link to a folder on the same device, under the link's
//    own path, unless the target is a folder on the current walk path or its
//    contents are counted elsewhere in this walk: it lies within the walked
//    root (it is counted at its own place) or within a folder already walked
//    through another link. Every folder is thus counted once;
//  - counts a file with several hard links once, at its first link;
//  - keeps a bounded number of folder descriptors open, however deep the tree.
class DiskScanner {
public:
    // A file at or above this many bytes gets a node of its own.
    static constexpr qint64 kLeafFoldThreshold = 262144;
    // The merge threshold the finished tree is finalized with.
    static constexpr double kMergeThreshold = 0.008;
    // A progress report is due whenever the file count is a multiple of this...
    static constexpr qint64 kProgressFileStep = 400;
    // ...or when more than this many milliseconds passed since the last one.
    static constexpr int kProgressIntervalMs = 250;

    DiskScanner() = default;
    DiskScanner(const DiskScanner&) = delete;
    DiskScanner& operator=(const DiskScanner&) = delete;

    // Walks rootPath (made absolute, trailing slashes dropped) on the calling
    // thread and returns the finalized tree and insights. onProgress (may be
    // empty) is called synchronously from the walk after a file or subfolder
    // when the file count is a multiple of 400 (0 included) or more than
    // 0.25 s passed since the previous report; it must return quickly.
    //
    // A cancel() that arrives before or during the walk stops it: folders
    // already begun keep what they counted, folders not yet begun are empty,
    // and the partial tree is still finalized and returned. The cancel flag
    // is cleared when scan() returns, so the scanner can be used again.
    ScanResult scan(const QString& rootPath, const std::function<void(const ScanProgress&)>& onProgress);

    // Asks the walk to stop at its next folder or entry. Any thread.
    void cancel() { cancelled_.store(true, std::memory_order_relaxed); }

    // The files counted and their bytes in the current (or last) scan. Any thread.
    qint64 files() const { return files_.load(std::memory_order_relaxed); }
    qint64 bytes() const { return bytes_.load(std::memory_order_relaxed); }

private:
    class Walk;

    std::atomic<bool> cancelled_{false};
    std::atomic<qint64> files_{0};
    std::atomic<qint64> bytes_{0};
};

}  // namespace tarnwick
