// Runs the junk scan on a generated home folder, or on a given one.
//
//   junk_bench                generate a home (macOS layout and this
//                             platform's folders, 200,000 files) and scan it
//   junk_bench --home DIR     scan DIR as the home folder (system places as
//                             they are on this machine)
//   junk_bench --clean        generate a home, scan it, then clean the
//                             pre-selected findings into a Safe Bin inside
//                             the generated home
//   junk_bench --flat-cache N generate a home whose ~/.cache holds N files
//                             directly (every 100th of 1,000 bytes, the
//                             others empty, all three days old), scan it,
//                             then clean it as --clean does
//
// Prints each stage's label and time, then every finding on a line of
// tab-separated fields (category, size in bytes, pre-selected yes/no,
// absolute path), then the total, the files the scan opened and the bytes it
// read, and the peak memory. The scan runs twice (the first run warms the
// caches); the figures are those of the second run. With --clean, then the
// bytes the pre-selected findings offered, the bytes the Safe Bin took for
// them, the number of findings cleaned and the time of the clean. Every peak
// is the process's resident peak since the last one was printed (the kernel's
// high-water mark, set back before each measured step where it allows that).
#include "FinderRun.h"
#include "models/CleanupCategory.h"
#include "platform/Environment.h"
#include "services/cleanup/CleanupService.h"
#include "services/safebin/SafeBinMover.h"

#include "JunkHome.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace tarnwick;
using tarnwick::bench::peakMiB;
using junkhome::Generator;

namespace {

using Clock = std::chrono::steady_clock;

using Run = bench::FinderRun<CleanupItem>;

Run runScan() {
    return Run::measure([](const Run::Progress& progress) { return CleanupService::scan(progress); });
}

// Sets the resident high-water mark back to what the process holds now; false
// where the kernel does not allow it.
bool resetPeak() {
    QFile file(QStringLiteral("/proc/self/clear_refs"));
    return file.open(QIODevice::WriteOnly) && file.write("5") == 1;
}

// The resident high-water mark (VmHWM) in MiB; the lifetime peak where it
// cannot be read.
long residentPeakMiB() {
    QFile file(QStringLiteral("/proc/self/status"));
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toLong() / 1024;
        }
    }
    return peakMiB();
}

// ~/.cache holding count files directly, every 100th of 1,000 bytes and the
// others empty, all three days old, the folder too.
void flatCache(const std::string& home, int count, Generator& generator) {
    const std::string cache = home + "/.cache";
    generator.dir(cache);
    for (int i = 0; i < count; ++i) {
        char name[24];
        std::snprintf(name, sizeof name, "%08d", i);
        const std::string path = cache + "/" + name;
        generator.file(path, i % 100 == 0 ? 1000 : 0, Generator::Kind::written, 'f');
        generator.age(path, 3 * 86400);
    }
    generator.age(cache, 3 * 86400);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Environment environment = Environment::system();
    QTemporaryDir scratch;
    long long duplicateBytes = -1;
    const int flat = argc == 3 && std::string(argv[1]) == "--flat-cache" ? std::atoi(argv[2]) : 0;
    const bool clean = (argc == 2 && std::string(argv[1]) == "--clean") || flat > 0;
    if (argc == 3 && std::string(argv[1]) == "--home") {
        environment.homeDirectory = QString::fromLocal8Bit(argv[2]);
    } else if (argc == 1 || clean) {
        if (!scratch.isValid()) {
            std::fprintf(stderr, "cannot make a scratch folder\n");
            return 1;
        }
        const std::string base = scratch.path().toStdString();
        const std::string home = base + "/home/user";
        const std::string root = base + "/root";
        const std::string temp = base + "/user-tmp";
        Generator generator(base);
        const auto start = Clock::now();
        if (flat > 0) {
            flatCache(home, flat, generator);
        } else {
            junkhome::generate(home, root, temp, generator);
        }
        std::printf("generated\t%d files\t%.2f s\n", generator.files(),
                    std::chrono::duration<double>(Clock::now() - start).count());
        duplicateBytes = generator.duplicateBytes();
        environment.homeDirectory = QString::fromStdString(home);
        environment.rootPrefix = QString::fromStdString(root);
        environment.tempDirectory = QString::fromStdString(temp);
        environment.applicationSupport = QString::fromStdString(home + "/.local/share");
        environment.variables.clear();
    } else {
        std::fprintf(stderr, "usage: junk_bench [--home DIR | --clean | --flat-cache N]\n");
        return 2;
    }
    Environment::setCurrent(environment);

    const Run warm = runScan();
    const bool resettable = resetPeak();
    const Run run = runScan();
    for (qsizetype i = 0; i < run.labels.size(); ++i) {
        std::printf("stage\t%lld\t%s\t%.3f s\n", static_cast<long long>(i + 1), run.labels[i].toUtf8().constData(),
                    run.seconds[static_cast<size_t>(i)]);
    }
    qint64 bytes = 0;
    for (const CleanupItem& item : run.items) {
        bytes += item.size;
        std::printf("%s\t%lld\t%s\t%s\n", rawValue(item.category).toUtf8().constData(),
                    static_cast<long long>(item.size), item.isSelected ? "yes" : "no", item.path.toUtf8().constData());
    }
    std::printf("total\t%lld findings\t%lld bytes\t%.3f s (first run %.3f s)\n", static_cast<long long>(run.items.size()),
                static_cast<long long>(bytes), run.total, warm.total);
    std::printf("reads\t%llu files opened\t%llu bytes read", static_cast<unsigned long long>(run.filesOpened),
                static_cast<unsigned long long>(run.bytesRead));
    if (duplicateBytes >= 0) {
        std::printf("\t(duplicate candidates hold %lld bytes)", duplicateBytes);
    }
    std::printf("\npeak\t%ld MiB%s\n", residentPeakMiB(), resettable ? " (second run)" : "");
    if (!clean) return 0;

    // The pre-selected findings, cleaned as the junk screen cleans them.
    std::vector<QList<SafeBinMover::Target>> targets;
    qint64 offered = 0;
    for (const CleanupItem& item : run.items) {
        if (!item.isSelected) continue;
        targets.push_back({{item.path, item.scope, item.seen}});
        offered += item.size;
    }
    resetPeak();
    const auto start = Clock::now();
    const SafeBinMover::Outcome outcome = SafeBinMover::move(targets);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    qint64 moved = 0;
    qsizetype cleaned = 0;
    qsizetype members = 0;
    for (const SafeBinMover::FindingResult& result : outcome.findings) {
        moved += result.movedBytes;
        cleaned += result.cleaned ? 1 : 0;
        if (result.entry && result.entry->members) members += static_cast<qsizetype>(result.entry->members->size());
    }
    std::printf("clean\t%lld bytes offered\t%lld bytes moved\t%lld of %lld findings cleaned\t%.3f s\n",
                static_cast<long long>(offered), static_cast<long long>(moved), static_cast<long long>(cleaned),
                static_cast<long long>(targets.size()), seconds);
    std::printf("items\t%lld members in the Safe Bin's entries\n", static_cast<long long>(members));
    if (outcome.error) std::printf("message\t%s\n", outcome.error->toUtf8().constData());
    std::printf("peak\t%ld MiB%s\n", residentPeakMiB(), resettable ? " (clean)" : "");
    return 0;
}
