#pragma once

#include "models/SafeBinEntry.h"
#include "support/FileError.h"

#include <optional>

namespace tarnwick {

// Putting Safe Bin items back where they came from: a single item, each
// member of a group, or what is missing from the remains of an original that
// was never wholly removed. The work behind SafeBinService::restore(), whose
// contract it keeps; only the store itself includes this.
namespace SafeBinRestore {

std::optional<FileError> restore(const SafeBinEntry& entry);

}  // namespace SafeBinRestore

}  // namespace tarnwick
