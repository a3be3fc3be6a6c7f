#pragma once

#include "models/CleanupItem.h"
#include "models/ClutterItem.h"
#include "models/PerformanceItem.h"
#include "models/PrivacyItem.h"
#include "models/ProtectionFinding.h"
#include "models/SafeBinEntry.h"
#include "models/ScanInsights.h"
#include "models/ScanNode.h"
#include "models/VolumeInfo.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <vector>

namespace tarnwick {

// Renders the main screens of the program to PNG files, offscreen, from a
// made-up home folder: the map in its four styles, the insights lists, the
// collector counting down, the scanning screen, the volume chooser, the Junk
// screen with findings and without, the Safe Bin, the Apps screen's two
// tabs over the apps the real finders find in the made-up home (AppImages
// and Flatpak apps), the Protection screen's two tabs,
// the tray panel, and the home screen before and after a Vidur Aded pass.
// Needs a QApplication; touches nothing of the real home or support folders.
namespace ScreenPictures {

// The names of the files written.
QStringList fileNames();
// Writes every picture into the folder (made if missing). Returns the paths
// written; on failure, the ones written so far and the reason in error.
QStringList render(const QString& outputDirectory, QString* error = nullptr);

// The demo home folder the pictures show, its insights and volumes.
ScanNodePtr demoTree();
ScanInsights demoInsights(const QDateTime& now);
std::vector<VolumeInfo> demoVolumes();
// The junk findings of the demo home folder.
QList<CleanupItem> demoJunk();
// The heavy processes and launch items of the demo computer.
QList<PerformanceItem> demoPerformance();
// Writes the apps of a demo computer for the real finders to find, as
// files without blocks (the finders count their lengths): AppImages in
// `home` with the desktop entries that start them and the data they left, a
// newer AppImage in Downloads, Flatpak apps of the user's installation with
// their data, and at `tool` a stand-in for flatpak that reports an update
// for one of them. False when a file could not be written.
bool writeDemoApps(const QString& home, const QString& tool);
// The clutter items of the demo home folder.
QList<ClutterItem> demoClutter();
// The threat findings and privacy residue of the demo home folder.
QList<ProtectionFinding> demoThreats();
QList<PrivacyItem> demoPrivacy();
// The Safe Bin entries of the demo home folder, moved in before `now`.
std::vector<SafeBinEntry> demoSafeBin(const QString& home, const QDateTime& now);

}  // namespace ScreenPictures

}  // namespace tarnwick
