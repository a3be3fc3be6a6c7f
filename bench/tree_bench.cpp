// Times the size tree's finalize on a million nodes and the insights builder
// on ten million files, with the peak resident memory after each step.
#include "models/InsightsBuilder.h"
#include "models/ScanNode.h"

#include <QDateTime>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <deque>
#include <random>
#include <string>
#include <vector>

using namespace tarnwick;

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

long peakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;  // kilobytes on Linux
}

}  // namespace

int main() {
    std::mt19937_64 random(42);
    std::lognormal_distribution<double> sizes(11.0, 3.0);  // many small files, a long tail

    // A million nodes: folders of up to 24 children, about a quarter of them folders.
    auto start = std::chrono::steady_clock::now();
    constexpr int kNodes = 1000000;
    ScanNodePtr root = ScanNode::create(QUuid::createUuid(), "root", "/root", NodeKind::dir, 0);
    std::deque<ScanNode*> open{root.get()};
    int made = 1;
    while (made < kNodes && !open.empty()) {
        ScanNode* folder = open.front();
        open.pop_front();
        const int count = 1 + static_cast<int>(random() % 24);
        for (int i = 0; i < count && made < kNodes; ++i, ++made) {
            const QString path = folder->path() + "/n" + QString::number(made);
            if (random() % 4 == 0) {
                auto child = ScanNode::create(QUuid::createUuid(), "d", path, NodeKind::dir, 0);
                open.push_back(child.get());
                folder->appendChild(std::move(child));
            } else {
                const auto size = static_cast<qint64>(sizes(random));
                folder->appendChild(ScanNode::create(QUuid::createUuid(), "f", path, NodeKind::file, size));
            }
        }
        if (open.empty() && made < kNodes) open.push_back(folder);
    }
    std::printf("tree: built %d nodes in %.2f s, peak %ld MiB\n", made, seconds(start), peakMiB());

    start = std::chrono::steady_clock::now();
    root->finalize(0.008);
    std::printf("tree: finalize in %.3f s (root %lld bytes, %zu children), peak %ld MiB\n", seconds(start),
                static_cast<long long>(root->size), root->children.size(), peakMiB());

    start = std::chrono::steady_clock::now();
    root.reset();
    std::printf("tree: released in %.3f s\n", seconds(start));

    // A million-deep chain, finalized and released.
    start = std::chrono::steady_clock::now();
    ScanNodePtr chain = ScanNode::create(QUuid::createUuid(), "leaf", "/leaf", NodeKind::file, 1);
    for (int i = 0; i < kNodes; ++i) {
        chain = ScanNode::create(QUuid::createUuid(), "d", "/d", NodeKind::dir, 0, {chain});
    }
    chain->finalize(0.008);
    chain.reset();
    std::printf("chain: 1000000 deep built, finalized and released in %.2f s\n", seconds(start));

    // Ten million files offered the walker's way.
    const char* extensions[] = {"jpg", "JPG", "txt", "h", "cpp", "o", "dylib", "plist", "json", "mp4",
                                "zip", "gz", "", "safetensors", "db", "png", "swift", "car", "nib", "strings"};
    std::vector<std::string> names;
    for (int i = 0; i < 4096; ++i) {
        const char* ext = extensions[random() % std::size(extensions)];
        names.push_back("file" + std::to_string(i) + (*ext ? "." : "") + ext);
    }
    std::vector<QString> folders;
    for (int i = 0; i < 1024; ++i) folders.push_back("/Users/someone/Projects/p" + QString::number(i) + "/src");
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    constexpr qint64 kYearMs = 365LL * 86400 * 1000;

    InsightsBuilder builder;
    start = std::chrono::steady_clock::now();
    constexpr int kFiles = 10000000;
    for (int i = 0; i < kFiles; ++i) {
        const std::string& name = names[random() % names.size()];
        const auto size = static_cast<qint64>(sizes(random));
        const qint64 modified = nowMs - static_cast<qint64>(random() % (8 * kYearMs));
        builder.consider(std::string_view(name), folders[i % folders.size()], size, modified);
    }
    const double offerTime = seconds(start);
    start = std::chrono::steady_clock::now();
    const ScanInsights insights = builder.finalize();
    std::printf("insights: %d files offered in %.2f s (%.0f ns/file incl. random input), finalize %.4f s, "
                "%lld counted, %lld largest, %lld oldest, %lld kinds, peak %ld MiB\n",
                kFiles, offerTime, offerTime * 1e9 / kFiles, seconds(start),
                static_cast<long long>(insights.fileCount), static_cast<long long>(insights.largest.size()),
                static_cast<long long>(insights.oldest.size()), static_cast<long long>(insights.types.size()),
                peakMiB());

    // The same input cost without the builder, to separate it out.
    start = std::chrono::steady_clock::now();
    qint64 sink = 0;
    for (int i = 0; i < kFiles; ++i) {
        const std::string& name = names[random() % names.size()];
        sink += static_cast<qint64>(sizes(random)) + static_cast<qint64>(random() % (8 * kYearMs)) +
                static_cast<qint64>(name.size());
    }
    std::printf("insights: input generation alone %.2f s (%lld)\n", seconds(start), static_cast<long long>(sink % 10));
    return 0;
}
