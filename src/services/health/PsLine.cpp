#include "services/health/PsLine.h"

#include "platform/PathCodec.h"

namespace tarnwick {

QString PsLine::name() const {
    return command.mid(command.lastIndexOf(QLatin1Char('/')) + 1);
}

std::optional<PsLine> PsLine::parse(const QByteArray& line, int figureCount) {
    // Names are bytes: the line is split at white space as bytes and the name
    // decoded losslessly, so one odd name neither hides the others nor stops
    // matching its own stat file.
    const QByteArrayList fields = line.simplified().split(' ');
    if (fields.size() < figureCount + 2 || fields.back().isEmpty()) return std::nullopt;
    bool ok = false;
    PsLine parsed;
    parsed.pid = fields[0].toInt(&ok);
    if (!ok || parsed.pid <= 0) return std::nullopt;
    parsed.figures = fields.mid(1, figureCount);
    parsed.command = PathCodec::decode(QByteArrayList(fields.mid(figureCount + 1)).join(' '));
    return parsed;
}

}  // namespace tarnwick
