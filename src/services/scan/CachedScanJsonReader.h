#pragma once

#include "models/NodeKind.h"
#include "services/scan/CachedScan.h"
#include "services/scan/CachedScanJson.h"

#include <QByteArrayView>

#include <optional>
#include <string_view>

namespace tarnwick {

// The reading half of CachedScanJson: a strict, bounded reader of the cache
// document that builds the tree without recursion and without a JSON object
// model, a large document's tree in pieces on several threads, the result the
// same as on one. Callers go through CachedScanJson::decode, which states what
// is accepted; anything else is refused as nullopt.
namespace CachedScanJsonReader {

std::optional<CachedScan> decode(QByteArrayView json, const CachedScanJson::DecodeOptions& options);

// A kind by its case name in UTF-8; every text other than the five names is dir.
NodeKind kindFromUtf8(std::string_view text);

}  // namespace CachedScanJsonReader

}  // namespace tarnwick
