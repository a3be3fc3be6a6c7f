// Times the Safe Bin with a large manifest: one move into a bin that already
// holds N entries (the median of several moves), a restore and a delete for
// good, list() alone, and the manifest's encoding and decoding on their own.
// "safebin_bench [N ...]" (100000 and 1000000 by default). The bin lives in a
// temporary folder beside the system's temporary files, so the figures include
// the syncs to that disk.
#include "models/SafeBinEntry.h"
#include "platform/Environment.h"
#include "services/safebin/SafeBinService.h"
#include "support/AppIdentity.h"
#include "support/AtomicFile.h"
#include "support/JsonCoding.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace tarnwick;

namespace {

double ms(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

long peakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// CPU time of this process so far (user and system), in ms: a figure a busy machine disturbs less.
double cpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Entries shaped like real ones: home-folder paths of a few folders' depth.
std::vector<SafeBinEntry> syntheticEntries(int count, const QDateTime& now) {
    std::vector<SafeBinEntry> entries;
    entries.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        const QUuid id = QUuid::createUuid();
        const QString name = QStringLiteral("cache-file-%1.bin").arg(i);
        const QString original = QStringLiteral("/home/someone/.cache/application-%1/data/%2").arg(i % 97).arg(name);
        entries.push_back(SafeBinEntry::create(id, original, JsonCoding::uuidText(id) + QLatin1Char('-') + name, name,
                                               4096 * (i % 13 + 1), now.addSecs(-(i % 86400))));
    }
    return entries;
}

void run(int count) {
    QTemporaryDir dir;
    Environment environment = Environment::system();
    environment.homeDirectory = dir.path() + QStringLiteral("/home");
    environment.applicationSupport = dir.path() + QStringLiteral("/support");
    environment.tempDirectory = dir.path();
    Environment::Scope scope(environment);
    QDir().mkpath(environment.homeDirectory);
    const QDateTime now = environment.now();

    const std::vector<SafeBinEntry> entries = syntheticEntries(count, now);
    auto start = std::chrono::steady_clock::now();
    const QByteArray manifest = SafeBinEntry::encodeManifest(entries);
    const double encodeMs = ms(start);
    start = std::chrono::steady_clock::now();
    const auto decoded = SafeBinEntry::decodeManifest(manifest);
    const double decodeMs = ms(start);
    if (!decoded || decoded->size() != entries.size()) {
        std::fprintf(stderr, "the manifest did not read back\n");
        std::exit(1);
    }
    const QString bin = SafeBinService::root();
    if (!AtomicFile::write(bin + QStringLiteral("/manifest.json"), manifest)) {
        std::fprintf(stderr, "could not write the manifest\n");
        std::exit(1);
    }

    std::vector<double> moves;
    std::vector<double> moveCpu;
    std::vector<SafeBinEntry> moved;
    for (int i = 0; i < 7; ++i) {
        const QString file = environment.homeDirectory + QStringLiteral("/moved-%1.txt").arg(i);
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write("x") != 1) std::exit(1);
        out.close();
        start = std::chrono::steady_clock::now();
        const double cpuBefore = cpuMs();
        const SafeBinMoveResult result = SafeBinService::moveToSafeBin({file});
        moves.push_back(ms(start));
        moveCpu.push_back(cpuMs() - cpuBefore);
        if (result.error || result.moved.size() != 1) {
            std::fprintf(stderr, "move failed: %s\n", result.error ? qPrintable(result.error->description) : "");
            std::exit(1);
        }
        moved.push_back(result.moved[0]);
    }
    start = std::chrono::steady_clock::now();
    const std::vector<SafeBinEntry> listed = SafeBinService::list();
    const double listMs = ms(start);
    start = std::chrono::steady_clock::now();
    const bool restored = !SafeBinService::restore(moved[0]);
    const double restoreMs = ms(start);
    start = std::chrono::steady_clock::now();
    const bool destroyed = !SafeBinService::destroy(moved[1]);
    const double destroyMs = ms(start);
    if (!restored || !destroyed || listed.size() != entries.size() + moved.size()) std::exit(1);

    std::printf("%8d entries, manifest %6.1f MB: move %7.1f ms (median of %zu, min %.1f, CPU %.1f), restore %7.1f ms, "
                "destroy %7.1f ms, list %7.1f ms; encode %6.1f ms, decode %6.1f ms; peak %ld MiB\n",
                count, manifest.size() / 1e6, median(moves), moves.size(), *std::min_element(moves.begin(), moves.end()), median(moveCpu),
                restoreMs, destroyMs, listMs, encodeMs, decodeMs, peakMiB());
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
    if (counts.empty()) counts = {100000, 1000000};
    for (const int count : counts) run(count);
    return 0;
}
