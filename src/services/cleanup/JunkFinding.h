#pragma once

#include "models/CleanupItem.h"

#include <QList>
#include <QString>

namespace tarnwick {

// A junk finding as the scan builds it: the item, and for a folder what the
// size walk counted in each of the folder's direct entries, so that entries
// the clean must leave alone can be taken out of the size again.
struct JunkFinding {
    struct Part {
        QString path;      // a direct entry of the folder
        qint64 bytes = 0;  // what the walk counted in it
        quint32 owner = 0; // its owner
    };

    CleanupItem item;
    bool isFolder = false;
    QList<Part> parts;
};

}  // namespace tarnwick
