#include "services/shared/CappedText.h"

#include "platform/FileReader.h"

#include <QStringDecoder>

namespace tarnwick::CappedText {

std::optional<QString> read(const QString& path, qint64 limit) {
    std::optional<FileReader> reader = FileReader::open(path);
    if (!reader || limit < 0) return std::nullopt;
    QByteArray data = reader->read(limit + 1);
    const bool cut = data.size() > limit;
    if (cut) data.truncate(qsizetype(limit));
    // Stateless decoding reports a character left incomplete at the end; a
    // stateful decoder keeps it back instead, which is right only at the cut.
    QStringDecoder decoder(QStringDecoder::Utf8, cut ? QStringDecoder::Flag::Default : QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(data);
    if (decoder.hasError()) return std::nullopt;
    return text;
}

}  // namespace tarnwick::CappedText
