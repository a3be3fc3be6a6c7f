#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// The names in one open folder, read with getdents64 and sorted by their
// bytes, so that every "first N entries" rule picks the same entries on every
// machine whatever order the file system keeps. "." and ".." are left out,
// and so are hidden names (starting with ".") unless asked for.
class DirectoryNames {
public:
    // Reads the folder open at fd (the descriptor stays open and is not
    // moved). False when the listing fails; the list is then empty.
    bool read(int fd, bool includeHidden);

    size_t size() const { return offsets_.size(); }
    bool empty() const { return offsets_.empty(); }
    // A NUL-terminated name.
    const char* name(size_t index) const { return arena_.data() + offsets_[index]; }
    std::string_view nameView(size_t index) const;
    // The entry type the listing gave (DT_DIR, DT_REG, DT_LNK, DT_UNKNOWN...).
    unsigned char type(size_t index) const { return static_cast<unsigned char>(arena_[offsets_[index] - 1]); }

private:
    std::string arena_;           // per name: its type byte, then the name and a NUL
    std::vector<size_t> offsets_; // where each name starts, in sorted order
};

}  // namespace tarnwick
