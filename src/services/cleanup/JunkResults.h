#pragma once

#include "models/CleanupItem.h"
#include "services/cleanup/JunkContext.h"
#include "services/cleanup/JunkFinding.h"

#include <QList>
#include <QStringList>

#include <vector>

namespace tarnwick {

// The last steps of the junk scan, between the stages' findings and the list
// the screen shows.
namespace CleanupService {

// A finding below another finding's folder (~/.cache/huggingface below the
// cache folder, a disk image inside a leftover container) stays its own: the
// outer folder keeps the entry that is or holds it (the folder's entries
// move, that one stays) and that entry's bytes leave the outer size. The
// paths in alwaysKept (the program's own folders) are kept the same way, and
// a finding at or below one of them is dropped.
void separateNested(std::vector<JunkFinding>& findings, const QStringList& alwaysKept = {});

// Outside the home folder nothing the user does not own is moved: a folder
// whose entries move keeps the entries of other owners (and their bytes
// leave its size); any other finding there that the user does not own is
// dropped.
void guardOwnership(std::vector<JunkFinding>& findings, const JunkContext& context);

// Findings of more than 100,000 bytes, nested ones separated and ownership
// guarded, sorted by size (largest first, equal sizes in stage order) and
// trimmed to the junk budget.
QList<CleanupItem> finishScan(std::vector<JunkFinding> findings, const JunkContext& context);

}  // namespace CleanupService

}  // namespace tarnwick
