#include "services/scan/DiskScanner.h"

#include "platform/Environment.h"
#include "platform/PathCodec.h"
#include "services/scan/ParallelWalk.h"
#include "services/scan/SerialWalk.h"

#include <sys/stat.h>

namespace tarnwick {

ScanResult DiskScanner::scan(const QString& rootPath, const std::function<void(const ScanProgress&)>& onProgress) {
    counters_.files.store(0, std::memory_order_relaxed);
    counters_.bytes.store(0, std::memory_order_relaxed);
    WalkSetup setup;
    setup.rootPath = WalkRules::normalizedRoot(rootPath);
    setup.onProgress = onProgress;
    setup.insightsExcluded = WalkRules::supportFolders();
    setup.nowMSecs = Environment::current().now().toMSecsSinceEpoch();

    int threads = threads_;
    if (threads <= 0) {
        struct stat st{};
        const bool found = ::stat(PathCodec::encode(setup.rootPath).constData(), &st) == 0;
        threads = found ? WalkRules::defaultThreads(st.st_dev) : 1;
    }
    threadsUsed_ = threads;

    ScanResult result;
    if (threads == 1) {
        SerialWalk walk(counters_, setup);
        result.root = walk.run();
        result.root->finalize(kMergeThreshold);
        result.insights = walk.insights().finalize();
    } else {
        ParallelWalk walk(counters_, setup, threads);
        result.root = walk.run();
        result.root->finalize(kMergeThreshold);
        result.insights = walk.insights().finalize();
    }
    counters_.cancelled.store(false, std::memory_order_relaxed);
    return result;
}

}  // namespace tarnwick
