// Times saving and loading the scan cache for a synthetic scan of one million
// files, built the way a walk builds it: files of 256 KiB or more get their
// own node, smaller ones are summed into one small-files node per folder, the
// tree is finalized with the 0.8 % merge and the insights see every file.
// An optional argument names a path to keep a copy of the cache file at.
// "cache_bench --load FILE [RUNS]" only times loading a kept cache file (the
// median of RUNS loads, 7 by default), which also suits an instruction count;
// "cache_bench --decode FILE [RUNS [--one-thread] [--reuse-memory]]" only
// decodes its document RUNS times (10 by default), for a profile of the
// decoder alone; each run starts on fresh memory unless --reuse-memory.
//
// "cache_bench --deep-chain [DEPTH]" makes a folder holding a chain of
// DEPTH (5,000 by default) folders of 255-byte names with a file at its end,
// scans it with the walker, and times saving and loading its cache, each in
// a process of its own, with each process's peak memory.
//
// Both forms also compare the decoder with general JSON parsers reading the
// same document, in MB/s (10^6 bytes a second, the median of several warm
// runs): Qt's QJsonDocument::fromJson always, and, when their headers are
// installed, simdjson's DOM parser (the reference: it is the fastest of them
// here) and RapidJSON's in-memory parse. They serve only this benchmark and
// are not dependencies of the program; install them with
//   apt-get install libsimdjson-dev rapidjson-dev
#include "models/InsightsBuilder.h"
#include "models/ScanNode.h"
#include "platform/Environment.h"
#include "platform/Lzfse.h"
#include "services/scan/CachedScanJson.h"
#include "services/scan/DiskScanner.h"
#include "services/scan/ScanCache.h"
#include "support/AppIdentity.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <fcntl.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cerrno>
#include <cstring>
#include <optional>
#include <deque>
#include <random>
#include <string>
#include <vector>

#if defined(TARNWICK_BENCH_SIMDJSON)
#include <simdjson.h>
#endif
#if __has_include(<rapidjson/document.h>)
#define TARNWICK_BENCH_RAPIDJSON 1
#include <rapidjson/document.h>
#endif

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

qint64 countNodes(const ScanNode& root, qint64* pathChars = nullptr) {
    qint64 count = 0;
    std::vector<const ScanNode*> pending{&root};
    while (!pending.empty()) {
        const ScanNode* node = pending.back();
        pending.pop_back();
        ++count;
        if (pathChars) *pathChars += node->path().size();
        for (const auto& child : node->children) pending.push_back(child.get());
    }
    return count;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Lets a decoded tree go as the program does after dropping one: freed, and
// the freed memory handed back to the system (which also settles the
// allocator's deferred bookkeeping of the free, outside the next decode's time).
void release(std::optional<CachedScan>& decoded) {
    decoded.reset();
    malloc_trim(0);
}

// Megabytes (10^6 bytes) a second for a run over bytes that took ms.
double mbPerSecond(qsizetype bytes, double ms) {
    return ms > 0 ? double(bytes) / 1e3 / ms : 0;
}

// The median time of runs of a parse, after one untimed run; a parse answers
// whether it accepted the document, and release (untimed) lets its result go.
template <typename Parse, typename Release>
double medianMs(int runs, Parse parse, Release release, bool& accepted) {
    accepted = parse();
    release();
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        accepted = parse() && accepted;
        times.push_back(ms(start));
        release();
    }
    return median(times);
}

void printRate(const char* what, qsizetype bytes, double ms, bool ok) {
    std::printf("  %-46s %6.0f MB/s %7.1f ms%s\n", what, mbPerSecond(bytes, ms), ms, ok ? "" : "  REFUSED");
}

// Prints the decoder's rate on a document beside the rates of general JSON
// parsers on the same bytes. Each run starts on memory handed back to the
// system, as a decode at start-up does (every page of the tree is new),
// except the two "reused" rows: the decoder on the memory the previous tree
// freed, and simdjson with its parser kept from run to run (its fastest use).
// The reference is simdjson's DOM parser on its best kernel for this
// processor; a decoder that reaches it builds the tree in the time simdjson
// only parses.
void compareDecoders(QByteArrayView json, int runs) {
    const qsizetype bytes = json.size();
    std::printf("decode of %lld bytes of JSON, median of %d runs after one untimed:\n", static_cast<long long>(bytes),
                runs);
    bool ok = false;
    std::optional<CachedScan> decoded;
    const double oursMs = medianMs(
        runs, [&] { return (decoded = CachedScanJson::decode(json)).has_value(); }, [&] { release(decoded); }, ok);
    printRate("CachedScanJson::decode, tree built", bytes, oursMs, ok);
    const double oursSerialMs = medianMs(
        runs,
        [&] { return (decoded = CachedScanJson::decode(json, {CachedScanJson::kMaxNodes, 0})).has_value(); },
        [&] { release(decoded); }, ok);
    printRate("  the same on one thread", bytes, oursSerialMs, ok);
    // Memory the previous tree used, freed but kept by the allocator, as the
    // reused simdjson parser below keeps its buffers.
    const double oursReusedMs = medianMs(
        runs, [&] { return (decoded = CachedScanJson::decode(json)).has_value(); }, [&] { decoded.reset(); }, ok);
    printRate("  the same, memory reused", bytes, oursReusedMs, ok);
    double referenceMs = 0;
    double reusedMs = 0;
#if defined(TARNWICK_BENCH_SIMDJSON)
    {
        // The input padded once, as simdjson needs it.
        const simdjson::padded_string padded(json.data(), static_cast<size_t>(bytes));
        const std::string kernel = simdjson::get_active_implementation()->name();
        std::optional<simdjson::dom::parser> parser;
        // A new parser each run, its buffers handed back after it.
        auto freshParse = [&] {
            parser.emplace();
            return parser->parse(padded).error() == simdjson::SUCCESS;
        };
        auto freshRelease = [&] {
            parser.reset();
            malloc_trim(0);
        };
        referenceMs = medianMs(runs, freshParse, freshRelease, ok);
        printRate(("simdjson DOM parse, " + kernel + " (reference)").c_str(), bytes, referenceMs, ok);
        // The kernel of the instruction set this program is built for.
        for (const auto* implementation : simdjson::get_available_implementations()) {
            if (implementation->name() != "westmere" || !implementation->supported_by_runtime_system()) continue;
            simdjson::get_active_implementation() = implementation;
            const double westmereMs = medianMs(runs, freshParse, freshRelease, ok);
            printRate("  the same, westmere (SSE4.2)", bytes, westmereMs, ok);
            simdjson::get_active_implementation() = simdjson::get_available_implementations()[kernel];
        }
        parser.emplace();
        reusedMs = medianMs(runs, [&] { return parser->parse(padded).error() == simdjson::SUCCESS; }, [] {}, ok);
        printRate(("  the same, " + kernel + ", parser reused").c_str(), bytes, reusedMs, ok);
    }
#endif
#if defined(TARNWICK_BENCH_RAPIDJSON)
    {
        const std::string text(json.data(), static_cast<size_t>(bytes));
        std::optional<rapidjson::Document> document;
        const double rapidMs = medianMs(
            runs,
            [&] {
                document.emplace();
                document->Parse<rapidjson::kParseValidateEncodingFlag>(text.c_str(), text.size());
                return !document->HasParseError();
            },
            [&] {
                document.reset();
                malloc_trim(0);
            },
            ok);
        printRate("RapidJSON DOM parse, UTF-8 checked", bytes, rapidMs, ok);
        if (referenceMs == 0) referenceMs = rapidMs;
    }
#endif
    const QByteArray copy = json.toByteArray();
    QJsonDocument qtDocument;
    const double qtMs = medianMs(
        std::min(runs, 3),
        [&] {
            QJsonParseError error{};
            qtDocument = QJsonDocument::fromJson(copy, &error);
            return error.error == QJsonParseError::NoError;
        },
        [&] {
            qtDocument = QJsonDocument();
            malloc_trim(0);
        },
        ok);
    printRate("QJsonDocument::fromJson", bytes, qtMs, ok);
    if (referenceMs == 0) referenceMs = qtMs;
    std::printf("  ours / reference: %.2f; one thread / reference: %.2f", referenceMs / oursMs,
                referenceMs / oursSerialMs);
    if (reusedMs > 0) std::printf("; ours, memory reused / parser reused: %.2f", reusedMs / oursReusedMs);
    std::printf(" (above 1 is faster)\n");
}

// Times ScanCache::load() of a kept cache file, and its two pieces.
int loadOnly(const QString& file, int runs) {
    const QString cacheFile = AppIdentity::supportDirectory() + "/last-scan.taldo";
    if (!QFile::copy(file, cacheFile)) {
        std::printf("cannot copy %s\n", qPrintable(file));
        return 1;
    }
    QFile in(cacheFile);
    if (!in.open(QIODevice::ReadOnly)) return 1;
    const QByteArray packed = in.readAll();
    std::vector<double> loads, decompressions, decodes, encodes;
    qint64 nodes = 0;
    double treeMiB = 0;
    for (int i = 0; i < runs; ++i) {
        const size_t heapBefore = mallinfo2().uordblks;
        auto start = std::chrono::steady_clock::now();
        std::optional<CachedScan> loaded = ScanCache::load();
        loads.push_back(ms(start));
        treeMiB = double(mallinfo2().uordblks - heapBefore) / (1 << 20);
        if (!loaded) {
            std::printf("load FAILED\n");
            return 1;
        }
        nodes = countNodes(*loaded->root);
        start = std::chrono::steady_clock::now();
        const std::optional<QByteArray> json = CachedScanJson::encode(*loaded);
        encodes.push_back(ms(start));
        if (!json) return 1;
        loaded.reset();
    }
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        const auto json = Lzfse::decompressToBuffer(reinterpret_cast<const uint8_t*>(packed.constData()),
                                                    static_cast<size_t>(packed.size()), size_t(1) << 30);
        decompressions.push_back(ms(start));
        if (!json) return 1;
        start = std::chrono::steady_clock::now();
        std::optional<CachedScan> decoded = CachedScanJson::decode(
            QByteArrayView(reinterpret_cast<const char*>(json->data()), static_cast<qsizetype>(json->size())));
        decodes.push_back(ms(start));
        if (!decoded) return 1;
    }
    std::printf("load of %lld bytes, %lld nodes: median of %d: load %.0f ms (first %.0f ms); decompress %.0f ms, "
                "decode %.0f ms; encode again %.0f ms; tree %.0f MiB of heap; peak %ld MiB\n",
                static_cast<long long>(packed.size()), static_cast<long long>(nodes), runs, median(loads), loads[0],
                median(decompressions), median(decodes), median(encodes), treeMiB, peakMiB());
    const auto json = Lzfse::decompressToBuffer(reinterpret_cast<const uint8_t*>(packed.constData()),
                                                static_cast<size_t>(packed.size()), size_t(1) << 30);
    compareDecoders(QByteArrayView(reinterpret_cast<const char*>(json->data()), static_cast<qsizetype>(json->size())),
                    runs);
    return 0;
}

// Decodes a kept cache file's document again and again, and nothing else.
int decodeOnly(const QString& file, int runs, qint64 pieceBytes, bool reuseMemory) {
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) return 1;
    const QByteArray packed = in.readAll();
    const auto json = Lzfse::decompressToBuffer(reinterpret_cast<const uint8_t*>(packed.constData()),
                                                static_cast<size_t>(packed.size()), size_t(1) << 30);
    if (!json) return 1;
    const QByteArrayView view(reinterpret_cast<const char*>(json->data()), static_cast<qsizetype>(json->size()));
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        std::optional<CachedScan> decoded = CachedScanJson::decode(view, {CachedScanJson::kMaxNodes, pieceBytes});
        times.push_back(ms(start));
        if (!decoded) return 1;
        if (reuseMemory) {
            decoded.reset();
        } else {
            release(decoded);
        }
    }
    std::printf("decode of %lld bytes: median of %d %.1f ms, %.0f MB/s (first %.1f ms)\n",
                static_cast<long long>(view.size()), runs, median(times), mbPerSecond(view.size(), median(times)),
                times[0]);
    return 0;
}

// The chain of folders, made relative to descriptors (its paths are far
// longer than the system takes whole).
bool makeChain(const QString& top, int depth) {
    int fd = ::open(QFile::encodeName(top).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::string name(255, 'n');
    for (int i = 0; i < depth && fd >= 0; ++i) {
        if (::mkdirat(fd, name.c_str(), 0755) != 0 && errno != EEXIST) return false;
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    if (fd < 0) return false;
    const int file = ::openat(fd, "data", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const std::string data(1 << 20, 'd');
    const bool written = file >= 0 && ::write(file, data.data(), data.size()) == ssize_t(data.size());
    if (file >= 0) ::close(file);
    ::close(fd);
    return written;
}

// Removes the chain again, deepest first (QTemporaryDir cannot: its paths are too long).
void removeChain(const QString& top) {
    const std::string name(255, 'n');
    int fd = ::open(QFile::encodeName(top).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int depth = 0;
    for (int next; fd >= 0 && (next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) >= 0; ++depth) {
        ::close(fd);
        fd = next;
    }
    if (fd < 0) return;
    ::unlinkat(fd, "data", 0);
    for (; depth > 0; --depth) {
        const int up = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = up;
        if (fd < 0) return;
        ::unlinkat(fd, name.c_str(), AT_REMOVEDIR);
    }
    ::close(fd);
}

// One step of the deep-chain benchmark in this process: "save" scans the
// tree and saves its cache, "load" loads it.
int deepChainStep(const char* step, const QString& tree) {
    if (std::strcmp(step, "save") == 0) {
        DiskScanner scanner;
        ScanResult result = scanner.scan(tree, {});
        const long before = peakMiB();
        const auto start = std::chrono::steady_clock::now();
        ScanCache::save(tree, QStringLiteral("chain"), result.root, result.insights);
        const double saveMs = ms(start);
        const QFileInfo file(AppIdentity::supportDirectory() + QStringLiteral("/") + ScanCache::kFileName);
        std::printf("save\t%.0f ms\tpeak %ld MiB (%ld MiB after the scan)\tfile %lld bytes\t%s\n", saveMs, peakMiB(),
                    before, static_cast<long long>(file.size()), file.exists() ? "written" : "NOT WRITTEN");
        return file.exists() ? 0 : 1;
    }
    const long before = peakMiB();
    const auto start = std::chrono::steady_clock::now();
    std::optional<CachedScan> loaded = ScanCache::load();
    const double loadMs = ms(start);
    if (!loaded) {
        std::printf("load\tNO CACHE\n");
        return 1;
    }
    int depth = 0;
    for (const ScanNode* at = loaded->root.get(); !at->children.empty(); at = at->children[0].get()) ++depth;
    std::printf("load\t%.0f ms\tpeak %ld MiB (%ld MiB before)\t%lld nodes, %d levels kept, root %lld bytes\n", loadMs,
                peakMiB(), before, static_cast<long long>(countNodes(*loaded->root)), depth,
                static_cast<long long>(loaded->root->size));
    return 0;
}

int deepChain(int depth, const char* self) {
    QTemporaryDir tree;
    if (!makeChain(tree.path(), depth)) {
        std::fprintf(stderr, "cannot make the chain\n");
        return 1;
    }
    std::printf("chain\t%d folders of 255-byte names\n", depth);
    QTemporaryDir support;
    const QByteArray supportPath = QFile::encodeName(support.path());
    const QByteArray treePath = QFile::encodeName(tree.path());
    for (const char* step : {"save", "load"}) {
        std::fflush(stdout);
        const pid_t child = ::fork();
        if (child == 0) {
            ::execl(self, self, "--deep-chain-step", step, treePath.constData(), supportPath.constData(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
    }
    removeChain(tree.path());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    Environment environment = Environment::system();
    environment.applicationSupport = dir.path();
    Environment::Scope scope(environment);
    if (argc == 5 && std::strcmp(argv[1], "--deep-chain-step") == 0) {
        environment.applicationSupport = QString::fromLocal8Bit(argv[4]);
        Environment::Scope chainScope(environment);
        return deepChainStep(argv[2], QString::fromLocal8Bit(argv[3]));
    }
    if (argc >= 2 && std::strcmp(argv[1], "--deep-chain") == 0) {
        char self[4096];
        const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
        if (length <= 0) return 1;
        self[length] = '\0';
        return deepChain(argc > 2 ? std::max(1, std::atoi(argv[2])) : 5000, self);
    }
    if (argc > 2 && std::strcmp(argv[1], "--load") == 0) {
        return loadOnly(QString::fromLocal8Bit(argv[2]), argc > 3 ? std::max(1, std::atoi(argv[3])) : 7);
    }
    if (argc > 2 && std::strcmp(argv[1], "--decode") == 0) {
        bool oneThread = false, reuseMemory = false;
        for (int i = 4; i < argc; ++i) {
            oneThread = oneThread || std::strcmp(argv[i], "--one-thread") == 0;
            reuseMemory = reuseMemory || std::strcmp(argv[i], "--reuse-memory") == 0;
        }
        return decodeOnly(QString::fromLocal8Bit(argv[2]), argc > 3 ? std::max(1, std::atoi(argv[3])) : 10,
                          oneThread ? 0 : CachedScanJson::kPieceBytes, reuseMemory);
    }

    constexpr int kFiles = 1000000;
    constexpr qint64 kSmallFileLimit = 262144;
    std::mt19937_64 random(7);
    std::lognormal_distribution<double> sizes(9.5, 2.6);  // median ~13 KB, a long tail
    const char* extensions[] = {"jpg", "png", "txt", "h", "cpp", "o", "dylib", "plist", "json", "mp4",
                                "zip", "gz", "", "db", "swift", "car", "nib", "strings", "pdf", "mov"};

    auto start = std::chrono::steady_clock::now();
    InsightsBuilder insights;
    ScanNodePtr root = ScanNode::create(QUuid::createUuid(), "someone", "/Users/someone", NodeKind::dir, 0);
    std::deque<ScanNode*> open{root.get()};
    int files = 0;
    int folders = 1;
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    while (files < kFiles) {
        ScanNode* folder = open.front();
        open.pop_front();
        // 0-5 subfolders and 0-30 files per folder.
        const int subfolders = static_cast<int>(random() % 6);
        for (int i = 0; i < subfolders; ++i) {
            const QString name = QStringLiteral("Folder %1").arg(folders++);
            auto child = ScanNode::create(QUuid::createUuid(), name, folder->path() + '/' + name, NodeKind::dir, 0);
            open.push_back(child.get());
            folder->appendChild(std::move(child));
        }
        const int count = static_cast<int>(random() % 31);
        qint64 smallBytes = 0;
        int smallCount = 0;
        for (int i = 0; i < count && files < kFiles; ++i, ++files) {
            const char* ext = extensions[random() % std::size(extensions)];
            const QString name = QStringLiteral("file-%1%2%3").arg(files).arg(*ext ? "." : "").arg(ext);
            const auto size = static_cast<qint64>(sizes(random)) + 1;
            const QString path = folder->path() + '/' + name;
            insights.consider(name, path, size,
                              QDateTime::fromMSecsSinceEpoch(
                                  nowMs - static_cast<qint64>(random() % (6LL * 365 * 86400000)), Qt::UTC));
            if (size >= kSmallFileLimit) {
                folder->appendChild(ScanNode::create(QUuid::createUuid(), name, path, NodeKind::file, size));
            } else {
                smallBytes += size;
                ++smallCount;
            }
        }
        if (smallCount > 0) {
            auto small = ScanNode::create(QUuid::createUuid(), ScanNode::smallFilesName(smallCount), folder->path(),
                                          NodeKind::file, smallBytes);
            small->isAggregate = true;
            folder->appendChild(std::move(small));
        }
        if (open.empty()) open.push_back(folder);
    }
    root->finalize(0.008);
    const ScanInsights scanInsights = insights.finalize();
    qint64 pathChars = 0;
    const qint64 nodes = countNodes(*root, &pathChars);
    std::printf("scan: %d files in %d folders, %lld nodes after folding and merging (paths of %lld characters on "
                "average), built in %.0f ms\n",
                files, folders, static_cast<long long>(nodes), static_cast<long long>(pathChars / nodes), ms(start));

    // The whole save and load, as the program runs them: the first load of
    // the process (its memory still untouched), then the best of five more.
    start = std::chrono::steady_clock::now();
    ScanCache::save("/Users/someone", "someone", root, scanInsights);
    const double saveMs = ms(start);
    const QString cacheFile = AppIdentity::supportDirectory() + "/last-scan.taldo";
    const qint64 onDisk = QFileInfo(cacheFile).size();
    if (argc > 1) QFile::copy(cacheFile, QString::fromLocal8Bit(argv[1]));  // kept for inspection
    start = std::chrono::steady_clock::now();
    std::optional<CachedScan> loaded = ScanCache::load();
    const double firstLoadMs = ms(start);
    if (!loaded) {
        std::printf("load FAILED\n");
        return 1;
    }
    const qint64 loadedNodes = countNodes(*loaded->root);
    loaded.reset();
    double bestLoadMs = 1e9;
    for (int i = 0; i < 5; ++i) {
        start = std::chrono::steady_clock::now();
        loaded = ScanCache::load();
        bestLoadMs = std::min(bestLoadMs, ms(start));
        loaded.reset();
    }
    std::printf("cache: %lld bytes on disk, %lld nodes; save %.0f ms; load %.0f ms (first), %.0f ms (best of 5)\n",
                static_cast<long long>(onDisk), static_cast<long long>(loadedNodes), saveMs, firstLoadMs,
                bestLoadMs);

    // The pieces, best of three each.
    double pruneMs = 1e9, encodeMs = 1e9, compressMs = 1e9, decompressMs = 1e9, decodeMs = 1e9;
    qsizetype jsonBytes = 0;
    QByteArray lastJson;
    for (int i = 0; i < 3; ++i) {
        start = std::chrono::steady_clock::now();
        ScanNodePtr pruned = ScanCache::prune(*root, ScanCache::kMinFraction, ScanCache::kAbsoluteFloor);
        pruneMs = std::min(pruneMs, ms(start));
        start = std::chrono::steady_clock::now();
        const QByteArray json = *CachedScanJson::encode(
            CachedScan{"/Users/someone", "someone", QDateTime::currentDateTimeUtc(), pruned, scanInsights});
        encodeMs = std::min(encodeMs, ms(start));
        jsonBytes = json.size();
        lastJson = json;
        pruned.reset();
        start = std::chrono::steady_clock::now();
        const auto packed = Lzfse::compress(reinterpret_cast<const uint8_t*>(json.constData()), json.size());
        compressMs = std::min(compressMs, ms(start));
        start = std::chrono::steady_clock::now();
        const auto unpacked = Lzfse::decompressToBuffer(packed.data(), packed.size(), size_t(1) << 30);
        decompressMs = std::min(decompressMs, ms(start));
        start = std::chrono::steady_clock::now();
        const auto decoded = CachedScanJson::decode(json);
        decodeMs = std::min(decodeMs, ms(start));
        if (!unpacked || !decoded) std::printf("round trip FAILED\n");
    }
    std::printf("pieces: JSON %lld bytes; prune %.0f ms, encode %.0f ms, compress %.0f ms; "
                "decompress %.0f ms, decode %.0f ms; peak %ld MiB\n",
                static_cast<long long>(jsonBytes), pruneMs, encodeMs, compressMs, decompressMs, decodeMs, peakMiB());
    compareDecoders(lastJson, 7);
    return 0;
}
