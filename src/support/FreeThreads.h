#pragma once

#include <cstddef>
#include <functional>

namespace tarnwick {

// Work spread over the threads of the global thread pool that are free now
// and the calling thread, which never waits for a busy pool: a busy pool
// slows the work down but never holds it up.
namespace FreeThreads {

// Runs work(index, worker) once for every index below count, on at most
// threads threads, and returns when all have run. worker (0 for the calling
// thread, below threads) tells which thread runs it, so a caller can give each
// thread state of its own. first (may be empty) runs on the calling thread,
// as worker 0, before it takes indexes itself. Indexes are taken in order.
void forEach(size_t count, int threads, const std::function<void(size_t index, int worker)>& work,
             const std::function<void()>& first = {});

}  // namespace FreeThreads

}  // namespace tarnwick
