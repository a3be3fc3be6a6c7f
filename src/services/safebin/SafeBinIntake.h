#pragma once

#include "services/safebin/SafeBinRequests.h"
#include "support/FileError.h"

#include <QStringList>

#include <optional>
#include <vector>

namespace tarnwick {

// Moving items into the Safe Bin: each path or request checked again at move
// time, announced in the journal, moved (or copied across file systems) and
// recorded. The work behind SafeBinService::moveItems() and
// SafeBinService::moveToSafeBin(), whose contracts it keeps; only the store
// itself includes this.
namespace SafeBinIntake {

std::vector<SafeBinItemResult> moveItems(const std::vector<SafeBinItemRequest>& requests, std::optional<FileError>* error);
SafeBinMoveResult moveToSafeBin(const QStringList& paths);

}  // namespace SafeBinIntake

}  // namespace tarnwick
