#include "services/cleanup/JunkMeasure.h"

#include "platform/FileEntry.h"
#include "platform/FolderWalk.h"
#include "support/Saturating.h"

#include <algorithm>

namespace tarnwick {

JunkMeasure JunkMeasure::of(const QString& path, int maxSteps, const std::stop_token& stop, bool enterPackages) {
    JunkMeasure measure;
    const std::optional<FileEntry> place = FileEntry::at(path);
    if (!place) return measure;
    measure.exists = true;
    measure.seen = FileIdentity::of(path);
    measure.newestModifiedMSecs = place->modifiedMSecs;
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
    const int budget = std::min(maxSteps, kStepCeiling);
    int steps = 0;
    FolderWalk::Options options;
    options.includeHidden = true;
    options.enterPackages = enterPackages;
    FolderWalk::run(
        path, options,
        [&](const FileEntry& entry, int depth) {
            if (steps >= budget) {
                measure.truncated = true;
                // The entry the walk was in is only partly measured.
                if (depth > 1 && !measure.parts.isEmpty()) measure.parts.last().complete = false;
                return FolderWalk::Step::stop;
            }
            ++steps;
            if (depth == 1) {
                JunkFinding::Part part{entry.path, 0, entry.owner};
                const std::optional<FileIdentity> seen = FileIdentity::of(entry.path);
                if (seen) {
                    part.seen = *seen;
                } else {
                    part.complete = false;  // gone or unreadable: nothing to vouch for
                }
                measure.parts.append(part);
            }
            JunkFinding::Part& part = measure.parts.last();
            measure.newestModifiedMSecs = std::max(measure.newestModifiedMSecs, entry.modifiedMSecs);
            part.newestModifiedMSecs = std::max(part.newestModifiedMSecs, entry.modifiedMSecs);
            if (entry.device != place->device) {
                // A mount point: neither counted nor entered.
                measure.holdsMount = true;
                part.inUse = true;
                return FolderWalk::Step::skipDescendants;
            }
            if (entry.type == FileEntry::Type::other) {
                part.inUse = true;  // a socket, a pipe or a device node
                return FolderWalk::Step::proceed;
            }
            if (entry.isRegularFile() && entry.logicalSize > 0) {
                measure.size = Saturating::add(measure.size, entry.logicalSize);
                part.bytes = Saturating::add(part.bytes, entry.logicalSize);
            }
            return FolderWalk::Step::proceed;
        },
        stop);
    if (stop.stop_requested()) {
        measure.truncated = true;
        if (!measure.parts.isEmpty()) measure.parts.last().complete = false;
    }
    return measure;
}

void JunkMeasure::keepUnmovable(qint64 inUseSinceMSecs) {
    for (JunkFinding::Part& part : parts) {
        if (!part.mayMove(inUseSinceMSecs)) part.kept = true;
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

}  // namespace tarnwick
