#pragma once

#include "models/NodeKind.h"
#include "services/scan/CachedScan.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

namespace tarnwick {

// The JSON form of the scan cache: one compact UTF-8 document
//   {"rootPath":…,"rootName":…,"scannedAt":<seconds since 2001>,"root":<node>,"insights":{…}}
// where a node is {"id":"<UPPER-CASE UUID>","name":…,"path":…,"kind":"dir"|"file"|…,
// "size":<integer>,"children":[<node>,…]}. Every key is required on reading and
// unknown keys are skipped.
//
// The tree is written and read without recursion and without an intermediate
// JSON object model, so very large and very deep trees stay cheap; a large
// document's tree is read on several threads. A cache is untrusted input: the
// reader is strict (syntax, UTF-8, integers, ids) and bounded (document size,
// node count, tree depth, depth of any other value), and answers nullopt for
// anything it does not accept.
//
// Texts are UTF-16 as the program holds them. A lone surrogate U+DC80…U+DCFF
// (a byte of a file name that is not UTF-8, see PathCodec) is written as its
// \udcXX escape and read back as itself; any other lone surrogate is written
// as U+FFFD, and the reader refuses other lone surrogates and invalid UTF-8.
namespace CachedScanJson {

// The deepest tree (levels below the root) that is written or read.
inline constexpr int kMaxTreeDepth = 16384;
// The largest document that is written or read.
inline constexpr qint64 kMaxDocumentBytes = qint64(1) << 30;
// The most nodes a tree read back may have: far above what a scan of this
// computer's disks leaves after pruning, far below what would exhaust memory.
// A document over it is refused before its nodes are made.
inline constexpr qint64 kMaxNodes = 5000000;

// A tree of at least twice this many bytes is read in pieces of about this
// size, each on a thread of its own (at most 8 threads in all).
inline constexpr qint64 kPieceBytes = qint64(8) << 20;

struct DecodeOptions {
    qint64 maxNodes = kMaxNodes;
    // Tests make pieces small to read small trees in many pieces; 0 reads the
    // whole tree on the caller's thread. The result never depends on it.
    qint64 pieceBytes = kPieceBytes;
};

// The document for a scan; nullopt with a reason when it cannot be written
// (no root, a tree deeper than kMaxTreeDepth, an invalid date, or a document
// over kMaxDocumentBytes). The tree is written exactly as given.
std::optional<QByteArray> encode(const CachedScan& scan, QString* error = nullptr);

// Reads a document. Nodes keep their stored ids; the node standing for
// several items is recognised and marked isAggregate: every smallGroup, a
// file node carrying its folder's own path under an "…N small files…" or
// "…N smaller…" name, and a restricted node with bytes (hidden space).
std::optional<CachedScan> decode(QByteArrayView json, const DecodeOptions& options = {});

// A kind by its case name; every text other than the five names is dir.
NodeKind kindFrom(QStringView text);
// The case name of a kind: "dir", "file", "smallGroup", "restricted", "virtual".
QString kindName(NodeKind kind);

}  // namespace CachedScanJson

}  // namespace tarnwick
