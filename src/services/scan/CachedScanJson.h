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
// JSON object model, so very large and very deep trees stay cheap. A cache is
// untrusted input: the reader is strict (syntax, UTF-8, integers, ids) and
// bounded (document size, tree depth, depth of any other value), and answers
// nullopt for anything it does not accept.
namespace CachedScanJson {

// The deepest tree (levels below the root) that is written or read.
inline constexpr int kMaxTreeDepth = 16384;
// The largest document that is written or read.
inline constexpr qint64 kMaxDocumentBytes = qint64(1) << 30;

// The document for a scan; nullopt with a reason when it cannot be written
// (no root, a tree deeper than kMaxTreeDepth, an invalid date, or a document
// over kMaxDocumentBytes). The tree is written exactly as given.
std::optional<QByteArray> encode(const CachedScan& scan, QString* error = nullptr);

// Reads a document. Nodes keep their stored ids; the node standing for
// several items is recognised and marked isAggregate: every smallGroup, a
// file node carrying its folder's own path under an "…N small files…" or
// "…N smaller…" name, and a restricted node with bytes (hidden space).
std::optional<CachedScan> decode(QByteArrayView json);

// A kind by its case name; every text other than the five names is dir.
NodeKind kindFrom(QStringView text);
// The case name of a kind: "dir", "file", "smallGroup", "restricted", "virtual".
QString kindName(NodeKind kind);

}  // namespace CachedScanJson

}  // namespace tarnwick
