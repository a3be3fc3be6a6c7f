#pragma once

#include "models/MoveScope.h"
#include "platform/FileIdentity.h"
#include "services/cleanup/JunkFinding.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <stop_token>

namespace tarnwick {

class MountTable;

// The bounded size of one place, as every junk stage and search measures it.
struct JunkMeasure {
    // The walk never looks at more entries than this, whatever budget it is given.
    static constexpr int kStepCeiling = 20000;

    struct Options {
        bool enterPackages = false;  // go into packages below the folder too
        // Count what moving the files frees: the bytes each takes on disk, and
        // nothing for a file with other names (hard links).
        bool onDisk = false;
        // When the walk ends at its budget, list the folder's direct entries
        // it did not reach as parts, each looked at as itself (a file's bytes
        // count, a folder is not looked into), as many as bring the parts to
        // the budget; the others are counted in notListed.
        bool listUnmet = false;
        // The mount points to respect; null: the table is read for this measure.
        const MountTable* mounts = nullptr;
    };

    bool exists = false;
    bool isFolder = false;
    qint64 size = 0;
    qint64 newestModifiedMSecs = 0;  // of the place itself and every entry met
    bool truncated = false;          // the walk ended (budget or stop) before the folder's end
    bool holdsMount = false;         // something below is a mount point or on another device
    bool isMountPoint = false;       // the place itself is a mount point
    std::optional<FileIdentity> seen;  // the place itself
    QList<JunkFinding::Part> parts;    // a folder's direct entries that the walk met (and those listed)
    qint64 notListed = 0;              // direct entries past the parts' bound (listUnmet)

    // Nothing there: 0. A file (or a link, as itself): its logical size, or
    // its allocated size when the logical one is 0; a disk image (".raw",
    // ".qcow2") the other way round, since such images are sparse. A folder:
    // the logical sizes (onDisk: the bytes on disk, files with other names
    // not at all) of the regular files among the first min(maxSteps, 20,000)
    // entries of its subtree, hidden entries included, packages below it
    // counted as one entry each and not entered (unless enterPackages); every
    // entry is one step. Nothing on another device than the folder, and no
    // mount point of the mount table (a bind mount of the same file system),
    // is counted or entered. Times more than a day ahead of the environment's
    // clock are not taken as the newest. A stop request ends the walk with
    // the sum so far.
    static JunkMeasure of(const QString& path, int maxSteps, const std::stop_token& stop, const Options& options);
    static JunkMeasure of(const QString& path, int maxSteps, const std::stop_token& stop = {},
                          bool enterPackages = false) {
        Options options;
        options.enterPackages = enterPackages;
        return of(path, maxSteps, stop, options);
    }

    // For a folder cleaned by its entries: keeps (leaves out) every entry
    // that may not move (JunkFinding::Part::mayMove). judgedAtClean: the
    // clean looks through each entry again, so entries measured in part may move.
    void keepUnmovable(qint64 inUseSinceMSecs, bool judgedAtClean = false);

    // The scope of a folder cleaned by its entries: the entries not kept, as
    // measured, and those kept, which stay.
    static MoveScope contentsScope(const QList<JunkFinding::Part>& parts);
    // The bytes of the entries not kept.
    static qint64 movableBytes(const QList<JunkFinding::Part>& parts);
    // The bytes of the entries kept because something in them is in use or
    // changed at or after inUseSinceMSecs, of those measured whole.
    static qint64 inUseBytes(const QList<JunkFinding::Part>& parts, qint64 inUseSinceMSecs);
    // The paths of those kept so that were not measured whole.
    static QStringList inUseUnmeasured(const QList<JunkFinding::Part>& parts, qint64 inUseSinceMSecs);
};

}  // namespace tarnwick
