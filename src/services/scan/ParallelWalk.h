#pragma once

#include "models/InsightsBuilder.h"
#include "models/ScanNode.h"
#include "platform/WalkBoundary.h"
#include "services/scan/WalkRules.h"
#include "services/scan/WalkSetup.h"

#include <QString>

#include <array>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

namespace tarnwick {

// The walk on a pool of threads. It builds the tree the serial walk builds
// (same nodes, names, kinds and sizes, the same folding, restricted nodes,
// link, mount, skip-list and hard-link rules) with the same system calls per
// entry, but keeps several folders in flight at once.
//
// Work is one task per folder (open it relative to its parent, list it) and,
// for folders of many entries, one task per chunk of entries. Each thread
// takes its newest task first (depth first, so few folders are open) and an
// idle thread steals the oldest task of another (the largest pending
// subtrees), so no thread waits on the largest subtree. A folder's node is
// made by whichever thread finishes its last chunk or subfolder, children in
// listing order, so finalizing gives the serial walk's tree. A file with
// several links is counted once, at whichever link is reached first.
//
// Each thread gathers its own insights; they are merged at the end, ties
// decided by walk position, so the lists equal the serial walk's.
//
// Progress: threads add their counts to the shared counters every 64 files
// and at the end of each chunk, and wake the calling thread when the file
// count passes a multiple of 400; the calling thread reports from there, or
// after 0.25 s when anything changed, and once more at the end. Nothing on
// the per-entry path takes a lock.
//
// The descriptors kept open are bounded: a folder keeps its descriptor while
// it is being measured and while subfolders still have to be opened from it;
// past a cap, a folder with only pending subfolders closes it, and it is
// reopened (checked to be the same folder) when needed.
class ParallelWalk {
public:
    ParallelWalk(WalkCounters& counters, const WalkSetup& setup, int threads);
    ~ParallelWalk();
    ParallelWalk(const ParallelWalk&) = delete;
    ParallelWalk& operator=(const ParallelWalk&) = delete;

    // Walks the root; the tree is not finalized yet. Progress is reported
    // from the calling thread.
    ScanNodePtr run();
    const InsightsBuilder& insights() const { return insights_; }

private:
    struct Folder;
    struct Task;
    struct Worker;
    struct LinkShard {
        std::mutex mutex;
        WalkRules::FileIdSet ids;
    };
    class Origin;
    enum class Entry : unsigned char { folder, link, probed };

    void workerLoop(size_t self);
    bool take(size_t self, Task& task);
    void push(Worker& worker, Task task);
    void execute(Worker& worker, Task& task);
    void finishAll();
    void coordinate();

    void openSubfolder(Worker& worker, Task& task);
    void listAndRun(Worker& worker, Folder* folder, int fd);
    void runChunk(Worker& worker, Folder* folder, size_t chunk);
    void handleEntry(Worker& worker, Folder* folder, size_t chunk, int fd, unsigned char type, const char* name,
                     quint64 entryIndex, const std::function<const QString&()>& folderPath);
    void spawnSubfolder(Worker& worker, Folder* folder, const char* name, QString folderName, quint64 entryIndex,
                        Entry entry);
    // A finished subfolder's node (or none) goes to its parent; completes the
    // parent, and so on up, when it was the last thing the parent waited for.
    void childDone(Folder* parent, quint64 entryIndex, ScanNodePtr node);
    void completeFolders(Folder* folder);
    template <typename PathOf>
    void flush(Worker& worker, PathOf pathOf);

    int borrow(Folder* folder);
    void giveBack(Folder* folder);
    void releaseHolder(Folder* folder);
    void closeLocked(Folder* folder);
    void reopenLocked(Folder* folder);

    QString folderPath(const Folder* folder) const;
    // The folder's path in the kernel's form, as the mount table writes it.
    QString kernelPath(const Folder* folder) const;
    bool onWalkPath(const Folder* folder, const WalkRules::FileId& id) const;
    bool firstLink(const WalkRules::FileId& id);
    bool walkedThroughLink(const WalkRules::FileId& id);

    WalkCounters& counters_;
    const WalkSetup& setup_;
    const int threads_;
    int fdCap_ = 0;

    std::vector<std::unique_ptr<Worker>> workers_;
    std::vector<std::thread> pool_;
    std::atomic<qint64> outstanding_{0};  // tasks pushed and not finished
    std::atomic<qint64> queued_{0};       // tasks waiting in a queue
    std::atomic<int> idle_{0};
    std::atomic<bool> done_{false};
    std::mutex sleepMutex_;
    std::condition_variable sleepCv_;

    std::mutex progressMutex_;
    std::condition_variable progressCv_;
    bool progressSignal_ = false;  // a file count passed a multiple of 400
    QString latestPath_;
    bool pathFresh_ = false;
    std::atomic<bool> pathWanted_{true};

    std::atomic<int> openFds_{0};
    std::array<LinkShard, 64> linkedFiles_;  // files with several links, once counted
    std::mutex linkMutex_;
    WalkRules::FileIdSet linkTargets_;       // folders walked through a symbolic link
    std::atomic<bool> anyLinkTargets_{false};

    WalkRules::FileIdSet aboveRoot_;  // the root and every folder above it
    WalkBoundary mounts_;  // read once per walk
    dev_t rootDevice_ = 0;
    WalkRules::FileId rootId_{};
    ScanNodePtr root_;
    InsightsBuilder insights_;
};

}  // namespace tarnwick
