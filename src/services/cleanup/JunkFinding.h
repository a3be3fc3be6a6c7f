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
        qint64 newestModifiedMSecs = 0;  // of it and of everything in it the walk met
        bool complete = true;  // the walk went through all of it
        // It is, or holds, a socket, a pipe, a device node or something on
        // another device (a mount point): something in use, never moved.
        bool inUse = false;
        // Left out of the finding: it stays in place and out of the size.
        bool kept = false;

        // A clean of the folder by its entries may move it: measured whole,
        // nothing in use in it, nothing in it changed since inUseSinceMSecs.
        bool mayMove(qint64 inUseSinceMSecs) const {
            return complete && !inUse && newestModifiedMSecs < inUseSinceMSecs;
        }
    };

    CleanupItem item;
    bool isFolder = false;
    bool measuredInPart = false;  // the size walk ended before the folder's end
    bool holdsMount = false;      // something below lies on another device (not counted)
    QList<Part> parts;
};

}  // namespace tarnwick
