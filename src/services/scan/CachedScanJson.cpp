#include "services/scan/CachedScanJson.h"

#include "services/scan/CachedScanJsonReader.h"
#include "services/scan/CachedScanJsonWriter.h"

#include <QByteArray>

#include <string_view>

namespace tarnwick::CachedScanJson {

std::optional<QByteArray> encode(const CachedScan& scan, QString* error) {
    return CachedScanJsonWriter::encode(scan, error);
}

std::optional<CachedScan> decode(QByteArrayView json, const DecodeOptions& options) {
    return CachedScanJsonReader::decode(json, options);
}

NodeKind kindFrom(QStringView text) {
    const QByteArray utf8 = text.toUtf8();
    return CachedScanJsonReader::kindFromUtf8(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

QString kindName(NodeKind kind) {
    const std::string_view text = CachedScanJsonWriter::kindText(kind);
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace tarnwick::CachedScanJson
