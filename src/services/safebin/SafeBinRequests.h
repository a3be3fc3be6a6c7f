#pragma once

#include "models/SafeBinEntry.h"
#include "platform/FileIdentity.h"
#include "support/FileError.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

namespace tarnwick {

// What a move into the Safe Bin is asked to do and what it did
// (SafeBinService::moveItems() and SafeBinService::moveToSafeBin()).

// What a move into the Safe Bin did: the entries made (in the order of the
// paths given; every one of them is recorded in the manifest), the paths that
// were not moved and are still there, and, when anything was not moved, why.
struct SafeBinMoveResult {
    std::vector<SafeBinEntry> moved;
    std::optional<FileError> error;
    QStringList stayed;
};

// One Safe Bin item to make: a single path, or several held as one item.
struct SafeBinItemRequest {
    struct Member {
        QString path;  // absolute
        // What the scan saw there: the member moves only while its name still
        // names that item, unchanged (FileIdentity::matches).
        std::optional<FileIdentity> seen{};
    };
    QList<Member> members;
    // One grouped entry (see SafeBinEntry::members), even for one member.
    bool grouped = false;
    // The members of a group move together or not at all (a database with
    // its companion files); otherwise each moves or fails on its own (the
    // entries of a folder).
    bool together = false;
    // A group's own path and name: the finding's path (the folder whose
    // entries move, say) and its last component when name is empty.
    QString originalPath{};
    QString name{};
};

// What became of one request.
struct SafeBinItemResult {
    std::optional<SafeBinEntry> entry;  // the entry made, when anything moved
    QStringList moved;                  // the members' paths that moved, as given
    QStringList gone;                   // the members' paths where nothing was
    // The members not moved (or, having moved, whose original could not be
    // wholly removed), each with the reason.
    std::vector<std::pair<QString, FileError>> failed;
};

}  // namespace tarnwick
