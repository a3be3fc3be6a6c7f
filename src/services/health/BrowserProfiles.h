#pragma once

#include "models/BrowserUse.h"
#include "platform/Locations.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace tarnwick {

// The browsers whose profiles the protection and privacy finders look into:
// the Chromium family, each with one user-data folder holding its "Default"
// profile, and Firefox with the profiles its profiles.ini names.
namespace BrowserProfiles {

inline constexpr qsizetype kMaxFirefoxProfiles = 32;

struct Chromium {
    QString name;            // "Chrome", as the user knows it
    QString userDataFolder;  // ~/.config/google-chrome
    QStringList processNames;
};

// Chrome, Chromium, Brave and Edge, in that order.
QList<Chromium> chromiumFamily(const Locations& locations);
// Its processes, and the "SingletonLock" link it keeps in its user-data folder.
BrowserUse use(const Chromium& browser);

// The profile folders that ~/.mozilla/firefox/profiles.ini names, in the
// file's order, each once, at most 32: a relative Path= below the Firefox
// folder (one that climbs out of it is passed over), an absolute one as it
// stands when IsRelative=0. The file is read as its bytes stand, so a name
// that is not UTF-8 names its own folder. Nothing when the file is missing
// or larger than the cap.
QStringList firefoxProfiles(const Locations& locations);
// Firefox's processes, and the "lock" link and ".parentlock" file it keeps
// in the profile folder while it runs.
BrowserUse firefoxUse(const QString& profileFolder);

}  // namespace BrowserProfiles

}  // namespace tarnwick
