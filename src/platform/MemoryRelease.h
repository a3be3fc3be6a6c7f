#pragma once

namespace tarnwick {

// Hands memory back to the system once the program freed a lot of it (a
// released size tree of millions of nodes): the allocator otherwise keeps the
// freed pages for later use, and the process stays as large as it ever was.
namespace MemoryRelease {

// Returns the allocator's free memory to the system (glibc's malloc_trim).
// Takes a moment on a large heap: call it off the UI thread, on the thread
// that did the freeing, right after it. Does nothing where the allocator has
// no such call.
void returnFreedMemory();

}  // namespace MemoryRelease

}  // namespace tarnwick
