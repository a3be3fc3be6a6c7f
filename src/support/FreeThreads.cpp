#include "support/FreeThreads.h"

#include <QSemaphore>
#include <QThreadPool>

#include <algorithm>
#include <atomic>

namespace tarnwick::FreeThreads {

void forEach(size_t count, int threads, const std::function<void(size_t index, int worker)>& work,
             const std::function<void()>& first) {
    std::atomic<size_t> next{0};
    auto take = [&](int worker) {
        for (size_t index; (index = next.fetch_add(1)) < count;) work(index, worker);
    };
    const int helpers = static_cast<int>(std::min<size_t>(static_cast<size_t>(std::max(threads, 1) - 1), count));
    QSemaphore done;
    int started = 0;
    for (int worker = 1; worker <= helpers; ++worker) {
        if (!QThreadPool::globalInstance()->tryStart([&take, &done, worker] {
                take(worker);
                done.release();
            })) {
            break;
        }
        ++started;
    }
    if (first) first();
    take(0);
    done.acquire(started);
}

}  // namespace tarnwick::FreeThreads
