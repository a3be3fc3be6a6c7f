#pragma once

#include "models/CleanupItem.h"
#include "services/cleanup/JunkContext.h"
#include "services/cleanup/JunkFinding.h"

#include <QList>
#include <QString>

#include <vector>

namespace tarnwick {

// The last steps of the junk scan, between the stages' findings and the list
// the screen shows.
namespace CleanupService {

// The program's own folders are never findings and never move with one: a
// finding at or below one is dropped, a folder cleaned by its entries keeps
// the entry that is or holds one, and any other finding that holds one is
// dropped (it would have to move whole).
void leaveOutOwnFolders(std::vector<JunkFinding>& findings, const JunkContext& context);

// Outside the home folder nothing the user does not own is moved: a folder
// whose entries move keeps the entries of other owners (and their bytes
// leave its size); any other finding there that the user does not own is
// dropped.
void guardOwnership(std::vector<JunkFinding>& findings, const JunkContext& context);

// A finding below another one's folder is not offered twice. Below a folder
// cleaned by its entries (~/.cache/huggingface below the cache folder) it
// stays its own: the outer folder keeps the entry that is or holds it, and
// that entry's bytes leave the outer size. Below any other folder finding (a
// copy inside node_modules, a disk image inside a leftover container) it is
// dropped: the outer folder moves whole, with it, and counts it. Of two
// findings of one path the first stays. A folder moved whole that is or
// holds a mount point is dropped: it cannot move whole, and never moves in part.
void separateNested(std::vector<JunkFinding>& findings);

// Findings of more than 100,000 bytes, the program's folders left out,
// ownership guarded, nested ones separated, folders cleaned by their entries
// counting only the entries they move, sorted by size (largest first, equal
// sizes in stage order) and trimmed to the junk budget. A folder whose
// measuring ended at its budget says so in its detail (a folder cleaned by
// its entries: "at least" its size). A folder cleaned by its entries says
// the bytes it leaves in use in its detail, and is kept for that when they
// pass 100,000 bytes, unticked when it moves nothing.
QList<CleanupItem> finishScan(std::vector<JunkFinding> findings, const JunkContext& context);

}  // namespace CleanupService

}  // namespace tarnwick
