#include "services/scan/SerialWalk.h"

#include "platform/PathCodec.h"
#include "support/Saturating.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace tarnwick {

using WalkRules::FileId;
using WalkRules::fileId;

namespace {

// Folders nearest the current one that keep their descriptor open; folders
// further up close theirs and reopen it when the walk returns to them.
constexpr size_t kOpenWindow = 64;
using WalkRules::kProgressFileStep;
using WalkRules::kProgressIntervalMs;

qint64 monotonicMSecs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<qint64>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void closeDescriptor(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

// A file of the current folder, for the insights: its folder's path and its
// walk position, put together only when asked.
class SerialWalk::Origin final : public InsightsBuilder::FileOrigin {
public:
    Origin(const SerialWalk& walk, quint64 entryIndex) : walk_(walk), entryIndex_(entryIndex) {}
    QString folderPath() const override { return walk_.folderPath(walk_.frames_.size() - 1); }
    InsightsBuilder::WalkPosition walkPosition() const override {
        InsightsBuilder::WalkPosition position;
        position.reserve(walk_.frames_.size());
        for (size_t i = 1; i < walk_.frames_.size(); ++i) position.push_back(walk_.frames_[i].entryIndex);
        position.push_back(entryIndex_);
        return position;
    }

private:
    const SerialWalk& walk_;
    quint64 entryIndex_;
};

SerialWalk::SerialWalk(WalkCounters& counters, const WalkSetup& setup)
    : counters_(counters),
      setup_(setup),
      buffer_(new char[WalkRules::kListingBufferSize]),
      lastReportMs_(std::numeric_limits<qint64>::min() / 2) {  // long before any walk
    insights_.nowMSecs = setup.nowMSecs;
}

SerialWalk::~SerialWalk() {
    for (Frame& frame : frames_) closeDescriptor(frame.fd);
}

ScanNodePtr SerialWalk::run() {
    const QString& rootPath = setup_.rootPath;
    QString name = WalkRules::displayName(rootPath);
    auto rootNode = [&](NodeKind kind) { return ScanNode::create(ScanNode::makeId(), name, rootPath, kind, 0); };
    if (counters_.isCancelled()) return rootNode(NodeKind::dir);
    if (WalkRules::shouldSkipDirectory(rootPath)) return rootNode(NodeKind::restricted);

    // The root itself may be a link or a volume root; both are fine.
    struct stat st{};
    const int fd = WalkRules::openRoot(rootPath, &st);
    if (fd < 0) return rootNode(NodeKind::restricted);
    rootDevice_ = st.st_dev;
    rootId_ = fileId(st);
    aboveRoot_ = WalkRules::folderAndAncestors(fd);
    QString rootKernelPath = WalkRules::openedPath(fd);
    if (rootKernelPath.isEmpty()) rootKernelPath = rootPath;
    mounts_ = WalkBoundary(MountTable::current(), rootPath, rootKernelPath);
    if (!pushFolder(fd, st, name, true, 0, 0, WalkRules::PathFacts::of(rootPath))) {
        return rootNode(NodeKind::restricted);
    }
    Frame& root = frames_.front();
    root.kernelPath = std::move(rootKernelPath);
    for (const FileId& id : aboveRoot_) root.excluded = root.excluded || setup_.insightsExcluded.contains(id);

    for (;;) {
        Frame& frame = frames_.back();
        if (frame.fd < 0 && !frame.broken) reopen(frames_.size() - 1);
        if (frame.broken || frame.cursor >= frame.end || counters_.isCancelled()) {
            if (frames_.size() == 1) return popFolder();
            // A finished subfolder reports with its own path, taken while its frame still stands.
            const bool due = progressDue();
            QString path;
            if (due && setup_.onProgress) path = folderPath(frames_.size() - 1);
            ScanNodePtr node = popFolder();
            frames_.back().children.push_back(std::move(node));
            if (due) report(path);
            continue;
        }
        handleEntry();
    }
}

const QString& SerialWalk::folderPath(size_t index) const {
    if (pathCacheDepth_ == 0 || pathCacheDepth_ > index + 1) {
        pathCache_ = setup_.rootPath;
        pathCacheDepth_ = 1;
    }
    if (pathCacheDepth_ <= index) {
        qsizetype length = pathCache_.size();
        for (size_t i = pathCacheDepth_; i <= index; ++i) length += 1 + frames_[i].name.size();
        pathCache_.reserve(length);
        for (size_t i = pathCacheDepth_; i <= index; ++i) {
            if (!pathCache_.endsWith(QLatin1Char('/'))) pathCache_ += QLatin1Char('/');
            pathCache_ += frames_[i].name;
        }
        pathCacheDepth_ = index + 1;
    }
    return pathCache_;
}

QString SerialWalk::kernelPath(size_t index) const {
    size_t anchor = index;
    while (!frames_[anchor].followed) --anchor;  // the root counts as followed
    QString path = frames_[anchor].kernelPath;
    for (size_t i = anchor + 1; i <= index; ++i) path = WalkRules::joinPath(path, frames_[i].name);
    return path;
}

bool SerialWalk::pushFolder(int fd, const struct stat& st, QString name, bool followed, size_t nameAt,
                            quint64 entryIndex, const WalkRules::PathFacts& facts) {
    const size_t begin = arena_.size();
    size_t count = 0;
    if (!WalkRules::readListing(fd, buffer_.get(), WalkRules::kListingBufferSize, arena_, &count)) {
        ::close(fd);
        return false;
    }
    const bool parentExcluded = !frames_.empty() && frames_.back().excluded;
    Frame& frame = frames_.emplace_back();
    frame.fd = fd;
    frame.id = fileId(st);
    frame.followed = followed;
    frame.excluded = parentExcluded || setup_.insightsExcluded.contains(frame.id);
    frame.nameAt = nameAt;
    frame.begin = begin;
    frame.cursor = begin;
    frame.end = arena_.size();
    frame.entryIndex = entryIndex;
    frame.facts = facts;
    frame.name = std::move(name);
    frame.children.reserve(std::min(count, WalkRules::kChildReserve));
    onPath_.insert(frame.id);
    if (frames_.size() > kOpenWindow) closeDescriptor(frames_[frames_.size() - 1 - kOpenWindow].fd);
    return true;
}

ScanNodePtr SerialWalk::popFolder() {
    Frame& frame = frames_.back();
    if (frame.smallCount >= 1) {
        ScanNodePtr small = ScanNode::createInHolder(ScanNode::makeId(), ScanNode::smallFilesName(frame.smallCount),
                                                     NodeKind::file, frame.smallBytes);
        small->isAggregate = true;
        frame.children.push_back(std::move(small));
    }
    Saturating::Total size;
    for (const ScanNodePtr& child : frame.children) size.add(child->size);
    ScanNodePtr node = frames_.size() == 1
                           ? ScanNode::create(ScanNode::makeId(), std::move(frame.name), setup_.rootPath,
                                              NodeKind::dir, size.value(), std::move(frame.children))
                           : ScanNode::createEntry(ScanNode::makeId(), std::move(frame.name), NodeKind::dir,
                                                   size.value(), std::move(frame.children));

    // A parent whose descriptor was closed is reached again through "..",
    // which is cheap, when this folder was entered directly from it.
    if (frames_.size() >= 2) {
        Frame& parent = frames_[frames_.size() - 2];
        if (parent.fd < 0 && !parent.broken && !frame.followed && frame.fd >= 0) {
            int up = ::openat(frame.fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            struct stat st{};
            if (up >= 0 && ::fstat(up, &st) == 0 && fileId(st) == parent.id) {
                parent.fd = up;
            } else {
                closeDescriptor(up);
            }
        }
    }
    closeDescriptor(frame.fd);
    onPath_.erase(frame.id);
    arena_.resize(frame.begin);
    frames_.pop_back();
    if (pathCacheDepth_ > frames_.size()) pathCacheDepth_ = 0;
    return node;
}

void SerialWalk::reopen(size_t index) {
    size_t first = index;
    while (first > 0 && frames_[first - 1].fd < 0 && !frames_[first - 1].broken) --first;
    int fd = -1;
    for (size_t i = first; i <= index; ++i) {
        Frame& frame = frames_[i];
        if (i == 0) {
            fd = WalkRules::openRoot(setup_.rootPath);
        } else {
            const int parentFd = frames_[i - 1].fd;
            fd = parentFd < 0 ? -1
                              : ::openat(parentFd, nameAt(frame.nameAt),
                                         O_RDONLY | O_DIRECTORY | O_CLOEXEC | (frame.followed ? 0 : O_NOFOLLOW));
        }
        struct stat st{};
        if (fd >= 0 && (::fstat(fd, &st) != 0 || fileId(st) != frame.id)) closeDescriptor(fd);
        if (fd < 0) {
            for (size_t j = i; j <= index; ++j) frames_[j].broken = true;
            break;
        }
        frame.fd = fd;
    }
    // Keep only the window nearest the current folder open.
    const size_t depth = frames_.size();
    for (size_t i = first; i + kOpenWindow < depth && i <= index; ++i) closeDescriptor(frames_[i].fd);
}

bool SerialWalk::onWalkPath(const FileId& id) const {
    return onPath_.contains(id) || aboveRoot_.contains(id);
}

void SerialWalk::handleEntry() {
    Frame& frame = frames_.back();
    const size_t recordAt = frame.cursor;
    const unsigned char type = static_cast<unsigned char>(arena_[recordAt]);
    const size_t nameOffset = recordAt + 1;
    const std::string_view name(nameAt(nameOffset));
    frame.cursor = nameOffset + name.size() + 1;
    const quint64 entryIndex = frame.nextIndex++;

    const size_t index = frames_.size() - 1;
    auto skipped = [&](const QString& folderName) {
        return WalkRules::skipsSubfolder(frame.facts, folderName, [&]() -> const QString& { return folderPath(index); });
    };
    const WalkRules::EntryLook look = WalkRules::lookAt(frame.fd, type, name.data());
    switch (look.kind) {
    case WalkRules::EntryLook::Kind::ignored: return;
    case WalkRules::EntryLook::Kind::linkedFolder: {
        // Followed only into a folder on the walked root's device that is not
        // the root, above it or on the current walk path (and, once open,
        // whose contents are not counted elsewhere).
        if (look.values.st_dev != rootDevice_ || onWalkPath(fileId(look.values))) return;
        QString folderName = PathCodec::decode(name);
        if (skipped(folderName)) return;
        return enterFolder(nameOffset, name, std::move(folderName), entryIndex, Entry::link);
    }
    case WalkRules::EntryLook::Kind::folder:
    case WalkRules::EntryLook::Kind::probedFolder: {
        // A different device is a mount point: the walk stays on the root's
        // file system; so is a folder the mount table lists (a bind mount of
        // this file system shares its device). A folder already on the walk
        // path or above the root (a bind mount of an ancestor) would never
        // end. A folder that was walked through a link already (one outside
        // the walked root) is counted there.
        const FileId id = fileId(look.values);
        if (look.values.st_dev != rootDevice_ || onWalkPath(id)) return;
        if (!linkTargets_.empty() && linkTargets_.contains(id)) return;
        QString folderName = PathCodec::decode(name);
        if (skipped(folderName)) return;
        if (mounts_.isMountPoint(folderName, [&] { return kernelPath(index); })) return;
        const bool probed = look.kind == WalkRules::EntryLook::Kind::probedFolder;
        return enterFolder(nameOffset, name, std::move(folderName), entryIndex, probed ? Entry::probed : Entry::folder);
    }
    case WalkRules::EntryLook::Kind::file:
        if (look.known && look.values.st_nlink > 1 && !linkedFiles_.insert(fileId(look.values)).second) {
            return;  // counted at its first link
        }
        return countFile(name, entryIndex, look.size, look.modified);
    }
}

void SerialWalk::countFile(std::string_view name, quint64 entryIndex, qint64 size, std::optional<qint64> modified) {
    Frame& frame = frames_.back();
    if (!frame.excluded) insights_.consider(name, size, modified, Origin(*this, entryIndex));
    ++files_;
    bytes_ = Saturating::add(bytes_, size);
    counters_.files.store(files_, std::memory_order_relaxed);
    counters_.bytes.store(bytes_, std::memory_order_relaxed);
    if (size >= WalkRules::kLeafFoldThreshold) {
        frame.children.push_back(ScanNode::createEntry(ScanNode::makeId(), PathCodec::decode(name), NodeKind::file, size));
    } else if (size >= 1) {
        frame.smallBytes = Saturating::add(frame.smallBytes, size);
        ++frame.smallCount;
    }
    progressCheck([&] { return WalkRules::joinPath(folderPath(frames_.size() - 1), PathCodec::decode(name)); });
}

void SerialWalk::enterFolder(size_t nameOffset, std::string_view name, QString folderName, quint64 entryIndex,
                             Entry entry) {
    const size_t index = frames_.size() - 1;
    const WalkRules::PathFacts facts = frames_.back().facts.child(folderName);
    auto addChild = [&](NodeKind kind) {
        frames_.back().children.push_back(ScanNode::createEntry(ScanNode::makeId(), folderName, kind, 0));
        progressCheck([&] { return WalkRules::joinPath(folderPath(index), folderName); });
    };
    if (counters_.isCancelled() && entry != Entry::link) return addChild(NodeKind::dir);

    const bool followed = entry != Entry::folder;
    int fd = ::openat(frames_.back().fd, name.data(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followed ? 0 : O_NOFOLLOW));
    struct stat st{};
    if (fd >= 0 && ::fstat(fd, &st) != 0) closeDescriptor(fd);
    if (fd >= 0 && (st.st_dev != rootDevice_ || onWalkPath(fileId(st)))) {
        ::close(fd);  // became a mount point or a loop since it was looked at
        return;
    }
    // A folder reached through a link is entered only on the root's own mount.
    QString followedPath;
    if (fd >= 0 && followed) {
        followedPath = WalkRules::openedPath(fd);
        if (!followedPath.isEmpty() && !mounts_.onRootMount(followedPath)) {
            ::close(fd);
            return;
        }
        if (followedPath.isEmpty()) followedPath = WalkRules::joinPath(kernelPath(index), folderName);
    }
    if (fd >= 0 && entry == Entry::link) {
        if (WalkRules::countedElsewhere(fd, st, rootId_, linkTargets_)) {
            ::close(fd);
            return;
        }
        if (counters_.isCancelled()) {
            ::close(fd);
            return addChild(NodeKind::dir);
        }
        linkTargets_.insert(fileId(st));
    }
    if (fd < 0 || !pushFolder(fd, st, folderName, followed, nameOffset, entryIndex, facts)) {
        // pushFolder did not add a frame when it failed.
        return addChild(NodeKind::restricted);
    }
    frames_.back().kernelPath = std::move(followedPath);
}

bool SerialWalk::progressDue() {
    const qint64 now = monotonicMSecs();
    if (files_ % kProgressFileStep != 0 && now - lastReportMs_ <= kProgressIntervalMs) return false;
    lastReportMs_ = now;
    return true;
}

void SerialWalk::report(const QString& path) {
    if (setup_.onProgress) setup_.onProgress(ScanProgress{files_, bytes_, path});
}

template <typename PathOf>
void SerialWalk::progressCheck(PathOf pathOf) {
    if (progressDue() && setup_.onProgress) report(pathOf());
}

}  // namespace tarnwick
