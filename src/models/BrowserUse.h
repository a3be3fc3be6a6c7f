#pragma once

#include <QString>
#include <QStringList>

namespace tarnwick {

// How to tell that a browser is using one of its profiles: the process names
// it runs under and the lock files it keeps in the profile while it runs.
// An empty record (no browser) is never in use.
struct BrowserUse {
    QString browser{};            // its name for the user: "Firefox"
    QStringList processNames{};   // command or program names of its processes
    QStringList lockLinks{};      // links naming "<host>-<pid>" or "<address>:+<pid>" while it runs
    QStringList lockFiles{};      // files it holds a record lock on while it runs

    bool isEmpty() const { return browser.isEmpty(); }
    bool operator==(const BrowserUse&) const = default;
};

}  // namespace tarnwick
