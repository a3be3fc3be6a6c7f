#pragma once

#include "models/ScanInsights.h"
#include "models/ScanNode.h"
#include "services/scan/CachedScan.h"

#include <QString>

#include <optional>

namespace tarnwick {

// Keeps the last map scan across launches in "last-scan.taldo" in the
// support folder: the LZFSE-compressed JSON of the root path and name, the
// save time, the pruned tree and the insights. The folder of the earlier
// product name is read as a fallback and never written. Older plain-JSON
// caches ("last-scan.json") are read once and converted; "last-scan.json.gz"
// is only ever removed.
//
// Before saving, every folder keeps its 20 largest children; later files and
// merged groups below the larger of 0.15 % of the folder and 750,000 bytes
// are folded into one "…N smaller…" node (never collectable). Folders,
// restricted and virtual nodes are not folded that way, and sizes are kept as
// they are (a fold node's size, the sum of what it stands for, is held at the
// 64-bit maximum rather than wrapping).
//
// What the cache could not hold is collapsed rather than the save failing:
// items whose paths are longer than kLongestPath characters are folded into
// one "…N nested too deep…" node of the folder holding them (a chain of long
// names thousands of folders deep would otherwise write each of its long
// paths once per level), and a tree that would still be deeper or hold more
// nodes or bytes than the reader takes is kept down to the deepest level at
// which it fits, each folder there holding one such node for all it held.
//
// The cache is untrusted: a file that is not LZFSE, decompresses to more than
// 1 GiB, is not strict JSON of the expected shape, lacks a key, nests deeper
// or holds more nodes than the reader allows (CachedScanJson) loads as no cache.
namespace ScanCache {

inline constexpr double kMinFraction = 0.0015;
inline constexpr qint64 kAbsoluteFloor = 750000;
inline constexpr int kKeptChildren = 20;
// The longest path of an item kept as itself.
inline constexpr qsizetype kLongestPath = 8192;

inline constexpr char kFileName[] = "last-scan.taldo";
inline constexpr char kOlderFileName[] = "last-scan.json";
inline constexpr char kOlderCompressedFileName[] = "last-scan.json.gz";

// Prunes, encodes, compresses and atomically replaces the cache file with the
// current time as the save date, then removes the older cache files beside
// it. Never fails towards the caller: a failure leaves the previous file as it
// was and writes one line to the log ("tarnwick.cache"). The tree is only
// read. Safe to call from any thread as long as nothing changes the tree
// meanwhile: it keeps no state of its own, and concurrent saves each replace
// the file whole.
void save(const QString& rootPath, const QString& rootName, const ScanNodePtr& root,
          const ScanInsights& insights);

// The same save on a background thread, for callers on the UI thread. The
// support folder and the save time are taken now; the saves run one after
// another in the order asked, and one that a later request supersedes before
// it starts is skipped. The tree is kept alive until the save is done and
// must not be changed meanwhile.
void saveInBackground(QString rootPath, QString rootName, ScanNodePtr root, ScanInsights insights);
// Blocks until every background save asked for so far has finished (call it
// before the program quits).
void waitForBackgroundSaves();

// The cached scan: "last-scan.taldo" from the support folder, else from the
// folder of the earlier product name; failing that, the first older
// "last-scan.json" (support folder, then earlier folder) that decodes, which
// is then saved in the compressed form and returned with its own save date.
// When nothing serves, the support folder's older files are removed and
// nullopt is returned. Nodes keep their stored ids.
std::optional<CachedScan> load();

// A pruned copy of a tree (the tree given is not changed), items whose paths
// are too long folded; see above.
ScanNodePtr prune(const ScanNode& root, double minFraction, qint64 absoluteFloor);

// Collapses the tree below the deepest level down to which it holds at most
// mostNodes nodes and about mostBytes bytes of document (its fold nodes
// included) and is at most mostDepth levels deep: each node at that level
// keeps its size and holds one "…N nested too deep…" node for all its
// children. Nothing changes when the whole tree fits.
void fitWithin(ScanNode& root, qint64 mostNodes, qint64 mostBytes, int mostDepth);

}  // namespace ScanCache

}  // namespace tarnwick
