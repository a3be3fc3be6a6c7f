// Times the walker, serial and parallel, against other disk-usage tools on
// the same folder, each as a whole process.
//
//   scan_bench PATH [--cold] [--threads N] [--runs N]
//
// Runs the walker with the threads the app chooses for the folder's disk, the
// serial walker, the parallel walker (N threads, default one per core up to
// 16, whatever the disk), `du -s -B1 PATH`, `ncdu -0 -o /dev/null PATH` and
// `gdu -npcs PATH`, one warm-up run each and then five runs each,
// interleaved, and prints the median wall time, the bytes counted, the peak
// resident memory, the threads the app chooses and the ratios app / gdu,
// parallel / gdu and parallel / du. Tools that are not installed are left
// out. With --cold the page cache is dropped before every run (needs root);
// when that is not allowed the benchmark says so and measures warm.
//
// gdu and ncdu are only needed here, not by the program (scripts/deps --bench
// installs them).
//
// du also counts the blocks of folders and symbolic links, which the walker
// does not; the benchmark sums those separately so the totals can be compared.
#include "platform/StorageDevice.h"
#include "services/scan/DiskScanner.h"

#include <QCoreApplication>
#include <QFile>

#include <fcntl.h>
#include <ftw.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

using namespace tarnwick;

namespace {

struct Run {
    double seconds = 0;
    long peakKiB = 0;
    std::string output;
    bool ok = false;
};

// Runs a program to its end, its output captured, and measures it whole.
Run runProcess(const std::vector<std::string>& arguments) {
    Run run;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (spawned != 0) {
        ::close(pipeFds[0]);
        return run;
    }
    char buffer[4096];
    for (ssize_t got; (got = ::read(pipeFds[0], buffer, sizeof buffer)) != 0;) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) break;
        run.output.append(buffer, static_cast<size_t>(got));
    }
    ::close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakKiB = usage.ru_maxrss;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

bool onPath(const char* tool) {
    return runProcess({"sh", "-c", std::string("command -v ") + tool}).ok;
}

// Drops the page cache, dentries and inodes; false when not allowed.
bool dropCaches() {
    ::sync();
    const int fd = ::open("/proc/sys/vm/drop_caches", O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool written = ::write(fd, "3\n", 2) == 2;
    ::close(fd);
    return written;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
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

// The child mode: one walk, its counts on standard output.
int walkOnce(int threads, const char* path) {
    DiskScanner scanner(threads);
    ScanResult result = scanner.scan(QString::fromLocal8Bit(path), {});
    std::printf("%lld %lld %d\n", static_cast<long long>(scanner.files()), static_cast<long long>(result.root->size),
                scanner.threadsUsed());
    return 0;
}

struct Tool {
    Tool(std::string label, std::vector<std::string> command) : label(std::move(label)), command(std::move(command)) {}
    std::string label;
    std::vector<std::string> command;
    std::vector<double> times;
    long peakKiB = 0;
    std::string lastOutput;
    bool failed = false;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--walk") == 0) {
        QCoreApplication app(argc, argv);
        return walkOnce(std::atoi(argv[2]), argv[3]);
    }
    const char* path = nullptr;
    bool cold = false;
    int threads = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 2, 16);
    int runs = 5;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--cold") == 0) {
            cold = true;
        } else if (std::strcmp(argv[i], "--threads") == 0 && i + 1 < argc) {
            threads = std::max(2, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (!path) {
            path = argv[i];
        } else {
            path = nullptr;
            break;
        }
    }
    if (!path) {
        std::fprintf(stderr, "usage: scan_bench PATH [--cold] [--threads N] [--runs N]\n");
        return 2;
    }
    if (cold && !dropCaches()) {
        std::printf("note: the page cache cannot be dropped here (needs root); measuring warm\n");
        cold = false;
    }

    char self[4096];
    const ssize_t selfLength = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (selfLength <= 0) return 1;
    self[selfLength] = '\0';

    std::vector<Tool> tools;
    tools.push_back(Tool("app's walker", {self, "--walk", "0", path}));
    tools.push_back(Tool("serial walker", {self, "--walk", "1", path}));
    tools.push_back(Tool("parallel walker", {self, "--walk", std::to_string(threads), path}));
    tools.push_back(Tool("du -s -B1", {"du", "-s", "-B1", path}));
    if (onPath("ncdu")) tools.push_back(Tool("ncdu -0 -o /dev/null", {"ncdu", "-0", "-o", "/dev/null", path}));
    if (onPath("gdu")) tools.push_back(Tool("gdu -npcs", {"gdu", "-npcs", path}));

    // One warm-up run each (skipped cold: every run starts from an empty cache).
    if (!cold) {
        for (Tool& tool : tools) runProcess(tool.command);
    }
    for (int round = 0; round < runs; ++round) {
        for (Tool& tool : tools) {
            if (cold) dropCaches();
            const Run run = runProcess(tool.command);
            tool.failed = tool.failed || !run.ok;
            tool.times.push_back(run.seconds);
            tool.peakKiB = std::max(tool.peakKiB, run.peakKiB);
            tool.lastOutput = run.output;
        }
    }

    nftw(path, addOther, 64, FTW_PHYS | FTW_MOUNT);
    auto firstNumber = [](const std::string& text, int index) {
        long long value = -1;
        const char* at = text.c_str();
        for (int i = 0; i <= index; ++i) {
            char* end = nullptr;
            value = std::strtoll(at, &end, 10);
            if (end == at) return -1LL;
            at = end;
        }
        return value;
    };

    std::printf("path                  %s (%s, %d runs each, medians)\n", path, cold ? "cold" : "warm", runs);
    std::printf("%-22s %10s %12s %16s\n", "", "wall s", "peak MiB", "bytes");
    double parallelTime = 0, duTime = 0, gduTime = 0, appTime = 0;
    long long appThreads = -1;
    long long serialBytes = -1, parallelBytes = -1, duBytes = -1;
    long gduPeak = 0, parallelPeak = 0;
    for (const Tool& tool : tools) {
        const double time = median(tool.times);
        std::string bytes = "-";
        if (tool.label == "app's walker") {
            bytes = std::to_string(firstNumber(tool.lastOutput, 1));
            appThreads = firstNumber(tool.lastOutput, 2);
            appTime = time;
        } else if (tool.label == "serial walker" || tool.label == "parallel walker") {
            const long long counted = firstNumber(tool.lastOutput, 1);
            bytes = std::to_string(counted);
            if (tool.label == "serial walker") serialBytes = counted;
            if (tool.label == "parallel walker") {
                parallelBytes = counted;
                parallelTime = time;
                parallelPeak = tool.peakKiB;
            }
        } else if (tool.label.rfind("du", 0) == 0) {
            duBytes = firstNumber(tool.lastOutput, 0);
            bytes = std::to_string(duBytes);
            duTime = time;
        } else if (tool.label.rfind("gdu", 0) == 0) {
            std::string line = tool.lastOutput.substr(0, tool.lastOutput.find('\n'));
            bytes = line.empty() ? "-" : line;
            gduTime = time;
            gduPeak = tool.peakKiB;
        }
        std::printf("%-22s %10.3f %12.1f %16s%s\n", tool.label.c_str(), time, tool.peakKiB / 1024.0, bytes.c_str(),
                    tool.failed ? "  (a run failed)" : "");
    }
    struct stat rootStat {};
    const bool spins = ::stat(path, &rootStat) == 0 && StorageDevice::spins(rootStat.st_dev);
    std::printf("app's threads         %lld (the disk %s)\n", appThreads, spins ? "spins" : "does not spin");
    std::printf("parallel threads      %d\n", threads);
    std::printf("parallel / du         %.2f\n", parallelTime / duTime);
    if (gduTime > 0) {
        std::printf("app / gdu             %.2f\n", appTime / gduTime);
        std::printf("parallel / gdu        %.2f\n", parallelTime / gduTime);
        std::printf("peak memory / gdu's   %.2f\n", static_cast<double>(parallelPeak) / static_cast<double>(gduPeak));
    }
    std::printf("serial = parallel     %s\n", serialBytes == parallelBytes ? "same bytes" : "BYTES DIFFER");
    std::printf("du - folders - links  %lld  (%s the walker)\n", duBytes - otherBlocks,
                duBytes - otherBlocks == parallelBytes ? "equals" : "differs from");
    return 0;
}
