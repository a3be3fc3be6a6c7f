#pragma once

#include "models/CleanupItem.h"
#include "platform/FileIdentity.h"

#include <QList>
#include <QString>

namespace tarnwick {

// A junk finding as the scan builds it: the item, and for a folder what the
// size walk found in each of the folder's direct entries, so that a folder
// cleaned by its entries moves only those it may and counts only those.
struct JunkFinding {
    struct Part {
        QString path;       // a direct entry of the folder
        qint64 bytes = 0;   // what the walk counted in it
        quint32 owner = 0;  // its owner
        FileIdentity seen{};  // what it was when measured
        // Of it and of everything in it the walk met; times more than a day
        // ahead of the scan's clock are left out (a wrong date, not a use).
        qint64 newestModifiedMSecs = 0;
        bool complete = true;     // the walk went through all of it
        bool identified = true;   // it was there and could be looked at when measured
        // It is, or holds, a socket, a pipe, a device node or a mount point:
        // something in use, never moved.
        bool inUse = false;
        // A file with other names (hard links): moving it frees nothing.
        bool sharedFile = false;
        // Left out of the finding: it stays in place and out of the size.
        bool kept = false;

        // Something in it changed at or after inUseSinceMSecs.
        bool changedSince(qint64 inUseSinceMSecs) const { return newestModifiedMSecs >= inUseSinceMSecs; }
        // Left out of the finding, and in use or changed at or after inUseSinceMSecs.
        bool keptInUse(qint64 inUseSinceMSecs) const { return kept && (inUse || changedSince(inUseSinceMSecs)); }
        // A clean of the folder by its entries may move it: there when
        // measured, nothing in use in it, nothing in it changed since
        // inUseSinceMSecs, not a file with other names, and measured whole
        // unless the clean looks through it again (judgedAtClean).
        bool mayMove(qint64 inUseSinceMSecs, bool judgedAtClean = false) const {
            return identified && (complete || judgedAtClean) && !inUse && !sharedFile && !changedSince(inUseSinceMSecs);
        }
    };

    CleanupItem item;
    bool isFolder = false;
    bool measuredInPart = false;  // the size walk ended before the folder's end
    bool holdsMount = false;      // something below is a mount point (not counted)
    bool isMountPoint = false;    // the place itself is a mount point
    QList<Part> parts;
    // Direct entries of a folder cleaned by its entries that the measure
    // neither reached nor listed: not parts, not offered.
    qint64 notListed = 0;
};

}  // namespace tarnwick
