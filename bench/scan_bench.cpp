// Times the walker against du on the same folder, both warm.
//
//   scan_bench PATH
//
// Scans PATH with DiskScanner and runs `du -s -B1 PATH`, five times each
// after one warm-up run of each, and prints the median times, their ratio,
// the files and bytes counted and the peak resident memory. du also counts
// the blocks of folders and symbolic links, which the walker does not; the
// benchmark sums those separately so the two totals can be compared.
#include "platform/ToolRunner.h"
#include "services/scan/DiskScanner.h"

#include <QCoreApplication>
#include <QFile>

#include <ftw.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <set>
#include <utility>
#include <vector>

using namespace tarnwick;

namespace {

constexpr int kRuns = 5;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <typename Work>
double timed(Work work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The blocks of folders and symbolic links below a path, as du counts them
// (each inode once, not crossing into other file systems).
long long otherBlocks = 0;
std::set<std::pair<dev_t, ino_t>> seenOther;
int addOther(const char*, const struct stat* st, int type, FTW*) {
    if ((type == FTW_D || type == FTW_DP || type == FTW_DNR || type == FTW_SL || type == FTW_SLN) &&
        seenOther.insert({st->st_dev, st->st_ino}).second) {
        otherBlocks += static_cast<long long>(st->st_blocks) * 512;
    }
    return 0;
}

long peakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: scan_bench PATH\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);

    qint64 files = 0;
    qint64 bytes = 0;
    size_t reports = 0;
    qint64 duBytes = -1;
    auto walk = [&] {
        DiskScanner scanner;
        reports = 0;
        ScanResult result = scanner.scan(path, [&](const ScanProgress&) { ++reports; });
        files = scanner.files();
        bytes = result.root->size;
    };
    auto du = [&] {
        ToolResult result = ToolRunner::run("du", {"-s", "-B1", path}, std::chrono::minutes(10));
        duBytes = result.succeeded() ? result.output.split('\t').value(0).toLongLong() : -1;
    };

    walk();  // warm-up: fills the caches for both
    du();
    std::vector<double> walkTimes;
    std::vector<double> duTimes;
    for (int i = 0; i < kRuns; ++i) {
        walkTimes.push_back(timed(walk));
        duTimes.push_back(timed(du));
    }

    nftw(argv[1], addOther, 64, FTW_PHYS | FTW_MOUNT);

    const double walkMedian = median(walkTimes);
    const double duMedian = median(duTimes);
    std::printf("path                 %s\n", argv[1]);
    std::printf("walker median        %.3f s  (%d runs)\n", walkMedian, kRuns);
    std::printf("du -s -B1 median     %.3f s  (%d runs)\n", duMedian, kRuns);
    std::printf("walker / du          %.2f\n", walkMedian / duMedian);
    std::printf("files counted        %lld\n", static_cast<long long>(files));
    std::printf("progress reports     %zu\n", reports);
    std::printf("walker bytes         %lld\n", static_cast<long long>(bytes));
    std::printf("du bytes             %lld\n", duBytes);
    std::printf("folder+link blocks   %lld\n", otherBlocks);
    std::printf("du - folders - links %lld  (%s the walker)\n", duBytes - otherBlocks,
                duBytes - otherBlocks == bytes ? "equals" : "differs from");
    std::printf("peak memory          %ld MiB\n", peakMiB());
    return 0;
}
