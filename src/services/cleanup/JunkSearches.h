#pragma once

#include "models/CleanupCategory.h"
#include "services/cleanup/JunkContext.h"
#include "services/cleanup/JunkFinding.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <vector>

namespace tarnwick {

// The searches of the junk scan. Each walks a folder and decides finding by
// finding, bounded by entry counts and result counts; each reads only,
// swallows every file-system error and returns its findings in the order it
// made them. The scan filters, sorts and trims afterwards.
namespace CleanupService {

// The bounded size of a place (see JunkMeasure::of).
qint64 directorySize(const QString& path, int maxSteps, const std::stop_token& stop = {});

// Entries of the Downloads folder named "*.download", "*.crdownload",
// "*.part", "*.partial" or "*.tmp" (any case) of more than 100,000 bytes,
// unless they (or, for a folder, anything in it) changed within the last
// hour: those are still being written.
std::vector<JunkFinding> incompleteDownloads(const QString& downloads, const JunkContext& context);

// Language bundles (".lproj") other than English and Base inside the
// applications among the first 40 entries of the folder.
std::vector<JunkFinding> unusedLanguages(const QString& applications, const JunkContext& context);

// Folders called name below the roots, larger than 5,000,000 bytes and not
// inside another folder of that name; at most limit in all.
std::vector<JunkFinding> findNamedDirectories(const QString& name, const QStringList& roots,
                                              CleanupCategory category, int limit, const JunkContext& context);

// Support folders in the Library that no installed application claims.
std::vector<JunkFinding> findAppLeftovers(const JunkContext& context);
// The data folders of Flatpak apps that no installation holds any more
// (~/.var/app/<id> without an app <id> in the user's or a system
// installation) of more than 20,000,000 bytes, at most 30. Nothing when an
// installation's apps folder cannot be read: what is installed is unknown.
std::vector<JunkFinding> findRemovedFlatpakData(const JunkContext& context);
// Whether an entry of a Library folder belongs to one of the installed
// applications (names in lower case, without ".app"): its lower-cased name
// equals an installed name, or its last "."-separated part does, or one
// contains the other; containment counts only for names of four characters
// or more, so a short name such as "x" claims nothing but itself. An
// installed bundle identifier claims the entry by the identifier rule of
// AppMatchKeys (the identifier itself, or it followed by ".").
bool isClaimedByInstalledApp(const QString& entryName, const QSet<QString>& installedNames,
                             const QSet<QString>& installedIdentifiers = {});

// Installers and archives in the folder not modified for 30 days.
std::vector<JunkFinding> oldDownloadInstallers(const QString& downloads, const JunkContext& context);

// Files of the same logical size and the same content below the roots, each
// taking 2,000,000 bytes or more on disk; every copy but the first found is a
// finding of the space it takes.
std::vector<JunkFinding> findDuplicates(const QStringList& roots, int limitGroups, const JunkContext& context);

}  // namespace CleanupService

}  // namespace tarnwick
