#pragma once

#include "models/MoveScope.h"
#include "platform/FileIdentity.h"
#include "services/cleanup/JunkFinding.h"

#include <QList>
#include <QString>

#include <optional>
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
    bool truncated = false;          // the walk ended (budget or stop) before the folder's end
    bool holdsMount = false;         // something below lies on another device
    std::optional<FileIdentity> seen;  // the place itself
    QList<JunkFinding::Part> parts;    // a folder's direct entries that the walk met

    // Nothing there: 0. A file (or a link, as itself): its logical size, or
    // its allocated size when the logical one is 0; a disk image (".raw",
    // ".qcow2") the other way round, since such images are sparse. A folder:
    // the logical sizes of the regular files among the first
    // min(maxSteps, 20,000) entries of its subtree, hidden entries included,
    // packages below it counted as one entry each and not entered (unless
    // enterPackages); every entry is one step. Nothing on another device than
    // the folder is counted or entered. A stop request ends the walk with the
    // sum so far.
    static JunkMeasure of(const QString& path, int maxSteps, const std::stop_token& stop = {},
                          bool enterPackages = false);

    // For a folder cleaned by its entries: keeps (leaves out) every entry
    // that may not move (JunkFinding::Part::mayMove).
    void keepUnmovable(qint64 inUseSinceMSecs);

    // The scope of a folder cleaned by its entries: the entries not kept, as
    // measured, and those kept, which stay.
    static MoveScope contentsScope(const QList<JunkFinding::Part>& parts);
    // The bytes of the entries not kept.
    static qint64 movableBytes(const QList<JunkFinding::Part>& parts);
};

}  // namespace tarnwick
