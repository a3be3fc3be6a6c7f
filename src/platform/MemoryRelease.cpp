#include "platform/MemoryRelease.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace tarnwick::MemoryRelease {

void returnFreedMemory() {
#if defined(__GLIBC__)
    ::malloc_trim(0);
#endif
}

}  // namespace tarnwick::MemoryRelease
