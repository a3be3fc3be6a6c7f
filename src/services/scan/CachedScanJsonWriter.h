#pragma once

#include "models/NodeKind.h"
#include "services/scan/CachedScan.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <string_view>

namespace tarnwick {

// The writing half of CachedScanJson: the cache document of a scan, written
// into one growing buffer without recursion and without a JSON object model.
// Callers go through CachedScanJson::encode, which states the document's form
// and the limits (tree depth, document size) this half enforces.
namespace CachedScanJsonWriter {

// The document for a scan; nullopt with a reason when it cannot be written.
std::optional<QByteArray> encode(const CachedScan& scan, QString* error);

// The case name the document gives a kind: "dir", "file", "smallGroup",
// "restricted", "virtual".
std::string_view kindText(NodeKind kind);

}  // namespace CachedScanJsonWriter

}  // namespace tarnwick
