#include "services/scan/ScanCache.h"

#include "platform/Environment.h"
#include "platform/Lzfse.h"
#include "services/scan/CachedScanJson.h"
#include "support/AppIdentity.h"
#include "support/AtomicFile.h"
#include "support/JsonCoding.h"
#include "support/Saturating.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <vector>

namespace tarnwick::ScanCache {

namespace {

Q_LOGGING_CATEGORY(lcScanCache, "tarnwick.cache")

// The compressed file is read whole; no sound cache comes near this.
constexpr qint64 kMaxCompressedBytes = qint64(256) << 20;

QString inFolder(const QString& folder, const char* name) {
    return folder + QLatin1Char('/') + QLatin1String(name);
}

// The whole document as one LZFSE stream.
std::optional<QByteArray> compressDocument(const QByteArray& json) {
    const std::vector<uint8_t> bytes =
        Lzfse::compress(reinterpret_cast<const uint8_t*>(json.constData()), static_cast<size_t>(json.size()));
    if (bytes.empty()) return std::nullopt;
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

void removeOlderFiles(const QString& folder) {
    QFile::remove(inFolder(folder, kOlderFileName));
    QFile::remove(inFolder(folder, kOlderCompressedFileName));
}

// The whole save into one folder with a given save date; the only state it
// touches is the files.
void saveTo(const QString& folder, const QDateTime& scannedAt, const QString& rootPath, const QString& rootName,
            const ScanNodePtr& root, const ScanInsights& insights) {
    auto fail = [](const QString& reason) {
        qCWarning(lcScanCache).noquote() << QStringLiteral("Tarnwick cache save failed: ") + reason;
    };
    CachedScan scan;
    scan.rootPath = rootPath;
    scan.rootName = rootName;
    scan.scannedAt = scannedAt;
    scan.root = root ? prune(*root, kMinFraction, kAbsoluteFloor) : nullptr;
    scan.insights = insights;
    // A tree too large to read back is kept down to the level where it fits.
    if (scan.root) {
        fitWithin(*scan.root, CachedScanJson::kMaxNodes,
                  CachedScanJson::kMaxDocumentBytes - JsonCoding::compact(insights.toJson()).size() - 4096,
                  CachedScanJson::kMaxTreeDepth);
    }

    QString error;
    std::optional<QByteArray> json = CachedScanJson::encode(scan, &error);
    scan.root.reset();
    if (!json) return fail(error);
    std::optional<QByteArray> compressed = compressDocument(*json);
    json.reset();
    if (!compressed) return fail(QStringLiteral("The cache could not be compressed."));
    if (!AtomicFile::write(inFolder(folder, kFileName), *compressed, &error)) return fail(error);
    removeOlderFiles(folder);
}

// The compressed file read whole into one buffer; nullopt when it is
// missing, not a regular file, unreadable, over the cap or changing under us.
std::optional<ByteBuffer> readCompressed(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile()) return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const qint64 size = file.size();
    if (size < 0 || size > kMaxCompressedBytes) return std::nullopt;
    std::optional<ByteBuffer> data = ByteBuffer::allocate(static_cast<size_t>(size));
    if (!data) return std::nullopt;
    char* const bytes = reinterpret_cast<char*>(data->data());
    for (qint64 done = 0; done < size;) {
        const qint64 got = file.read(bytes + done, size - done);
        if (got <= 0) return std::nullopt;
        done += got;
    }
    char extra;
    if (file.read(&extra, 1) != 0) return std::nullopt;
    return data;
}

// Decompresses into one buffer of the size the stream declares, lets the
// compressed bytes go before the document is read, and lets the document go
// as soon as the scan is built from it.
std::optional<CachedScan> decodeCompressed(std::optional<ByteBuffer>& data) {
    std::optional<ByteBuffer> json =
        Lzfse::decompressToBuffer(data->data(), data->size(), static_cast<size_t>(CachedScanJson::kMaxDocumentBytes));
    data.reset();
    if (!json) return std::nullopt;
    return CachedScanJson::decode(
        QByteArrayView(reinterpret_cast<const char*>(json->data()), static_cast<qsizetype>(json->size())));
}

std::optional<CachedScan> readOlder(const QString& path) {
    std::optional<QByteArray> json = AtomicFile::read(path, CachedScanJson::kMaxDocumentBytes);
    if (!json) return std::nullopt;
    return CachedScanJson::decode(*json);
}

// ------------------------------------------------------------ background saves

// One thread, so queued saves run in the order they were asked for.
QThreadPool& savePool() {
    static QThreadPool* pool = [] {
        auto* made = new QThreadPool;
        made->setMaxThreadCount(1);
        return made;
    }();
    return *pool;
}

std::atomic<quint64> latestSaveTicket{0};

}  // namespace

void save(const QString& rootPath, const QString& rootName, const ScanNodePtr& root, const ScanInsights& insights) {
    saveTo(AppIdentity::supportDirectory(), Environment::current().now(), rootPath, rootName, root, insights);
}

void saveInBackground(QString rootPath, QString rootName, ScanNodePtr root, ScanInsights insights) {
    const QString folder = AppIdentity::supportDirectory();
    const QDateTime scannedAt = Environment::current().now();
    const quint64 ticket = ++latestSaveTicket;
    savePool().start([=, root = std::move(root), insights = std::move(insights)]() mutable {
        // A save asked for later replaces the file anyway; skip this one.
        if (latestSaveTicket.load() == ticket) saveTo(folder, scannedAt, rootPath, rootName, root, insights);
        root.reset();
    });
}

void waitForBackgroundSaves() {
    savePool().waitForDone();
}

std::optional<CachedScan> load() {
    const QString folder = AppIdentity::supportDirectory();
    const QString legacy = AppIdentity::legacySupportDirectory();

    // The compressed cache, or the earlier folder's copy when ours cannot be read.
    std::optional<ByteBuffer> data = readCompressed(inFolder(folder, kFileName));
    if (!data) data = readCompressed(inFolder(legacy, kFileName));
    if (data) {
        std::optional<CachedScan> scan = decodeCompressed(data);
        if (scan) return scan;
    }

    // An older plain-JSON cache, read once and converted.
    for (const QString& older : {inFolder(folder, kOlderFileName), inFolder(legacy, kOlderFileName)}) {
        std::optional<CachedScan> scan = readOlder(older);
        if (!scan) continue;
        save(scan->rootPath, scan->rootName, scan->root, scan->insights);
        return scan;
    }
    removeOlderFiles(folder);
    return std::nullopt;
}

ScanNodePtr prune(const ScanNode& root, double minFraction, qint64 absoluteFloor) {
    auto opens = [](const ScanNode& node) {
        return node.kind == NodeKind::dir || node.kind == NodeKind::smallGroup;
    };
    auto copyOf = [](const ScanNode& node, const QString& path, std::vector<ScanNodePtr> children) {
        ScanNodePtr copy = ScanNode::create(node.id, node.name, path, node.kind, node.size, std::move(children));
        copy->isAggregate = node.isAggregate;
        return copy;
    };
    auto largerFirst = [](const auto& a, const auto& b) { return a->size > b->size; };
    const QString rootPath = root.path();
    if (!opens(root)) return copyOf(root, rootPath, {});

    struct Fold {
        qint64 total = 0;
        qint64 count = 0;
    };
    struct Frame {
        const ScanNode* source;
        QString path;
        std::vector<const ScanNode*> order;  // children, largest first
        size_t next = 0;
        qint64 threshold = 0;
        std::vector<ScanNodePtr> copies;
        Fold smaller;  // later small children
        Fold deeper;   // children whose paths are too long to keep
    };
    auto frameFor = [&](const ScanNode& node, QString path) {
        Frame frame;
        frame.source = &node;
        frame.path = std::move(path);
        frame.order.reserve(node.children.size());
        for (const ScanNodePtr& child : node.children) {
            if (child) frame.order.push_back(child.get());
        }
        std::stable_sort(frame.order.begin(), frame.order.end(), largerFirst);
        const double scaled = std::trunc(static_cast<double>(std::max<qint64>(node.size, 1)) * minFraction);
        const qint64 byFraction = !(scaled >= 0) ? 0
                                  : scaled >= 9223372036854775807.0 ? std::numeric_limits<qint64>::max()
                                                                     : static_cast<qint64>(scaled);
        frame.threshold = std::max(absoluteFloor, byFraction);
        frame.copies.reserve(std::min<size_t>(frame.order.size(), kKeptChildren + 8));
        return frame;
    };
    auto foldNode = [](const Frame& frame, const Fold& fold, const char* words) -> ScanNodePtr {
        if (fold.count == 0 || fold.total == 0) return nullptr;
        const QString name = QChar(0x2026) + QString::number(fold.count) + QLatin1String(words) + QChar(0x2026);
        ScanNodePtr node = ScanNode::create(QUuid::createUuid(), name, frame.path, NodeKind::file, fold.total);
        node->isAggregate = true;
        return node;
    };

    std::vector<Frame> stack;
    stack.push_back(frameFor(root, rootPath));
    ScanNodePtr result;
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next < top.order.size()) {
            const size_t position = top.next++;
            const ScanNode& child = *top.order[position];
            const bool foldable = child.kind == NodeKind::file || child.kind == NodeKind::smallGroup;
            if (position >= static_cast<size_t>(kKeptChildren) && foldable && child.size < top.threshold) {
                top.smaller.total = Saturating::add(top.smaller.total, child.size);
                ++top.smaller.count;
                continue;
            }
            QString path = child.pathBelow(top.path);
            if (path.size() > kLongestPath) {
                top.deeper.total = Saturating::add(top.deeper.total, child.size);
                ++top.deeper.count;
            } else if (opens(child) && (child.kind == NodeKind::dir || !child.children.empty())) {
                stack.push_back(frameFor(child, std::move(path)));
            } else {
                top.copies.push_back(copyOf(child, path, {}));
            }
            continue;
        }
        if (ScanNodePtr fold = foldNode(top, top.smaller, " smaller")) top.copies.push_back(std::move(fold));
        if (ScanNodePtr fold = foldNode(top, top.deeper, " nested too deep")) top.copies.push_back(std::move(fold));
        std::stable_sort(top.copies.begin(), top.copies.end(), largerFirst);
        ScanNodePtr copy = copyOf(*top.source, top.path, std::move(top.copies));
        stack.pop_back();
        if (stack.empty()) {
            result = std::move(copy);
        } else {
            stack.back().copies.push_back(std::move(copy));
        }
    }
    return result;
}

void fitWithin(ScanNode& root, qint64 mostNodes, qint64 mostBytes, int mostDepth) {
    // The nodes and the bytes they take in the document, level by level.
    struct Level {
        qint64 nodes = 0;
        qint64 bytes = 0;
    };
    std::vector<Level> levels;
    struct Visit {
        const ScanNode* node;
        qint64 pathLength;  // at most: the holder's path, a separator and the name
        size_t depth;
    };
    std::vector<Visit> pending{{&root, root.path().size(), 0}};
    while (!pending.empty()) {
        const Visit visit = pending.back();
        pending.pop_back();
        if (levels.size() <= visit.depth) levels.resize(visit.depth + 1);
        Level& level = levels[visit.depth];
        ++level.nodes;
        // Each of a node's texts takes up to three bytes a character, with about a hundred more around them.
        level.bytes = Saturating::add(level.bytes, 120 + 3 * (visit.node->name.size() + visit.pathLength));
        for (const ScanNodePtr& child : visit.node->children) {
            if (child) pending.push_back({child.get(), visit.pathLength + 1 + child->name.size(), visit.depth + 1});
        }
    }
    // The levels that fit whole...
    qint64 nodes = 0, bytes = 0;
    size_t fitting = 0;
    for (; fitting < levels.size() && fitting <= static_cast<size_t>(mostDepth); ++fitting) {
        if (nodes + levels[fitting].nodes > mostNodes ||
            Saturating::add(bytes, levels[fitting].bytes) > mostBytes) {
            break;
        }
        nodes += levels[fitting].nodes;
        bytes = Saturating::add(bytes, levels[fitting].bytes);
    }
    if (fitting >= levels.size()) return;
    // ...and the fold nodes of the last of them: at most one for each of its
    // nodes, each as long as its folder's node and a name.
    int depth = std::max(0, static_cast<int>(fitting) - 1);
    const Level& last = levels[size_t(depth)];
    if (fitting >= 2 && (nodes + last.nodes > mostNodes ||
                         Saturating::add(bytes, Saturating::add(last.bytes, 100 * last.nodes)) > mostBytes ||
                         depth + 1 > mostDepth)) {
        --depth;
    }

    struct Frame {
        ScanNode* node;
        int depth;
    };
    std::vector<Frame> frames{{&root, 0}};
    while (!frames.empty()) {
        const Frame frame = frames.back();
        frames.pop_back();
        ScanNode& node = *frame.node;
        if (frame.depth < depth) {
            for (const ScanNodePtr& child : node.children) frames.push_back({child.get(), frame.depth + 1});
            continue;
        }
        if (node.children.empty()) continue;
        Saturating::Total total;
        for (const ScanNodePtr& child : node.children) total.add(child->size);
        const qsizetype count = static_cast<qsizetype>(node.children.size());
        node.children.clear();
        if (total.value() == 0) continue;
        ScanNodePtr fold = ScanNode::createInHolder(
            QUuid::createUuid(), QChar(0x2026) + QString::number(count) + QStringLiteral(" nested too deep") + QChar(0x2026),
            NodeKind::file, total.value());
        fold->isAggregate = true;
        const qint64 size = node.size;  // kept as scanned
        node.appendChild(std::move(fold));
        node.size = size;
    }
}

}  // namespace tarnwick::ScanCache
