#include "services/cleanup/JunkMeasure.h"

#include "platform/FileEntry.h"
#include "platform/FolderWalk.h"
#include "support/Saturating.h"

#include <algorithm>

namespace tarnwick {

JunkMeasure JunkMeasure::of(const QString& path, int maxSteps, const std::stop_token& stop) {
    JunkMeasure measure;
    const std::optional<FileEntry> place = FileEntry::at(path);
    if (!place) return measure;
    measure.exists = true;
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
    options.enterPackages = false;
    FolderWalk::run(
        path, options,
        [&](const FileEntry& entry, int depth) {
            if (steps >= budget) return FolderWalk::Step::stop;
            ++steps;
            if (depth == 1) measure.parts.append({entry.path, 0, entry.owner});
            measure.newestModifiedMSecs = std::max(measure.newestModifiedMSecs, entry.modifiedMSecs);
            if (entry.isRegularFile() && entry.logicalSize > 0) {
                measure.size = Saturating::add(measure.size, entry.logicalSize);
                measure.parts.last().bytes = Saturating::add(measure.parts.last().bytes, entry.logicalSize);
            }
            return FolderWalk::Step::proceed;
        },
        stop);
    return measure;
}

}  // namespace tarnwick

