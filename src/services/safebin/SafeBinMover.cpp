#include "services/safebin/SafeBinMover.h"

#include "models/InUseTimes.h"
#include "platform/Environment.h"
#include "platform/FileDescriptor.h"
#include "platform/FileOperations.h"
#include "platform/FolderWalk.h"
#include "platform/MountTable.h"
#include "platform/PathCodec.h"
#include "platform/WalkBoundary.h"
#include "services/safebin/SafeBinService.h"
#include "services/store/TrashService.h"
#include "support/ByteCountFormatter.h"
#include "support/FileError.h"
#include "support/PathRules.h"
#include "support/Saturating.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick::SafeBinMover {

namespace {

constexpr qsizetype kNamedInMessage = 3;  // failures described in full

// True when a proper ancestor of path is in the set.
bool hasAncestorIn(const QString& path, const QSet<QString>& set) {
    QString ancestor = PathRules::deletingLastPathComponent(path);
    while (!ancestor.isEmpty()) {
        if (set.contains(ancestor)) return true;
        if (ancestor == QLatin1String("/")) break;
        ancestor = PathRules::deletingLastPathComponent(ancestor);
    }
    return false;
}

// Entries looked through in one folder of a folder's entries before it is
// left out as too large to vouch for.
constexpr qint64 kLookedThrough = 100000;

// Entries looked through in one measured folder entry when the clean runs
// before it stays as too large to vouch for.
constexpr int kJudgedAtClean = 1000000;

// Why a measured entry of a folder cleaned by its entries stays when the
// clean runs, though it is still the item measured.
enum class Stays { no, inUse, changed, tooLarge };

// The times a measured entry is judged by when the clean runs.
struct CleanTimes {
    qint64 inUseSinceMSecs = 0;  // modified at or after this: in use
    qint64 measuredAtMSecs = 0;  // its status changed after this: changed since the scan
    qint64 latestMSecs = 0;      // later times are wrong dates, no sign of anything

    bool inUse(const FileEntry& entry) const {
        return entry.modifiedMSecs >= inUseSinceMSecs && entry.modifiedMSecs <= latestMSecs;
    }
    // Made, replaced or written since the scan, whatever its modification
    // time says (tar, cp -p, rsync -t and touch -d set that one back).
    bool changed(const FileEntry& entry) const {
        return entry.changedMSecs > measuredAtMSecs && entry.changedMSecs <= latestMSecs;
    }
};

// What moving a file frees, as the scan counts it: its blocks, and nothing
// for a file with other names.
qint64 onDiskBytes(const FileEntry& entry) {
    return entry.isRegularFile() && entry.linkCount <= 1 ? std::max<qint64>(entry.allocatedSize, 0) : 0;
}

// The bytes the entry at path takes on disk now, of it and of the first
// kJudgedAtClean entries below it, nothing below a mount point counted:
// what an entry left in place as in use is said with.
qint64 bytesAtClean(const QString& path, const MountTable& mounts) {
    const std::optional<FileEntry> self = FileEntry::at(path);
    if (!self) return 0;
    if (!self->isDirectory()) return onDiskBytes(*self);
    const WalkBoundary boundary = WalkBoundary::resolving(mounts, path);
    if (boundary.rootIsMountPoint()) return 0;
    Saturating::Total total;
    int looked = 0;
    FolderWalk::Options options;
    options.includeHidden = true;
    FolderWalk::run(path, options, [&](const FileEntry& entry, int) {
        if (++looked > kJudgedAtClean) return FolderWalk::Step::stop;
        if (entry.device != self->device || boundary.isMountPointBelow(entry.path)) return FolderWalk::Step::skipDescendants;
        total.add(onDiskBytes(entry));
        return FolderWalk::Step::proceed;
    });
    return total.value();
}

// What the clean asks of a measured entry: nothing in it modified in the
// in-use time or changed since the scan (wrong dates excepted), no socket,
// pipe, device node or mount point in it. An entry that is gone or no longer
// the item measured is left to the Safe Bin, which names it as changed.
Stays judgeAtClean(const QString& path, const FileIdentity& seen, const CleanTimes& times, const MountTable& mounts) {
    const QByteArray encoded = PathCodec::encode(path);
    struct stat st {};
    if (::lstat(encoded.constData(), &st) != 0 || !seen.matches(FileIdentity::fromStat(st))) return Stays::no;
    FileEntry self;
    self.setValues(st);
    if (times.inUse(self)) return Stays::inUse;
    if (times.changed(self)) return Stays::changed;
    if (!self.isDirectory()) return self.type == FileEntry::Type::other ? Stays::inUse : Stays::no;
    const WalkBoundary boundary = WalkBoundary::resolving(mounts, path);
    if (boundary.rootIsMountPoint()) return Stays::inUse;
    Stays stays = Stays::no;
    int looked = 0;
    FolderWalk::Options options;
    options.includeHidden = true;
    FolderWalk::run(path, options, [&](const FileEntry& entry, int) {
        if (++looked > kJudgedAtClean) {
            stays = Stays::tooLarge;
            return FolderWalk::Step::stop;
        }
        const bool mount = entry.device != self.device || boundary.isMountPointBelow(entry.path);
        if (mount || entry.type == FileEntry::Type::other || times.inUse(entry)) {
            stays = Stays::inUse;
            return FolderWalk::Step::stop;
        }
        // Something changed since the scan; an entry in use further on
        // still makes it one in use.
        if (stays == Stays::no && times.changed(entry)) stays = Stays::changed;
        return FolderWalk::Step::proceed;
    });
    return stays;
}

struct Expanded {
    QList<SafeBinItemRequest::Member> members;  // standardised paths, in the order named
    bool grouped = false;
    bool together = false;    // several whole paths: they move together or not at all
    QString path;             // the finding's first path
    bool unreadable = false;  // a folder cleaned by its entries could not be listed
};

// What the clean leaves in place though nothing failed, and says so.
struct LeftInPlace {
    QStringList inUse;      // measured entries in use now, and those the scans left in place unmeasured
    QStringList changed;    // measured entries changed since the scan
    QStringList tooLarge;   // measured entries too large to look through now
    qint64 inUseBytes = 0;  // of the entries in use, as they are now, and of those the scans measured in use
    QStringList problems;   // folders cleaned by their entries that could not be read
};

// What the findings of one clean share while each is worked out.
struct Expansion {
    qint64 nowMSecs = 0;
    std::optional<MountTable> mounts;  // read once, when a folder's entries are judged
    LeftInPlace left;
};

// What the Safe Bin did not move of the items it was given.
struct NotMoved {
    QStringList failedPaths;
    QStringList partlyMoved;
    QStringList changed;
    QStringList refused;  // protected paths, found before the move or by it
    std::vector<FileError> failures;
};

}  // namespace

std::optional<QStringList> folderEntries(const QString& folder, const QStringList& keptPaths, int* errorNumber) {
    const QByteArray encoded = PathCodec::encode(folder);
    const int fd = ::open(encoded.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errorNumber) *errorNumber = errno;
        return std::nullopt;
    }
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        if (errorNumber) *errorNumber = errno;
        ::close(fd);
        return std::nullopt;
    }
    QStringList kept;
    for (const QString& path : keptPaths) kept.append(PathRules::standardizingPath(path));
    QStringList names;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        names.append(PathCodec::decode(std::string_view(entry->d_name)));
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    QStringList entries;
    for (const QString& name : std::as_const(names)) {
        const QString path = PathRules::appendingPathComponent(folder, name);
        const bool holdsKept = std::any_of(kept.begin(), kept.end(),
                                           [&](const QString& k) { return PathRules::isSameOrBelow(k, path); });
        if (!holdsKept) entries.append(path);
    }
    return entries;
}

std::optional<QList<ScopeEntry>> entriesToClean(const QString& folder, const QStringList& keptPaths, int* errorNumber) {
    const std::optional<QStringList> paths = folderEntries(folder, keptPaths, errorNumber);
    if (!paths) return std::nullopt;
    QList<ScopeEntry> entries;
    const FileDescriptor fd(::open(PathCodec::encode(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat self {};
    if (!fd.valid() || ::fstat(fd.get(), &self) != 0) return entries;
    const qint64 inUseNs = (Environment::current().now().toMSecsSinceEpoch() - InUseTimes::kInUseMSecs) * 1000000;
    for (const QString& path : *paths) {
        const QByteArray name = PathCodec::encode(PathRules::lastPathComponent(path));
        struct stat st {};
        bool mountRoot = false;
        if (FileOperations::statEntry(fd.get(), name.constData(), st, mountRoot) != 0) continue;
        if (mountRoot || st.st_dev != self.st_dev) continue;
        if (S_ISSOCK(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) continue;
        const FileIdentity now = FileIdentity::fromStat(st);
        if (now.modifiedNSecs >= inUseNs) continue;
        if (S_ISDIR(st.st_mode)) {
            const FileOperations::TreeReport report = FileOperations::inspectTree(fd.get(), name, path, kLookedThrough, true);
            if (!report.complete || !report.specialFile.isEmpty() || !report.mountPoint.isEmpty()) continue;
            if (report.newestModifiedNs >= inUseNs) continue;
        }
        entries.append(ScopeEntry{path, now});
    }
    return entries;
}

namespace {

// True when entry is, or lies in, one of the kept paths (standardised).
bool isKept(const QStringList& kept, const QString& entry) {
    return std::any_of(kept.begin(), kept.end(), [&](const QString& k) { return PathRules::isSameOrBelow(k, entry); });
}

// The entries of the folder at path (a target cleaned by its entries) that
// the scan measured and that still go: measured at a known time, each is
// judged again (the one-hour rule, and whatever changed since the scan).
void addMeasuredEntries(Expanded& finding, const Target& target, const QString& path, const QStringList& kept,
                        Expansion& expansion) {
    LeftInPlace& left = expansion.left;
    const bool judged = target.scope.measuredAtMSecs > 0;
    if ((judged || !target.scope.inUseUnmeasured.isEmpty()) && !expansion.mounts) expansion.mounts = MountTable::current();
    CleanTimes times;
    times.inUseSinceMSecs = std::min(expansion.nowMSecs - InUseTimes::kInUseMSecs, target.scope.measuredAtMSecs);
    times.measuredAtMSecs = target.scope.measuredAtMSecs;
    times.latestMSecs = expansion.nowMSecs + InUseTimes::kFutureSlackMSecs;
    left.inUseBytes = Saturating::add(left.inUseBytes, target.scope.inUseBytes);
    // In use when the scan ran, and not measured whole then: measured now.
    for (const QString& unmeasured : target.scope.inUseUnmeasured) {
        const QString entryPath = PathRules::standardizingPath(unmeasured);
        if (PathRules::deletingLastPathComponent(entryPath) != path || !FileOperations::itemExists(entryPath)) continue;
        left.inUse.append(entryPath);
        left.inUseBytes = Saturating::add(left.inUseBytes, bytesAtClean(entryPath, *expansion.mounts));
    }
    for (const ScopeEntry& entry : *target.scope.measured) {
        const QString entryPath = PathRules::standardizingPath(entry.path);
        // Only entries directly inside the folder belong to it.
        if (PathRules::deletingLastPathComponent(entryPath) != path || isKept(kept, entryPath)) continue;
        if (!judged) {
            finding.members.append({entryPath, entry.seen});
            continue;
        }
        switch (judgeAtClean(entryPath, entry.seen, times, *expansion.mounts)) {
        case Stays::inUse:
            // Said with what it holds now: the scan may have met it only in part.
            left.inUse.append(entryPath);
            left.inUseBytes = Saturating::add(left.inUseBytes, bytesAtClean(entryPath, *expansion.mounts));
            continue;
        case Stays::changed:
            left.changed.append(entryPath);
            continue;
        case Stays::tooLarge:
            left.tooLarge.append(entryPath);
            continue;
        case Stays::no:
            finding.members.append({entryPath, entry.seen});
        }
    }
}

// The entries of the folder at path (a target cleaned by its entries, none
// measured) that go, as listed now.
void addListedEntries(Expanded& finding, const QString& path, const QStringList& kept, Expansion& expansion) {
    int error = 0;
    const auto entries = entriesToClean(path, kept, &error);
    if (entries) {
        for (const ScopeEntry& entry : *entries) finding.members.append({entry.path, entry.seen});
    } else if (error != ENOENT) {
        finding.unreadable = true;
        expansion.left.problems.append(QStringLiteral("Could not read ") +
                                       FileError::quoted(PathRules::abbreviatingWithTilde(path)) +
                                       QStringLiteral(": ") + FileError::systemText(error) + QLatin1Char('.'));
    }
}

// What one finding names: a whole path as itself, a folder cleaned by its
// entries as those entries (which makes the finding a grouped item whose
// members each move or stay on their own).
Expanded expandFinding(const QList<Target>& targets, Expansion& expansion) {
    Expanded finding;
    finding.grouped = targets.size() > 1;
    finding.together = finding.grouped;
    for (const Target& target : targets) {
        const QString path = PathRules::standardizingPath(target.path);
        if (finding.path.isEmpty()) finding.path = path;
        if (!target.scope.contentsOnly) {
            finding.members.append({path, target.seen});
            continue;
        }
        finding.grouped = true;
        finding.together = false;
        QStringList kept;
        for (const QString& k : target.scope.keptPaths) kept.append(PathRules::standardizingPath(k));
        if (target.scope.measured) {
            addMeasuredEntries(finding, target, path, kept, expansion);
        } else {
            addListedEntries(finding, path, kept, expansion);
        }
    }
    return finding;
}

// The Safe Bin's requests for the findings: every path once, first come
// first credited; protected ones stay (added to refused). A path inside
// another one that moves goes with it; each finding's own paths make its
// item. requestOf tells each finding's request, size_t(-1) for none.
std::vector<SafeBinItemRequest> requestsFor(const std::vector<Expanded>& expanded, QStringList& refused,
                                            std::vector<size_t>& requestOf) {
    QSet<QString> allowedSet;
    QHash<QString, size_t> firstNamedBy;
    for (size_t i = 0; i < expanded.size(); ++i) {
        for (const SafeBinItemRequest::Member& member : std::as_const(expanded[i].members)) {
            if (firstNamedBy.contains(member.path)) continue;
            firstNamedBy.insert(member.path, i);
            if (TrashService::canCollect(member.path)) {
                allowedSet.insert(member.path);
            } else {
                refused.append(member.path);
            }
        }
    }
    std::vector<SafeBinItemRequest> requests;
    requestOf.assign(expanded.size(), size_t(-1));
    for (size_t i = 0; i < expanded.size(); ++i) {
        SafeBinItemRequest request;
        request.grouped = expanded[i].grouped;
        request.together = expanded[i].together;
        request.originalPath = expanded[i].path;
        const bool blocked = expanded[i].together && std::any_of(expanded[i].members.begin(), expanded[i].members.end(),
                                                                  [&](const SafeBinItemRequest::Member& member) {
                                                                      return refused.contains(member.path);
                                                                  });
        for (const SafeBinItemRequest::Member& member : std::as_const(expanded[i].members)) {
            if (blocked) break;  // its paths go together: a protected one keeps them all
            if (firstNamedBy.value(member.path) != i || !allowedSet.contains(member.path)) continue;
            if (hasAncestorIn(member.path, allowedSet)) continue;
            request.members.append(member);
        }
        if (request.members.isEmpty()) continue;
        requestOf[i] = requests.size();
        requests.push_back(std::move(request));
    }
    return requests;
}

// Credits what the Safe Bin did with one finding's item to the finding, and
// sorts what it did not move into notMoved. callFailed: the call itself
// failed, so only its first failure is described.
void creditResult(FindingResult& credited, const SafeBinItemResult& result, bool callFailed, NotMoved& notMoved) {
    credited.entry = result.entry;
    // Moved and failed at once, and still there: the copy is in the bin,
    // part of the original stayed. It did not leave its place.
    for (const auto& [path, error] : result.failed) {
        if (result.entry && result.moved.contains(path) && FileOperations::itemExists(path) &&
            !credited.partlyMoved.contains(path)) {
            credited.partlyMoved.append(path);
        }
    }
    for (const QString& path : result.moved) {
        if (!credited.partlyMoved.contains(path)) credited.movedPaths.append(path);
    }
    if (result.entry && !credited.movedPaths.isEmpty()) {
        qint64 bytes = result.entry->size;
        if (!credited.partlyMoved.isEmpty()) {
            bytes = 0;
            if (result.entry->members) {
                for (const SafeBinEntry::Member& member : *result.entry->members) {
                    if (!credited.partlyMoved.contains(member.originalPath)) bytes += member.size;
                }
            }
        }
        credited.moved = true;
        credited.movedBytes = bytes;
        credited.movedItems = 1;
    }
    for (const auto& [path, error] : result.failed) {
        if (credited.partlyMoved.contains(path)) {
            if (!notMoved.partlyMoved.contains(path)) notMoved.partlyMoved.append(path);
            notMoved.failures.push_back(error);  // its own words say what stayed and why
        } else if (error.domain == FileError::kTarnwickDomain && error.code == SafeBinService::kChangedCode) {
            notMoved.changed.append(path);
        } else if (error.domain == FileError::kTarnwickDomain && error.code == SafeBinService::kProtectedPathCode) {
            notMoved.refused.append(path);
        } else {
            if (!notMoved.failedPaths.contains(path)) notMoved.failedPaths.append(path);
            if (!callFailed || notMoved.failures.empty()) notMoved.failures.push_back(error);
        }
    }
}

// The message for the user of what stayed behind; nothing when all went.
std::optional<QString> messageOf(NotMoved notMoved, const LeftInPlace& left) {
    // Only what is still there was left alone.
    auto stillThere = [](QStringList& paths) {
        paths.removeIf([](const QString& path) { return !FileOperations::itemExists(path); });
        paths.removeDuplicates();
    };
    notMoved.changed.append(left.changed);
    stillThere(notMoved.refused);
    stillThere(notMoved.changed);
    QStringList message;
    QStringList described;
    for (const FileError& failure : notMoved.failures) {
        if (described.size() < kNamedInMessage && !described.contains(failure.description)) described.append(failure.description);
    }
    message.append(described);
    if (!notMoved.failedPaths.isEmpty()) {
        message.append(QStringLiteral("Not moved: ") + pathListText(notMoved.failedPaths) + QLatin1Char('.'));
    }
    if (!notMoved.partlyMoved.isEmpty()) {
        message.append(QStringLiteral("Partly moved \u2014 a copy is in the Safe Bin and part of the original is "
                                      "still in place: ") +
                       pathListText(notMoved.partlyMoved) + QLatin1Char('.'));
    }
    if (!notMoved.changed.isEmpty()) {
        message.append(QStringLiteral("Changed since the scan \u2014 not moved: ") + pathListText(notMoved.changed) +
                       QLatin1Char('.'));
    }
    if (!notMoved.refused.isEmpty()) {
        message.append(QStringLiteral("Protected path \u2014 not moved: ") + pathListText(notMoved.refused) +
                       QLatin1Char('.'));
    }
    if (left.inUseBytes > 0 || !left.inUse.isEmpty()) {
        QString stays = ByteCountFormatter::fileStyle(left.inUseBytes) + QStringLiteral(" in use or changed in the last hour stays");
        if (!left.inUse.isEmpty()) stays += QStringLiteral(", with ") + pathListText(left.inUse);
        message.append(stays + QLatin1Char('.'));
    }
    if (!left.tooLarge.isEmpty()) {
        message.append(QStringLiteral("Too large to look through \u2014 not moved: ") + pathListText(left.tooLarge) +
                       QLatin1Char('.'));
    }
    message.append(left.problems);
    if (message.isEmpty()) return std::nullopt;
    return message.join(QLatin1Char(' '));
}

}  // namespace

Outcome move(const std::vector<QList<Target>>& findings) {
    Outcome outcome;
    outcome.findings.resize(findings.size());

    // What each finding names, folders' entries as measured (or listed now).
    Expansion expansion;
    expansion.nowMSecs = Environment::current().now().toMSecsSinceEpoch();
    std::vector<Expanded> expanded;
    expanded.reserve(findings.size());
    for (const QList<Target>& finding : findings) expanded.push_back(expandFinding(finding, expansion));

    NotMoved notMoved;
    std::vector<size_t> requestOf;
    const std::vector<SafeBinItemRequest> requests = requestsFor(expanded, notMoved.refused, requestOf);
    std::optional<FileError> callError;
    const std::vector<SafeBinItemResult> results =
        requests.empty() ? std::vector<SafeBinItemResult>{} : SafeBinService::moveItems(requests, &callError);
    for (size_t i = 0; i < findings.size(); ++i) {
        if (requestOf[i] == size_t(-1)) continue;
        creditResult(outcome.findings[i], results[requestOf[i]], callError.has_value(), notMoved);
        outcome.movedPaths.append(outcome.findings[i].movedPaths);
    }

    // Gone is gone, whoever moved it (or if nothing was there to begin with).
    for (size_t i = 0; i < findings.size(); ++i) {
        bool cleaned = !expanded[i].unreadable;
        for (const SafeBinItemRequest::Member& member : std::as_const(expanded[i].members)) {
            if (FileOperations::itemExists(member.path)) cleaned = false;
        }
        outcome.findings[i].cleaned = cleaned;
    }

    outcome.error = messageOf(std::move(notMoved), expansion.left);
    return outcome;
}

}  // namespace tarnwick::SafeBinMover
