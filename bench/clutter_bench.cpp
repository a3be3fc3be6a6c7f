// Runs the clutter scan on a generated home folder, or on a given one.
//
//   clutter_bench               generate a home (120 JPEG and PNG pictures,
//                               some of them re-encoded or resized copies of
//                               others, and 20,000 files with duplicates among
//                               them) and scan it
//   clutter_bench --home DIR    scan DIR as the home folder
//
// Prints each search's label and time, then every item on a line of
// tab-separated fields (kind, size in bytes, pre-selected yes/no, absolute
// path, detail), then the
// total, the files the scan opened and the bytes it read, and the peak
// memory. The scan runs twice (the first run warms the caches); the figures
// are those of the second run. Last, the similar-image search runs alone (its
// items before the list's budget, and how many pair pictures that are not
// copies of one another, told by the generated names), and its files are
// hashed once more, on the thread pool and then one by one, to show what
// decoding them in parallel gains.
#include "ClutterHome.h"
#include "FinderRun.h"
#include "models/ClutterItem.h"
#include "platform/Environment.h"
#include "platform/FolderWalk.h"
#include "platform/Locations.h"
#include "support/PathRules.h"
#include "services/cleanup/ClutterSearches.h"
#include "services/cleanup/ClutterService.h"
#include "services/cleanup/ImageFingerprint.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using namespace tarnwick;
using tarnwick::bench::peakMiB;
using clutterhome::Generator;

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

using Run = bench::FinderRun<ClutterItem>;

Run runScan() {
    return Run::measure([](const Run::Progress& progress) { return ClutterService::scan(progress); });
}

const QStringList& pictureFolders() {
    static const QStringList folders = [] {
        const Locations places(Environment::current());
        return QStringList{places.path(Locations::Place::pictures), places.path(Locations::Place::desktop),
                           places.path(Locations::Place::downloads)};
    }();
    return folders;
}

// The files the similar-image search looks at (first 4,000 entries of each
// folder, the size and name rules), pictures or not.
QStringList picturePaths() {
    QStringList paths;
    for (const QString& folder : pictureFolders()) {
        int looked = 0;
        FolderWalk::run(folder, FolderWalk::Options{}, [&](const FileEntry& entry, int) {
            if (looked++ >= 4000) return FolderWalk::Step::stop;
            const QString extension = PathRules::pathExtension(entry.name).toLower();
            const bool picture = extension == "jpg" || extension == "jpeg" || extension == "png" || extension == "webp";
            if (picture && entry.isRegularFile() && entry.logicalSize > 120000 && entry.logicalSize < 12000000) {
                paths.append(entry.path);
            }
            return FolderWalk::Step::proceed;
        });
    }
    return paths;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    Environment environment = Environment::system();
    QTemporaryDir scratch;
    if (argc == 3 && std::string(argv[1]) == "--home") {
        environment.homeDirectory = QString::fromLocal8Bit(argv[2]);
        environment.variables.clear();  // the folders of that home, not of this session
    } else if (argc == 1) {
        if (!scratch.isValid()) {
            std::fprintf(stderr, "cannot make a scratch folder\n");
            return 1;
        }
        const std::string home = scratch.path().toStdString() + "/home/user";
        Generator generator;
        const auto start = Clock::now();
        clutterhome::generate(home, generator);
        std::printf("generated\t%d files\t%.2f s\n", generator.files(), since(start));
        environment.homeDirectory = QString::fromStdString(home);
        environment.variables.clear();
    } else {
        std::fprintf(stderr, "usage: clutter_bench [--home DIR]\n");
        return 2;
    }
    Environment::setCurrent(environment);

    const Run warm = runScan();
    const Run run = runScan();
    for (qsizetype i = 0; i < run.labels.size(); ++i) {
        std::printf("search\t%lld\t%s\t%.3f s\n", static_cast<long long>(i + 1), run.labels[i].toUtf8().constData(),
                    run.seconds[static_cast<size_t>(i)]);
    }
    qint64 bytes = 0;
    for (const ClutterItem& item : run.items) {
        bytes += item.size;
        std::printf("%s\t%lld\t%s\t%s\t%s\n", rawValue(item.kind).toUtf8().constData(),
                    static_cast<long long>(item.size), item.isSelected ? "yes" : "no", item.path.toUtf8().constData(),
                    item.detail.toUtf8().constData());
    }
    std::printf("total\t%lld items\t%lld bytes\t%.3f s (first run %.3f s)\n", static_cast<long long>(run.items.size()),
                static_cast<long long>(bytes), run.total, warm.total);
    std::printf("reads\t%llu files opened\t%llu bytes read\n", static_cast<unsigned long long>(run.filesOpened),
                static_cast<unsigned long long>(run.bytesRead));

    // The similar-image search alone, before the list's budget: a copy is
    // named after its original, so a pair of other names is a wrong match.
    const QList<ClutterItem> similar = ClutterService::similarImages(pictureFolders(), JunkContext());
    int wrong = 0;
    for (const ClutterItem& item : similar) {
        const QString number = item.title.left(8);
        if (!number.startsWith(QStringLiteral("IMG_")) || !item.detail.contains(QLatin1Char('/') + number)) ++wrong;
    }
    std::printf("similar\t%lld items before the budget\t%d not of one picture\n", static_cast<long long>(similar.size()),
                wrong);

    const QStringList paths = picturePaths();
    auto start = Clock::now();
    const auto parallel = ImageFingerprint::ofFiles(paths, 12000000);
    const double together = since(start);
    start = Clock::now();
    int decoded = 0;
    for (const QString& path : paths) decoded += ImageFingerprint::ofFile(path, 12000000) ? 1 : 0;
    const double oneByOne = since(start);
    std::printf("pictures\t%lld hashed (%d decode)\ton the pool %.3f s\tone by one %.3f s\t(%d threads)\n",
                static_cast<long long>(paths.size()), decoded, together, oneByOne, QThread::idealThreadCount());
    std::printf("peak\t%ld MiB\n", peakMiB());
    return parallel.size() == size_t(paths.size()) ? 0 : 1;
}
