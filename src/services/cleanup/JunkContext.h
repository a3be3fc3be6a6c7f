#pragma once

#include "models/InUseTimes.h"
#include "platform/Environment.h"
#include "platform/FileEntry.h"
#include "platform/Locations.h"
#include "platform/MountTable.h"
#include "services/cleanup/WholeFolders.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <set>
#include <stop_token>
#include <utility>

namespace tarnwick {

// What every stage of one junk or clutter scan shares: the places, the time
// the scan started, the user it acts for, the program's own folders, the
// mount table (read once, when the scan starts) and the request to stop.
struct JunkContext {
    Locations locations;
    QString home;
    QDateTime now;
    quint32 userId = 0;
    std::stop_token stop;
    MountTable mounts;

    explicit JunkContext(const Environment& environment = Environment::current(), std::stop_token stopToken = {});

    bool stopped() const { return stop.stop_requested(); }
    // Changes at or after this time (ms since 1970) are recent: in use.
    qint64 inUseSinceMSecs() const { return now.toMSecsSinceEpoch() - InUseTimes::kInUseMSecs; }

    // The program's own folders (its support folder, where the Safe Bin and
    // the log live, and the one of its earlier name) are never findings and
    // never move with one, wherever a place points.
    // True when the item at path (a link as itself) is, or lies in, one of them.
    bool isOwn(const QString& path) const;
    // True when one of them lies below the folder at path, so that moving the
    // folder whole would move it.
    bool holdsOwn(const QString& path) const;
    // True when a walk met one of them (the same folder, by device and inode).
    bool isOwnFolder(const FileEntry& entry) const;

    // The folders that move only whole (the own ones among them) and the
    // mount points, as the scan began; the clutter searches take nothing
    // from inside them.
    WholeFolders wholeFolders;

private:
    QStringList ownFolders_;  // as named and with links resolved
    std::set<std::pair<quint64, quint64>> ownIdentities_;
};

}  // namespace tarnwick
