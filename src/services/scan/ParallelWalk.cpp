#include "services/scan/ParallelWalk.h"

#include "platform/PathCodec.h"
#include "support/Saturating.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <deque>
#include <optional>
#include <string>

namespace tarnwick {

using WalkRules::FileId;
using WalkRules::fileId;

namespace {

// Entries of one folder measured by one task; larger folders are split.
constexpr size_t kChunkEntries = 1024;
// A thread adds its counts to the shared ones after this many files.
constexpr qint64 kFlushFiles = 64;
using WalkRules::kProgressFileStep;
constexpr auto kProgressInterval = std::chrono::milliseconds(WalkRules::kProgressIntervalMs);

int descriptorCap() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 1024;
    const qint64 spare = (static_cast<qint64>(limit.rlim_cur) - 64) / 2;
    return static_cast<int>(std::clamp<qint64>(spare, 16, 1024));
}

}  // namespace

// One folder being walked. It lives until its node is made: after its own
// entries are measured and every subfolder is finished.
struct ParallelWalk::Folder {
    Folder* parent = nullptr;  // outlives this folder
    std::string nameBytes;     // its name in the parent's listing; empty for the root
    QString name;
    QString kernelPath;        // the root and followed folders: its path in the kernel's form
    quint64 entryIndex = 0;    // its index in the parent's listing
    FileId id{};
    WalkRules::PathFacts facts;
    bool followed = false;     // entered through a link (or the root): reopened following links
    bool excluded = false;     // inside the program's support folder: no insights

    // The descriptor, shared by the tasks that measure its entries and open
    // its subfolders. fd, inUse and broken are guarded by fdMutex.
    std::mutex fdMutex;
    int fd = -1;
    int inUse = 0;
    bool broken = false;
    std::atomic<int> holders{0};       // chunks and subfolder openings still to come
    std::atomic<int> activeChunks{0};  // chunks not yet finished

    std::vector<char> listing;       // records: type byte, name, NUL; freed when no holder is left
    std::vector<size_t> chunkStarts;  // offset of each chunk's first record
    size_t entryCount = 0;

    struct Chunk {
        std::vector<std::pair<quint64, ScanNodePtr>> nodes;  // by entry index; written by its task only
        qint64 smallBytes = 0;
        qint64 smallCount = 0;
    };
    std::vector<Chunk> chunks;

    std::mutex finishedMutex;
    std::vector<std::pair<quint64, ScanNodePtr>> finished;  // subfolder nodes by entry index

    std::atomic<int> remaining{0};  // chunks and subfolders not finished
};

struct ParallelWalk::Task {
    enum class Kind : unsigned char { open, list, chunk };
    Kind kind = Kind::chunk;
    Entry entry = Entry::folder;
    Folder* folder = nullptr;  // open: the parent; list and chunk: the folder
    quint64 index = 0;         // open: the entry's index; chunk: the chunk's
    size_t nameOffset = 0;     // open: the entry's name in the parent's listing
    int fd = -1;               // list: the open descriptor
    QString name;              // open: the entry's name as text
};

struct alignas(64) ParallelWalk::Worker {
    std::mutex mutex;
    std::deque<Task> tasks;
    InsightsBuilder insights;
    std::unique_ptr<char[]> buffer{new char[WalkRules::kListingBufferSize]};
    qint64 files = 0;  // not yet added to the shared counters
    qint64 bytes = 0;
};

// A file being measured, for the insights.
class ParallelWalk::Origin final : public InsightsBuilder::FileOrigin {
public:
    Origin(const Folder* folder, quint64 entryIndex, const std::function<const QString&()>& folderPath)
        : folder_(folder), entryIndex_(entryIndex), folderPath_(folderPath) {}
    QString folderPath() const override { return folderPath_(); }
    InsightsBuilder::WalkPosition walkPosition() const override {
        InsightsBuilder::WalkPosition position{entryIndex_};
        for (const Folder* f = folder_; f->parent; f = f->parent) position.push_back(f->entryIndex);
        std::reverse(position.begin(), position.end());
        return position;
    }

private:
    const Folder* folder_;
    quint64 entryIndex_;
    const std::function<const QString&()>& folderPath_;
};

ParallelWalk::ParallelWalk(WalkCounters& counters, const WalkSetup& setup, int threads)
    : counters_(counters), setup_(setup), threads_(std::max(1, threads)), fdCap_(descriptorCap()) {
    insights_.nowMSecs = setup.nowMSecs;
}

ParallelWalk::~ParallelWalk() {
    for (std::thread& thread : pool_) {
        if (thread.joinable()) thread.join();
    }
}

ScanNodePtr ParallelWalk::run() {
    const QString& rootPath = setup_.rootPath;
    QString name = WalkRules::displayName(rootPath);
    auto rootNode = [&](NodeKind kind) { return ScanNode::create(ScanNode::makeId(), name, rootPath, kind, 0); };
    if (counters_.isCancelled()) return rootNode(NodeKind::dir);
    if (WalkRules::shouldSkipDirectory(rootPath)) return rootNode(NodeKind::restricted);
    struct stat st{};
    const int fd = WalkRules::openRoot(rootPath, &st);
    if (fd < 0) return rootNode(NodeKind::restricted);
    openFds_.fetch_add(1, std::memory_order_relaxed);
    rootDevice_ = st.st_dev;
    rootId_ = fileId(st);
    aboveRoot_ = WalkRules::folderAndAncestors(fd);
    QString rootKernelPath = WalkRules::openedPath(fd);
    if (rootKernelPath.isEmpty()) rootKernelPath = rootPath;
    mounts_ = WalkBoundary(MountTable::current(), rootPath, rootKernelPath);

    auto* root = new Folder;
    root->name = name;
    root->kernelPath = std::move(rootKernelPath);
    root->id = rootId_;
    root->facts = WalkRules::PathFacts::of(rootPath);
    root->followed = true;
    for (const FileId& id : aboveRoot_) root->excluded = root->excluded || setup_.insightsExcluded.contains(id);

    workers_.reserve(static_cast<size_t>(threads_));
    for (int i = 0; i < threads_; ++i) {
        workers_.push_back(std::make_unique<Worker>());
        workers_.back()->insights.nowMSecs = setup_.nowMSecs;
    }
    Task first;
    first.kind = Task::Kind::list;
    first.folder = root;
    first.fd = fd;
    push(*workers_[0], std::move(first));
    for (int i = 0; i < threads_; ++i) pool_.emplace_back([this, i] { workerLoop(static_cast<size_t>(i)); });

    coordinate();  // returns once every thread has ended
    pool_.clear();
    for (const auto& worker : workers_) insights_.merge(worker->insights);
    workers_.clear();
    return std::move(root_);
}

// ------------------------------------------------------------ the pool

void ParallelWalk::push(Worker& worker, Task task) {
    outstanding_.fetch_add(1);
    {
        std::lock_guard lock(worker.mutex);
        worker.tasks.push_back(std::move(task));
    }
    queued_.fetch_add(1);
    if (idle_.load() > 0) {
        std::lock_guard lock(sleepMutex_);
        sleepCv_.notify_one();
    }
}

bool ParallelWalk::take(size_t self, Task& task) {
    {
        Worker& own = *workers_[self];
        std::lock_guard lock(own.mutex);
        if (!own.tasks.empty()) {
            task = std::move(own.tasks.back());  // newest first: depth first
            own.tasks.pop_back();
            queued_.fetch_sub(1);
            return true;
        }
    }
    for (size_t k = 1; k < workers_.size(); ++k) {
        Worker& other = *workers_[(self + k) % workers_.size()];
        std::lock_guard lock(other.mutex);
        if (!other.tasks.empty()) {
            task = std::move(other.tasks.front());  // oldest: the largest pending subtree
            other.tasks.pop_front();
            queued_.fetch_sub(1);
            return true;
        }
    }
    return false;
}

void ParallelWalk::workerLoop(size_t self) {
    Worker& worker = *workers_[self];
    Task task;
    for (;;) {
        if (take(self, task)) {
            execute(worker, task);
            task = Task();
            if (outstanding_.fetch_sub(1) == 1) finishAll();
            continue;
        }
        if (done_.load()) break;
        std::unique_lock lock(sleepMutex_);
        idle_.fetch_add(1);
        if (queued_.load() == 0 && !done_.load()) sleepCv_.wait_for(lock, std::chrono::milliseconds(10));
        idle_.fetch_sub(1);
    }
    flush(worker, [] { return QString(); });
}

void ParallelWalk::finishAll() {
    {
        std::lock_guard lock(sleepMutex_);
        done_.store(true);
    }
    sleepCv_.notify_all();
    {
        std::lock_guard lock(progressMutex_);
    }
    progressCv_.notify_all();
}

void ParallelWalk::execute(Worker& worker, Task& task) {
    switch (task.kind) {
    case Task::Kind::open: openSubfolder(worker, task); break;
    case Task::Kind::list: listAndRun(worker, task.folder, task.fd); break;
    case Task::Kind::chunk: runChunk(worker, task.folder, static_cast<size_t>(task.index)); break;
    }
}

// ------------------------------------------------------------ progress

void ParallelWalk::coordinate() {
    using Clock = std::chrono::steady_clock;
    Clock::time_point lastReport = Clock::now();
    qint64 reportedFiles = 0;
    qint64 reportedBytes = 0;
    std::unique_lock lock(progressMutex_);
    while (!done_.load()) {
        progressCv_.wait_until(lock, lastReport + kProgressInterval, [&] { return progressSignal_ || done_.load(); });
        if (done_.load()) break;
        const bool passed = progressSignal_;
        progressSignal_ = false;
        const Clock::time_point now = Clock::now();
        const qint64 files = counters_.files.load(std::memory_order_relaxed);
        const qint64 bytes = counters_.bytes.load(std::memory_order_relaxed);
        const bool changed = files != reportedFiles || bytes != reportedBytes || pathFresh_;
        const bool due = passed || now - lastReport >= kProgressInterval;
        if (!due) continue;
        lastReport = now;
        if (!changed || !setup_.onProgress) continue;
        ScanProgress progress{files, bytes, latestPath_.isEmpty() ? setup_.rootPath : latestPath_};
        pathFresh_ = false;
        reportedFiles = files;
        reportedBytes = bytes;
        pathWanted_.store(true, std::memory_order_relaxed);
        lock.unlock();
        setup_.onProgress(progress);
        lock.lock();
    }
    // Every thread has flushed its counts: the last report carries the totals.
    lock.unlock();
    for (std::thread& thread : pool_) thread.join();
    lock.lock();
    const qint64 files = counters_.files.load();
    const qint64 bytes = counters_.bytes.load();
    if (setup_.onProgress && (files != reportedFiles || bytes != reportedBytes)) {
        const ScanProgress progress{files, bytes, latestPath_.isEmpty() ? setup_.rootPath : latestPath_};
        lock.unlock();
        setup_.onProgress(progress);
    }
}

template <typename PathOf>
void ParallelWalk::flush(Worker& worker, PathOf pathOf) {
    if (worker.files == 0 && worker.bytes == 0) return;
    const qint64 before = counters_.files.fetch_add(worker.files, std::memory_order_relaxed);
    counters_.addBytes(worker.bytes);
    const bool passed = before / kProgressFileStep != (before + worker.files) / kProgressFileStep;
    worker.files = 0;
    worker.bytes = 0;
    if (!passed && !pathWanted_.load(std::memory_order_relaxed)) return;
    if (!passed && !pathWanted_.exchange(false)) return;
    QString path = pathOf();
    {
        std::lock_guard lock(progressMutex_);
        if (!path.isEmpty()) {
            latestPath_ = std::move(path);
            pathFresh_ = true;
        }
        if (passed) progressSignal_ = true;
    }
    if (passed) progressCv_.notify_one();
}

// ------------------------------------------------------------ descriptors

int ParallelWalk::borrow(Folder* folder) {
    std::lock_guard lock(folder->fdMutex);
    if (folder->fd < 0 && !folder->broken) reopenLocked(folder);
    if (folder->fd < 0) return -1;
    ++folder->inUse;
    return folder->fd;
}

void ParallelWalk::giveBack(Folder* folder) {
    std::lock_guard lock(folder->fdMutex);
    --folder->inUse;
    if (folder->inUse > 0 || folder->fd < 0) return;
    const bool unneeded = folder->holders.load() == 0;
    const bool overCap = folder->activeChunks.load() == 0 && openFds_.load(std::memory_order_relaxed) > fdCap_;
    if (unneeded || overCap) closeLocked(folder);
}

void ParallelWalk::releaseHolder(Folder* folder) {
    if (folder->holders.fetch_sub(1) != 1) return;
    std::lock_guard lock(folder->fdMutex);
    if (folder->inUse == 0) closeLocked(folder);
    std::vector<char>().swap(folder->listing);
    std::vector<size_t>().swap(folder->chunkStarts);
}

void ParallelWalk::closeLocked(Folder* folder) {
    if (folder->fd < 0) return;
    ::close(folder->fd);
    folder->fd = -1;
    openFds_.fetch_sub(1, std::memory_order_relaxed);
}

// Opens a folder whose descriptor was closed again from its parent (or the
// root's path), checking that it is still the folder that was listed.
void ParallelWalk::reopenLocked(Folder* folder) {
    int fd = -1;
    if (!folder->parent) {
        fd = WalkRules::openRoot(setup_.rootPath);
    } else {
        const int parentFd = borrow(folder->parent);
        if (parentFd >= 0) {
            fd = ::openat(parentFd, folder->nameBytes.c_str(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC | (folder->followed ? 0 : O_NOFOLLOW));
            giveBack(folder->parent);
        }
    }
    struct stat st{};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || fileId(st) != folder->id)) {
        ::close(fd);
        fd = -1;
    }
    if (fd < 0) {
        folder->broken = true;
        return;
    }
    folder->fd = fd;
    openFds_.fetch_add(1, std::memory_order_relaxed);
}

// ------------------------------------------------------------ folders

QString ParallelWalk::folderPath(const Folder* folder) const {
    std::vector<const Folder*> chain;
    for (const Folder* f = folder; f->parent; f = f->parent) chain.push_back(f);
    qsizetype length = setup_.rootPath.size();
    for (const Folder* f : chain) length += 1 + f->name.size();
    QString path;
    path.reserve(length);
    path += setup_.rootPath;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
        path += (*it)->name;
    }
    return path;
}

QString ParallelWalk::kernelPath(const Folder* folder) const {
    std::vector<const Folder*> chain;
    const Folder* anchor = folder;
    for (; !anchor->followed; anchor = anchor->parent) chain.push_back(anchor);  // the root counts as followed
    QString path = anchor->kernelPath;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) path = WalkRules::joinPath(path, (*it)->name);
    return path;
}

bool ParallelWalk::onWalkPath(const Folder* folder, const FileId& id) const {
    if (aboveRoot_.contains(id)) return true;
    for (const Folder* f = folder; f; f = f->parent) {
        if (f->id == id) return true;
    }
    return false;
}

bool ParallelWalk::firstLink(const FileId& id) {
    LinkShard& shard = linkedFiles_[WalkRules::FileIdHash{}(id) % linkedFiles_.size()];
    std::lock_guard lock(shard.mutex);
    return shard.ids.insert(id).second;
}

bool ParallelWalk::walkedThroughLink(const FileId& id) {
    if (!anyLinkTargets_.load(std::memory_order_acquire)) return false;
    std::lock_guard lock(linkMutex_);
    return linkTargets_.contains(id);
}

void ParallelWalk::spawnSubfolder(Worker& worker, Folder* folder, const char* name, QString folderName,
                                  quint64 entryIndex, Entry entry) {
    folder->remaining.fetch_add(1);
    folder->holders.fetch_add(1);
    Task task;
    task.kind = Task::Kind::open;
    task.entry = entry;
    task.folder = folder;
    task.index = entryIndex;
    task.nameOffset = static_cast<size_t>(name - folder->listing.data());
    task.name = std::move(folderName);
    push(worker, std::move(task));
}

void ParallelWalk::openSubfolder(Worker& worker, Task& task) {
    Folder* parent = task.folder;
    const quint64 index = task.index;
    auto node = [&](NodeKind kind) { return ScanNode::createEntry(ScanNode::makeId(), task.name, kind, 0); };
    if (counters_.isCancelled() && task.entry != Entry::link) {
        releaseHolder(parent);
        return childDone(parent, index, node(NodeKind::dir));
    }

    const bool followed = task.entry != Entry::folder;
    std::string nameBytes(parent->listing.data() + task.nameOffset);
    int fd = -1;
    const int parentFd = borrow(parent);
    if (parentFd >= 0) {
        fd = ::openat(parentFd, nameBytes.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followed ? 0 : O_NOFOLLOW));
        giveBack(parent);
    }
    const bool parentBroken = parentFd < 0;
    releaseHolder(parent);
    if (parentBroken) return childDone(parent, index, nullptr);  // its remaining entries are dropped

    struct stat st{};
    if (fd >= 0 && ::fstat(fd, &st) != 0) {
        ::close(fd);
        fd = -1;
    }
    if (fd >= 0 && (st.st_dev != rootDevice_ || onWalkPath(parent, fileId(st)))) {
        ::close(fd);  // became a mount point or a loop since it was looked at
        return childDone(parent, index, nullptr);
    }
    // A folder reached through a link is entered only on the root's own mount.
    QString followedPath;
    if (fd >= 0 && followed) {
        followedPath = WalkRules::openedPath(fd);
        if (!followedPath.isEmpty() && !mounts_.onRootMount(followedPath)) {
            ::close(fd);
            return childDone(parent, index, nullptr);
        }
        if (followedPath.isEmpty()) followedPath = WalkRules::joinPath(kernelPath(parent), task.name);
    }
    if (fd >= 0 && task.entry == Entry::link) {
        std::unique_lock lock(linkMutex_);
        if (WalkRules::countedElsewhere(fd, st, rootId_, linkTargets_)) {
            lock.unlock();
            ::close(fd);
            return childDone(parent, index, nullptr);
        }
        if (counters_.isCancelled()) {
            lock.unlock();
            ::close(fd);
            return childDone(parent, index, node(NodeKind::dir));
        }
        linkTargets_.insert(fileId(st));
        anyLinkTargets_.store(true, std::memory_order_release);
    }
    if (fd < 0) return childDone(parent, index, node(NodeKind::restricted));

    openFds_.fetch_add(1, std::memory_order_relaxed);
    auto* folder = new Folder;
    folder->parent = parent;
    folder->nameBytes = std::move(nameBytes);
    folder->facts = parent->facts.child(task.name);
    folder->name = std::move(task.name);
    folder->entryIndex = index;
    folder->id = fileId(st);
    folder->followed = followed;
    folder->kernelPath = std::move(followedPath);
    folder->excluded = parent->excluded || setup_.insightsExcluded.contains(folder->id);
    listAndRun(worker, folder, fd);
}

void ParallelWalk::listAndRun(Worker& worker, Folder* folder, int fd) {
    size_t count = 0;
    if (!WalkRules::readListing(fd, worker.buffer.get(), WalkRules::kListingBufferSize, folder->listing, &count)) {
        ::close(fd);
        openFds_.fetch_sub(1, std::memory_order_relaxed);
        Folder* parent = folder->parent;
        const quint64 index = folder->entryIndex;
        ScanNodePtr node = parent ? ScanNode::createEntry(ScanNode::makeId(), folder->name, NodeKind::restricted, 0)
                                  : ScanNode::create(ScanNode::makeId(), folder->name, setup_.rootPath,
                                                     NodeKind::restricted, 0);
        delete folder;
        if (!parent) {
            root_ = std::move(node);
            return;
        }
        return childDone(parent, index, std::move(node));
    }
    folder->entryCount = count;
    const size_t chunks = std::max<size_t>(1, (count + kChunkEntries - 1) / kChunkEntries);
    folder->chunkStarts.reserve(chunks);
    folder->chunkStarts.push_back(0);
    if (chunks > 1) {
        size_t at = 0;
        for (size_t entry = 0; entry < count; ++entry) {
            if (entry > 0 && entry % kChunkEntries == 0) folder->chunkStarts.push_back(at);
            at += 1 + std::strlen(folder->listing.data() + at + 1) + 1;
        }
    }
    folder->chunks.resize(chunks);
    folder->fd = fd;
    const int n = static_cast<int>(chunks);
    folder->remaining.store(n);
    folder->holders.store(n);
    folder->activeChunks.store(n);
    for (size_t chunk = chunks; chunk-- > 1;) {
        Task task;
        task.kind = Task::Kind::chunk;
        task.folder = folder;
        task.index = chunk;
        push(worker, std::move(task));
    }
    runChunk(worker, folder, 0);
}

void ParallelWalk::runChunk(Worker& worker, Folder* folder, size_t chunk) {
    const size_t first = chunk * kChunkEntries;
    const size_t last = std::min(folder->entryCount, first + kChunkEntries);
    std::optional<QString> pathCache;
    const std::function<const QString&()> path = [&]() -> const QString& {
        if (!pathCache) pathCache = folderPath(folder);
        return *pathCache;
    };
    const char* name = nullptr;
    const int fd = borrow(folder);
    if (fd >= 0) {
        Folder::Chunk& out = folder->chunks[chunk];
        out.nodes.reserve(std::min(last - first, WalkRules::kChildReserve));
        size_t at = folder->chunkStarts[chunk];
        for (size_t entry = first; entry < last; ++entry) {
            if (counters_.isCancelled()) break;
            const unsigned char type = static_cast<unsigned char>(folder->listing[at]);
            name = folder->listing.data() + at + 1;
            at += 1 + std::strlen(name) + 1;
            handleEntry(worker, folder, chunk, fd, type, name, entry, path);
            if (worker.files >= kFlushFiles) {
                const char* handled = name;
                flush(worker, [&] { return WalkRules::joinPath(path(), PathCodec::decode(std::string_view(handled))); });
            }
        }
        giveBack(folder);
    }  // else it could not be reopened: its entries are dropped
    flush(worker, [&] { return path(); });
    if (folder->activeChunks.fetch_sub(1) == 1 && openFds_.load(std::memory_order_relaxed) > fdCap_) {
        std::lock_guard lock(folder->fdMutex);
        if (folder->inUse == 0) closeLocked(folder);
    }
    releaseHolder(folder);
    if (folder->remaining.fetch_sub(1) == 1) completeFolders(folder);
}

void ParallelWalk::handleEntry(Worker& worker, Folder* folder, size_t chunk, int fd, unsigned char type,
                               const char* name, quint64 entryIndex, const std::function<const QString&()>& path) {
    auto skipped = [&](const QString& folderName) { return WalkRules::skipsSubfolder(folder->facts, folderName, path); };
    const WalkRules::EntryLook look = WalkRules::lookAt(fd, type, name);
    switch (look.kind) {
    case WalkRules::EntryLook::Kind::ignored: return;
    case WalkRules::EntryLook::Kind::linkedFolder: {
        if (look.values.st_dev != rootDevice_ || onWalkPath(folder, fileId(look.values))) return;
        QString folderName = PathCodec::decode(std::string_view(name));
        if (skipped(folderName)) return;
        return spawnSubfolder(worker, folder, name, std::move(folderName), entryIndex, Entry::link);
    }
    case WalkRules::EntryLook::Kind::folder:
    case WalkRules::EntryLook::Kind::probedFolder: {
        const FileId id = fileId(look.values);
        if (look.values.st_dev != rootDevice_ || onWalkPath(folder, id)) return;
        if (walkedThroughLink(id)) return;
        QString folderName = PathCodec::decode(std::string_view(name));
        if (skipped(folderName)) return;
        // A bind mount of this file system shares its device: the mount table tells.
        if (mounts_.isMountPoint(folderName, [&] { return kernelPath(folder); })) return;
        const bool probed = look.kind == WalkRules::EntryLook::Kind::probedFolder;
        return spawnSubfolder(worker, folder, name, std::move(folderName), entryIndex,
                              probed ? Entry::probed : Entry::folder);
    }
    case WalkRules::EntryLook::Kind::file: break;
    }

    if (look.known && look.values.st_nlink > 1 && !firstLink(fileId(look.values))) return;  // counted at its first link reached
    const qint64 size = look.size;
    if (!folder->excluded) worker.insights.consider(std::string_view(name), size, look.modified, Origin(folder, entryIndex, path));
    ++worker.files;
    worker.bytes = Saturating::add(worker.bytes, size);
    Folder::Chunk& out = folder->chunks[chunk];
    if (size >= WalkRules::kLeafFoldThreshold) {
        out.nodes.emplace_back(entryIndex, ScanNode::createEntry(ScanNode::makeId(),
                                                                 PathCodec::decode(std::string_view(name)),
                                                                 NodeKind::file, size));
    } else if (size >= 1) {
        out.smallBytes = Saturating::add(out.smallBytes, size);
        ++out.smallCount;
    }
}

void ParallelWalk::childDone(Folder* parent, quint64 entryIndex, ScanNodePtr node) {
    if (node) {
        std::lock_guard lock(parent->finishedMutex);
        parent->finished.emplace_back(entryIndex, std::move(node));
    }
    if (parent->remaining.fetch_sub(1) == 1) completeFolders(parent);
}

// Makes the node of a folder that has nothing left to wait for, hands it to
// its parent, and goes on up while that was the parent's last child.
void ParallelWalk::completeFolders(Folder* folder) {
    while (folder) {
        size_t total = folder->finished.size() + 1;
        for (const Folder::Chunk& chunk : folder->chunks) total += chunk.nodes.size();
        std::vector<std::pair<quint64, ScanNodePtr>> entries;
        entries.reserve(total);
        for (Folder::Chunk& chunk : folder->chunks) {
            for (auto& entry : chunk.nodes) entries.push_back(std::move(entry));
        }
        const auto middle = static_cast<std::ptrdiff_t>(entries.size());
        std::sort(folder->finished.begin(), folder->finished.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        for (auto& entry : folder->finished) entries.push_back(std::move(entry));
        std::inplace_merge(entries.begin(), entries.begin() + middle, entries.end(),
                           [](const auto& a, const auto& b) { return a.first < b.first; });

        std::vector<ScanNodePtr> children;
        children.reserve(entries.size() + 1);
        Saturating::Total size;
        for (auto& entry : entries) {
            size.add(entry.second->size);
            children.push_back(std::move(entry.second));
        }
        qint64 smallBytes = 0;
        qint64 smallCount = 0;
        for (const Folder::Chunk& chunk : folder->chunks) {
            smallBytes = Saturating::add(smallBytes, chunk.smallBytes);
            smallCount += chunk.smallCount;
        }
        if (smallCount >= 1) {
            ScanNodePtr small = ScanNode::createInHolder(ScanNode::makeId(), ScanNode::smallFilesName(smallCount),
                                                         NodeKind::file, smallBytes);
            small->isAggregate = true;
            size.add(smallBytes);
            children.push_back(std::move(small));
        }

        Folder* parent = folder->parent;
        const quint64 index = folder->entryIndex;
        ScanNodePtr node = parent ? ScanNode::createEntry(ScanNode::makeId(), std::move(folder->name), NodeKind::dir,
                                                          size.value(), std::move(children))
                                  : ScanNode::create(ScanNode::makeId(), std::move(folder->name), setup_.rootPath,
                                                     NodeKind::dir, size.value(), std::move(children));
        {
            std::lock_guard lock(folder->fdMutex);
            closeLocked(folder);
        }
        delete folder;
        if (!parent) {
            root_ = std::move(node);
            return;
        }
        {
            std::lock_guard lock(parent->finishedMutex);
            parent->finished.emplace_back(index, std::move(node));
        }
        if (parent->remaining.fetch_sub(1) != 1) return;
        folder = parent;
    }
}

}  // namespace tarnwick
