#pragma once

#include "services/cleanup/JunkFinding.h"

#include <QList>
#include <QString>

#include <stop_token>

namespace tarnwick {

// The bounded size of one place, as every junk stage and search measures it.
struct JunkMeasure {
    // The walk never looks at more entries than this, whatever budget it is given.
    static constexpr int kStepCeiling = 20000;

    bool exists = false;
    bool isFolder = false;
    qint64 size = 0;
    qint64 newestModifiedMSecs = 0;  // of the place itself and every entry met
    QList<JunkFinding::Part> parts;  // a folder's direct entries that the walk met

    // Nothing there: 0. A file (or a link, as itself): its logical size, or
    // its allocated size when the logical one is 0; a disk image (".raw",
    // ".qcow2") the other way round, since such images are sparse. A folder:
    // the logical sizes of the regular files among the first
    // min(maxSteps, 20,000) entries of its subtree, hidden entries included,
    // packages below it counted as one entry each and not entered; every
    // entry is one step. A stop request ends the walk with the sum so far.
    static JunkMeasure of(const QString& path, int maxSteps, const std::stop_token& stop = {});
};

}  // namespace tarnwick
