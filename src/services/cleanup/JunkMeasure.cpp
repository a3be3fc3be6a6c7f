#include "services/cleanup/JunkMeasure.h"

#include "models/InUseTimes.h"
#include "platform/DirectoryNames.h"
#include "platform/Environment.h"
#include "platform/FileDescriptor.h"
#include "platform/FileEntry.h"
#include "platform/FolderListing.h"
#include "platform/FolderWalk.h"
#include "platform/MountTable.h"
#include "platform/PathCodec.h"
#include "platform/WalkBoundary.h"
#include "support/Saturating.h"

#include <QSet>

#include <algorithm>

#include <fcntl.h>

namespace tarnwick {

namespace {

// After a walk that ended at its budget: the folder's direct entries the walk
// never reached, as parts, so that a clean may take them. Each is looked at
// as itself only (a file's bytes count, a folder's contents are not looked
// into), and only as many as bring the parts to the budget: the folder's
// listing is read by name, and the entries past that many are counted in
// notListed, neither parts nor offered.
template <typename PartOf, typename Count>
void listUnmet(JunkMeasure& measure, const QString& path, int budget, const PartOf& partOf, const Count& count) {
    QSet<QString> met;
    for (const JunkFinding::Part& part : std::as_const(measure.parts)) met.insert(part.path);
    const FileDescriptor fd(::open(PathCodec::encode(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    DirectoryNames names;
    if (!fd.valid() || !names.read(fd.get(), true)) return;
    qsizetype room = std::max<qsizetype>(0, budget - measure.parts.size());
    for (size_t i = 0; i < names.size(); ++i) {
        const QString entryPath = FolderListing::childPath(path, PathCodec::decode(names.nameView(i)));
        if (met.contains(entryPath)) continue;
        if (room == 0) {
            ++measure.notListed;
            continue;
        }
        const std::optional<FileEntry> entry = FileEntry::at(entryPath);
        if (!entry) continue;  // gone meanwhile
        --room;
        JunkFinding::Part part = partOf(*entry);
        count(*entry, part);
        // A folder is not looked into; a mount point or a socket, pipe or
        // device holds nothing to measure.
        part.complete = !entry->isDirectory() || part.inUse;
        measure.parts.append(part);
    }
}

}  // namespace

JunkMeasure JunkMeasure::of(const QString& path, int maxSteps, const std::stop_token& stop, const Options& options) {
    JunkMeasure measure;
    const std::optional<FileEntry> place = FileEntry::at(path);
    if (!place) return measure;
    measure.exists = true;
    measure.seen = FileIdentity::of(path);
    // Dates far ahead of the clock say nothing of use.
    const qint64 latest = Environment::current().now().toMSecsSinceEpoch() + InUseTimes::kFutureSlackMSecs;
    auto newest = [latest](qint64 current, qint64 modified) {
        return modified > latest ? current : std::max(current, modified);
    };
    measure.newestModifiedMSecs = newest(0, place->modifiedMSecs);
    if (!place->isDirectory()) {
        const qint64 logical = std::max<qint64>(place->logicalSize, 0);
        const qint64 allocated = std::max<qint64>(place->allocatedSize, 0);
        const QString lowered = path.toLower();
        const bool diskImage = lowered.endsWith(QLatin1String(".raw")) || lowered.endsWith(QLatin1String(".qcow2"));
        if (diskImage) {
            measure.size = allocated >= 1 ? allocated : logical;
        } else {
            measure.size = logical >= 1 ? logical : allocated;
        }
        return measure;
    }

    measure.isFolder = true;
    const WalkBoundary mounts =
        WalkBoundary::resolving(options.mounts ? *options.mounts : MountTable::current(), path);
    measure.isMountPoint = mounts.rootIsMountPoint();

    // A direct entry of the folder, as a part not yet measured below it.
    auto partOf = [&](const FileEntry& entry) {
        JunkFinding::Part part{entry.path, 0, entry.owner};
        if (const std::optional<FileIdentity> seen = FileIdentity::of(entry.path)) {
            part.seen = *seen;
        } else {
            part.identified = false;  // gone or unreadable: nothing to vouch for
        }
        part.sharedFile = options.onDisk && entry.isRegularFile() && entry.linkCount > 1;
        return part;
    };
    // Counts an entry into the part it lies in; false: not to be entered.
    auto count = [&](const FileEntry& entry, JunkFinding::Part& part) {
        measure.newestModifiedMSecs = newest(measure.newestModifiedMSecs, entry.modifiedMSecs);
        part.newestModifiedMSecs = newest(part.newestModifiedMSecs, entry.modifiedMSecs);
        if (entry.device != place->device || mounts.isMountPointBelow(entry.path)) {
            // A mount point: neither counted nor entered.
            measure.holdsMount = true;
            part.inUse = true;
            return false;
        }
        if (entry.type == FileEntry::Type::other) {
            part.inUse = true;  // a socket, a pipe or a device node
            return true;
        }
        if (entry.isRegularFile()) {
            qint64 bytes = entry.logicalSize;
            if (options.onDisk) bytes = entry.linkCount > 1 ? 0 : entry.allocatedSize;
            if (bytes > 0) {
                measure.size = Saturating::add(measure.size, bytes);
                part.bytes = Saturating::add(part.bytes, bytes);
            }
        }
        return true;
    };

    const int budget = std::min(maxSteps, kStepCeiling);
    int steps = 0;
    FolderWalk::Options walk;
    walk.includeHidden = true;
    walk.enterPackages = options.enterPackages;
    FolderWalk::run(
        path, walk,
        [&](const FileEntry& entry, int depth) {
            if (steps >= budget) {
                measure.truncated = true;
                // The entry the walk was in is only partly measured.
                if (depth > 1 && !measure.parts.isEmpty()) measure.parts.last().complete = false;
                return FolderWalk::Step::stop;
            }
            ++steps;
            if (depth == 1) measure.parts.append(partOf(entry));
            return count(entry, measure.parts.last()) ? FolderWalk::Step::proceed : FolderWalk::Step::skipDescendants;
        },
        stop);
    if (stop.stop_requested()) {
        measure.truncated = true;
        if (!measure.parts.isEmpty()) measure.parts.last().complete = false;
        return measure;
    }
    if (measure.truncated && options.listUnmet) listUnmet(measure, path, budget, partOf, count);
    return measure;
}

void JunkMeasure::keepUnmovable(qint64 inUseSinceMSecs, bool judgedAtClean) {
    for (JunkFinding::Part& part : parts) {
        if (!part.mayMove(inUseSinceMSecs, judgedAtClean)) part.kept = true;
    }
}

MoveScope JunkMeasure::contentsScope(const QList<JunkFinding::Part>& parts) {
    MoveScope scope;
    scope.contentsOnly = true;
    QList<ScopeEntry> measured;
    for (const JunkFinding::Part& part : parts) {
        if (part.kept) {
            scope.keptPaths.append(part.path);
        } else {
            measured.append(ScopeEntry{part.path, part.seen, part.bytes});
        }
    }
    scope.measured = std::move(measured);
    return scope;
}

qint64 JunkMeasure::movableBytes(const QList<JunkFinding::Part>& parts) {
    Saturating::Total total;
    for (const JunkFinding::Part& part : parts) {
        if (!part.kept) total.add(part.bytes);
    }
    return total.value();
}

qint64 JunkMeasure::inUseBytes(const QList<JunkFinding::Part>& parts, qint64 inUseSinceMSecs) {
    Saturating::Total total;
    for (const JunkFinding::Part& part : parts) {
        if (part.keptInUse(inUseSinceMSecs) && part.complete) total.add(part.bytes);
    }
    return total.value();
}

QStringList JunkMeasure::inUseUnmeasured(const QList<JunkFinding::Part>& parts, qint64 inUseSinceMSecs) {
    QStringList paths;
    for (const JunkFinding::Part& part : parts) {
        if (part.keptInUse(inUseSinceMSecs) && !part.complete) paths.append(part.path);
    }
    return paths;
}

}  // namespace tarnwick
