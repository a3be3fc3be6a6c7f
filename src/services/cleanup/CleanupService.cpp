#include "services/cleanup/CleanupService.h"

#include "platform/FileEntry.h"
#include "services/cleanup/JunkContext.h"
#include "services/cleanup/JunkMeasure.h"
#include "services/cleanup/JunkResults.h"
#include "services/cleanup/JunkSearches.h"
#include "support/PathRules.h"

#include <QSet>

#include <functional>
#include <vector>

namespace tarnwick::CleanupService {

namespace {

using Place = Locations::Place;
using Findings = std::vector<JunkFinding>;

// A place sized as a whole. A fixed folder that other programs keep using
// (a cache or log folder, say) stays where it is: cleaning moves its entries.
struct FixedLocation {
    Place place;
    const char* title;
    CleanupCategory category;
    bool safe;
    bool keepFolder;
};

struct Stage {
    const char* label;
    int budget;
    std::vector<FixedLocation> locations;
    std::function<void(const JunkContext&, Findings&)> search;
};

void append(Findings& into, Findings more) {
    for (JunkFinding& finding : more) into.push_back(std::move(finding));
}

const std::vector<Stage>& stages() {
    using C = CleanupCategory;
    static const std::vector<Stage> table = {
        {"Scanning caches…", 40000,
         {{Place::userCaches, "User Caches", C::caches, true, true},
          {Place::systemCaches, "System Caches", C::caches, false, true}},
         {}},
        {"Scanning logs…", 40000,
         {{Place::userLogs, "User Logs", C::logs, true, true},
          {Place::systemLogs, "System Logs", C::logs, false, true}},
         {}},
        {"Scanning temp files…", 3000,
         {{Place::userTemp, "User temp", C::temp, true, true},
          {Place::systemTempFolders, "System var/folders (sampled)", C::temp, false, true}},
         [](const JunkContext& context, Findings& findings) {
             append(findings, incompleteDownloads(context.locations.path(Place::downloads), context));
         }},
        {"Scanning iOS backups…", 8000,
         {{Place::deviceBackups, "iOS Device Backups", C::iosBackups, false, false}},
         {}},
        {"Scanning Photo junk…", 6000,
         {{Place::photosCaches, "Photos caches", C::photoJunk, true, true},
          {Place::photosRepair, "Photos repair", C::photoJunk, true, true},
          {Place::photosContainerCaches, "Photos container caches", C::photoJunk, true, true}},
         {}},
        {"Scanning Mail…", 6000,
         {{Place::mailDownloads, "Mail Downloads", C::mail, false, true},
          {Place::legacyMailDownloads, "Legacy Mail Downloads", C::mail, false, true}},
         {}},
        {"Finding unused languages…", 0, {},
         [](const JunkContext& context, Findings& findings) {
             append(findings, unusedLanguages(context.locations.path(Place::applications), context));
         }},
        {"Scanning Xcode…", 40000,
         {{Place::xcodeDerivedData, "Xcode DerivedData", C::xcode, true, true},
          {Place::xcodeDeviceSupport, "iOS DeviceSupport", C::xcode, true, true},
          {Place::simulatorCaches, "Simulator Caches", C::xcode, true, true}},
         {}},
        {"Scanning Docker…", 2000,
         {{Place::dockerRaw, "Docker.raw", C::docker, false, false},
          {Place::dockerQcow2, "Docker.qcow2", C::docker, false, false},
          {Place::dockerLogs, "Docker logs", C::docker, true, true}},
         {}},
        {"Scanning AI models…", 40000,
         {{Place::ollamaModels, "Ollama models", C::ai, false, true},
          {Place::huggingFaceCache, "Hugging Face cache", C::ai, false, true},
          {Place::lmStudio, "LM Studio", C::ai, false, true}},
         {}},
        {"Finding node_modules…", 0, {},
         [](const JunkContext& context, Findings& findings) {
             const Locations& places = context.locations;
             const QStringList roots = {places.path(Place::projects), places.path(Place::developer),
                                        places.path(Place::documents), places.path(Place::downloads)};
             append(findings, findNamedDirectories(QStringLiteral("node_modules"), roots, C::node, 40, context));
         }},
        {"Finding app leftovers…", 0, {},
         [](const JunkContext& context, Findings& findings) {
             append(findings, findAppLeftovers(context));
             append(findings, findRemovedFlatpakData(context));
         }},
        {"Checking Downloads…", 0, {},
         [](const JunkContext& context, Findings& findings) {
             append(findings, oldDownloadInstallers(context.locations.path(Place::downloads), context));
         }},
        {"Looking for duplicates…", 0, {},
         [](const JunkContext& context, Findings& findings) {
             const QStringList roots = {context.locations.path(Place::downloads),
                                        context.locations.path(Place::documents)};
             append(findings, findDuplicates(roots, 25, context));
         }},
    };
    return table;
}

// The fixed places of one stage, each path a place has here in turn. A path
// that an earlier place already reported (two places that are one folder
// here) is not reported again.
void sizeFixedLocations(const Stage& stage, const JunkContext& context, QSet<QString>& reported, Findings& findings) {
    for (const FixedLocation& location : stage.locations) {
        for (const QString& path : context.locations.paths(location.place)) {
            if (context.stopped()) return;
            if (path.isEmpty() || reported.contains(path) || !FileEntry::at(path)) continue;
            // A folder cleaned by its entries counts what moving them frees,
            // and names the entries its walk did not reach.
            JunkMeasure::Options options;
            options.onDisk = location.keepFolder;
            options.listUnmet = location.keepFolder;
            options.mounts = &context.mounts;
            JunkMeasure measure = JunkMeasure::of(path, stage.budget, context.stop, options);
            const bool byEntries = location.keepFolder && measure.isFolder;
            // Its entries in use stay, and out of its size; those measured in
            // part are looked through again when the clean runs.
            if (byEntries) measure.keepUnmovable(context.inUseSinceMSecs(), true);
            const qint64 size = byEntries ? JunkMeasure::movableBytes(measure.parts) : measure.size;
            const qint64 inUse = byEntries ? JunkMeasure::inUseBytes(measure.parts, context.inUseSinceMSecs()) : 0;
            // Measured in part, a folder cleaned by its entries says what it
            // knows, whatever the bytes its walk happened to meet.
            if (size == 0 && inUse == 0 && !(byEntries && measure.truncated)) continue;
            reported.insert(path);
            JunkFinding finding;
            finding.item.title = QString::fromUtf8(location.title);
            finding.item.path = path;
            finding.item.detail = PathRules::abbreviatingWithTilde(path);
            finding.item.size = size;
            finding.item.category = location.category;
            finding.item.isSelected = location.safe;
            finding.item.isSafeDefault = location.safe;
            finding.item.scope.contentsOnly = byEntries;
            finding.item.scope.inUseBytes = inUse;
            finding.item.seen = measure.seen;
            finding.isFolder = measure.isFolder;
            finding.measuredInPart = measure.truncated;
            finding.holdsMount = measure.holdsMount;
            finding.isMountPoint = measure.isMountPoint;
            finding.parts = std::move(measure.parts);
            finding.notListed = measure.notListed;
            findings.push_back(std::move(finding));
        }
    }
}

}  // namespace

QList<CleanupItem> scan(const Progress& progress, std::stop_token stop) {
    const JunkContext context(Environment::current(), std::move(stop));
    Findings findings;
    QSet<QString> reported;
    for (const Stage& stage : stages()) {
        if (context.stopped()) break;
        if (progress) progress(QString::fromUtf8(stage.label));
        sizeFixedLocations(stage, context, reported, findings);
        if (stage.search && !context.stopped()) stage.search(context, findings);
    }
    return finishScan(std::move(findings), context);
}

}  // namespace tarnwick::CleanupService
