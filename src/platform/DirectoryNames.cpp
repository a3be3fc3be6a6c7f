#include "platform/DirectoryNames.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace tarnwick {

namespace {

constexpr size_t kBufferSize = 64 * 1024;

}  // namespace

bool DirectoryNames::read(int fd, bool includeHidden) {
    arena_.clear();
    offsets_.clear();
    auto buffer = std::make_unique<char[]>(kBufferSize);
    for (;;) {
        const ssize_t got = ::getdents64(fd, buffer.get(), kBufferSize);
        if (got < 0) {
            if (errno == EINTR) continue;
            arena_.clear();
            offsets_.clear();
            return false;
        }
        if (got == 0) break;
        for (ssize_t at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const struct dirent64*>(buffer.get() + at);
            at += entry->d_reclen;
            const char* name = entry->d_name;
            if (name[0] == '.') {
                if (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')) continue;
                if (!includeHidden) continue;
            }
            arena_.push_back(static_cast<char>(entry->d_type));
            offsets_.push_back(arena_.size());
            arena_.append(name, std::strlen(name) + 1);
        }
    }
    const char* base = arena_.data();
    std::sort(offsets_.begin(), offsets_.end(), [base](size_t a, size_t b) {
        return std::strcmp(base + a, base + b) < 0;
    });
    return true;
}

std::string_view DirectoryNames::nameView(size_t index) const {
    const char* name = this->name(index);
    return std::string_view(name, std::strlen(name));
}

}  // namespace tarnwick
