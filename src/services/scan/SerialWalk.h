#pragma once

#include "models/InsightsBuilder.h"
#include "models/ScanNode.h"
#include "platform/WalkBoundary.h"
#include "services/scan/WalkRules.h"
#include "services/scan/WalkSetup.h"

#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace tarnwick {

// The walk on one thread: depth-first, one folder at a time, entries in
// listing order. The reference the parallel walk is measured against, and
// the walk used for disks that really spin.
//
// Folders on the current walk path are frames on an explicit stack, so the
// depth of a tree costs neither call stack nor (past a window) descriptors.
// The listings of those folders live in one byte arena used as a stack: each
// record is the entry's type byte, its name and a NUL. Neither a frame nor a
// node holds its full path; paths are put together from the frames when a
// progress report or a record of the insights needs one.
//
// Progress is reported from the walk, after a file or subfolder, when the
// file count is a multiple of 400 (0 included) or more than 0.25 s passed.
class SerialWalk {
public:
    SerialWalk(WalkCounters& counters, const WalkSetup& setup);
    ~SerialWalk();
    SerialWalk(const SerialWalk&) = delete;
    SerialWalk& operator=(const SerialWalk&) = delete;

    // Walks the root; the tree is not finalized yet.
    ScanNodePtr run();
    const InsightsBuilder& insights() const { return insights_; }

private:
    struct Frame {
        int fd = -1;             // -1 while closed to bound the descriptors in use
        WalkRules::FileId id{};
        bool followed = false;   // entered through a symbolic link, so ".." is not its parent
        bool broken = false;     // could not be reopened: its remaining entries are dropped
        bool excluded = false;   // inside the program's support folder: no insights
        size_t nameAt = 0;       // its name in the parent's listing (arena offset)
        size_t begin = 0;        // its own listing in the arena
        size_t cursor = 0;
        size_t end = 0;
        quint64 entryIndex = 0;  // its index in the parent's listing
        quint64 nextIndex = 0;   // index of the next entry of its own listing
        WalkRules::PathFacts facts;
        QString name;
        QString kernelPath;      // the root and followed folders: its path in the kernel's form
        std::vector<ScanNodePtr> children;
        qint64 smallBytes = 0;
        qint64 smallCount = 0;
    };
    class Origin;
    // How a subfolder was reached: as a folder entry, through a symbolic
    // link, or as an entry whose own values were unreadable but that opens as a folder.
    enum class Entry { folder, link, probed };

    const char* nameAt(size_t offset) const { return arena_.data() + offset; }
    // The path of frames_[index], put together from the frames (cached for one frame).
    const QString& folderPath(size_t index) const;
    // The path of frames_[index] in the kernel's form, as the mount table writes it.
    QString kernelPath(size_t index) const;
    bool pushFolder(int fd, const struct stat& st, QString name, bool followed, size_t nameAt, quint64 entryIndex,
                    const WalkRules::PathFacts& facts);
    ScanNodePtr popFolder();
    void reopen(size_t index);
    void handleEntry();
    void enterFolder(size_t nameOffset, std::string_view name, QString folderName, quint64 entryIndex, Entry entry);
    bool onWalkPath(const WalkRules::FileId& id) const;
    void countFile(std::string_view name, quint64 entryIndex, qint64 size, std::optional<qint64> modified);
    // A report is due after a file or subfolder when the file count is a
    // multiple of 400 or more than 0.25 s passed since the last one.
    bool progressDue();
    void report(const QString& path);
    template <typename PathOf>
    void progressCheck(PathOf pathOf);

    WalkCounters& counters_;
    const WalkSetup& setup_;
    std::unique_ptr<char[]> buffer_;
    std::vector<char> arena_;
    std::vector<Frame> frames_;
    WalkRules::FileIdSet onPath_;
    WalkRules::FileIdSet aboveRoot_;    // the root and every folder above it
    WalkRules::FileIdSet linkedFiles_;  // files with several links, once counted
    WalkRules::FileIdSet linkTargets_;  // folders walked through a symbolic link
    InsightsBuilder insights_;
    WalkBoundary mounts_;  // read once per walk
    dev_t rootDevice_ = 0;
    WalkRules::FileId rootId_{};
    qint64 files_ = 0;
    qint64 bytes_ = 0;
    qint64 lastReportMs_;
    mutable QString pathCache_;
    mutable size_t pathCacheDepth_ = 0;  // frames_.size() of the cached path's frame + 1; 0: none
};

}  // namespace tarnwick
