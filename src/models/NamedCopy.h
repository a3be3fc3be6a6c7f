#pragma once

#include "platform/FileIdentity.h"

#include <QString>

namespace tarnwick {

// The file a duplicate (or a similar picture) finding is a copy of: the one
// that stays. Moving the finding is safe only while this file is still in its
// place and unchanged; otherwise the finding may be the last copy left.
struct NamedCopy {
    QString path;       // absolute path of the copy that stays
    FileIdentity seen;  // what it was when the scan compared the two

    // True when the copy is still at its path, the same file, unchanged.
    bool isInPlace() const {
        const std::optional<FileIdentity> now = FileIdentity::of(path);
        return now && seen.matches(*now);
    }

    bool operator==(const NamedCopy&) const = default;
};

}  // namespace tarnwick
